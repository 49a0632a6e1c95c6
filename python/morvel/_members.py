# The classes of the control with every member under its own name,
# generated from the automation table by morvel_bindings_gen; a test
# fails when this file and the table differ.
from __future__ import annotations

from typing import Sequence

from ._core import Object, Picture, Ref

__all__ = ["PrintBarCode", "PrintInfo", "clsBase64"]


class PrintBarCode(Object):
    """The label control: choose a printer, compose labels in screen pixels, points and mm, print them."""

    _class_name = "PrintBarCode"

    def GetVer(self) -> str:
        """GetVer() As String

        The control's version, as major.minor.patch."""
        return self._call(0x60030002, ())

    def GetDot(self, pixels: float | Ref) -> int:
        """GetDot(ByRef pixels As Single) As Integer

        Screen pixels in dots of the printer chosen by SetPrint (0 before)."""
        return self._call(0x60030003, (pixels,))

    def textHeight(self, strbuf: str | float | Ref, fontName: str | float | Ref, FontSize: float | Ref, FontBold: bool | Ref) -> float:
        """textHeight(ByRef strbuf As String, ByRef fontName As String, ByRef FontSize As Single, ByRef FontBold As Boolean) As Single

        Height of the text in screen pixels in a font of FontSize points."""
        return self._call(0x60030004, (strbuf, fontName, FontSize, FontBold))

    def TextWidth(self, strbuf: str | float | Ref, fontName: str | float | Ref, FontSize: float | Ref, FontBold: bool | Ref) -> float:
        """TextWidth(ByRef strbuf As String, ByRef fontName As String, ByRef FontSize As Single, ByRef FontBold As Boolean) As Single

        Width of the text's widest line in screen pixels in a font of FontSize points."""
        return self._call(0x60030005, (strbuf, fontName, FontSize, FontBold))

    def GetPrintList(self) -> str:
        """GetPrintList() As String

        The installed printers a brand keyword recognises, joined by \"|\"."""
        return self._call(0x60030006, ())

    def SetPrint(self, printerName: str | float | Ref) -> int:
        """SetPrint(ByRef printerName As String) As Integer

        Chooses the printer and its brand's driver: 0 when chosen, 1 when no brand matches the name."""
        return self._call(0x60030007, (printerName,))

    def OpenPort(self, printerName: str | float | Ref) -> None:
        """OpenPort(ByRef printerName As String)

        Opens the printer for this job (the spooler brands start a document)."""
        return self._call(0x60030008, (printerName,))

    def ClosePort(self) -> None:
        """ClosePort()

        Ends the document and closes the printer."""
        return self._call(0x60030009, ())

    def PrintLabel(self, copies: str | float | Ref) -> None:
        """PrintLabel(ByRef copies As String)

        Prints the label composed since InitPrint copies times and starts a new one."""
        return self._call(0x6003000A, (copies,))

    def SendCmd(self, cmd: str | float | Ref) -> None:
        """SendCmd(ByRef cmd As String)

        Raw printer language: Zebra and SATO add it to the label, Orx sends it at once, Dothan ignores it."""
        return self._call(0x6003000B, (cmd,))

    def InitPrint(self, wide: str | float | Ref, height: str | float | Ref, speed: str | float | Ref, nd: str | float | Ref, cz: str | float | Ref, sp: str | float | Ref, direction: str | float | Ref) -> None:
        """InitPrint(ByRef wide As String, ByRef height As String, ByRef speed As String, ByRef nd As String, ByRef cz As String, ByRef sp As String, ByRef direction As String)

        Starts a label: width and height in mm, speed, darkness, home offsets down and across in mm, orientation (0 normal)."""
        return self._call(0x6003000C, (wide, height, speed, nd, cz, sp, direction))

    def PrintFont(self, x: float | Ref, y: float | Ref, txt: str | float | Ref, height: float | Ref, fontName: str | float | Ref) -> None:
        """PrintFont(ByRef x As Single, ByRef y As Single, ByRef txt As String, ByRef height As Single, ByRef fontName As String)

        Text at x, y (screen pixels), height in points; fontName is a printer font (FontType 1) or a system font (0)."""
        return self._call(0x6003000D, (x, y, txt, height, fontName))

    def PrintBar(self, x: float | Ref, y: float | Ref, width: float | Ref, height: float | Ref) -> None:
        """PrintBar(ByRef x As Single, ByRef y As Single, ByRef width As Single, ByRef height As Single)

        A box (Zebra), line (SATO), bar (Orx) or line to x+width, y+height (Dothan); screen pixels."""
        return self._call(0x6003000E, (x, y, width, height))

    def PrintCode(self, x: float | Ref, y: float | Ref, code: str | float | Ref, codeType: str | float | Ref, Readable: str | float | Ref, height: float | Ref, zBar: str | float | Ref, kBar: str | float | Ref) -> None:
        """PrintCode(ByRef x As Single, ByRef y As Single, ByRef code As String, ByRef codeType As String, ByRef Readable As String, ByRef height As Single, ByRef zBar As String, ByRef kBar As String)

        Barcode at x, y: codeType \"128\" (Code 128) or \"QRCODE\"; Readable \"1\" adds the text line; zBar, kBar narrow and wide bar."""
        return self._call(0x6003000F, (x, y, code, codeType, Readable, height, zBar, kBar))

    def _get_CommandPrint(self) -> str:
        return self._call(0x68030001, ())

    CommandPrint = property(_get_CommandPrint, None, doc="The printer language collected so far (Zebra: this label; SATO: everything; others empty).")

    def _get_FontType(self) -> int:
        return self._call(0x68030000, ())

    FontType = property(_get_FontType, None, doc="1 when fontName names a printer font (Zebra, SATO), 0 for a system font (Orx, Dothan).")

    def _get_RFIDType(self) -> int:
        return self._call(0x68030010, ())

    RFIDType = property(_get_RFIDType, None, doc="1 on an RFID model, 0 otherwise, -1 before SetPrint.")

    def InitRFID(self, labelType: str | float | Ref, backfeed: str | float | Ref, readPower: str | float | Ref, writePower: str | float | Ref, wire: str | float | Ref, tryNum: str | float | Ref) -> None:
        """InitRFID(ByRef labelType As String, ByRef backfeed As String, ByRef readPower As String, ByRef writePower As String, ByRef wire As String, ByRef tryNum As String)

        Sets up RFID encoding for the next labels (Zebra only; others accept and ignore it)."""
        return self._call(0x60030011, (labelType, backfeed, readPower, writePower, wire, tryNum))

    def OpRFID(self, operate: str | float | Ref, data: str | float | Ref, dataType: str | float | Ref, dataLen: str | float | Ref, startAddress: str | float | Ref, section: str | float | Ref) -> None:
        """OpRFID(ByRef operate As String, ByRef data As String, ByRef dataType As String, ByRef dataLen As String, ByRef startAddress As String, ByRef section As String)

        Reads or writes tag memory as part of the label (Zebra, SATO)."""
        return self._call(0x60030012, (operate, data, dataType, dataLen, startAddress, section))

    def PrintList(self, vNewValue: str | float | Ref) -> None:
        """PrintList(ByRef vNewValue As String)

        Adds brands to the catalogue: \"key:keyword,keyword|...\", as \"zdesigner:zdesigner \"."""
        return self._call(0x60030014, (vNewValue,))

    def DrawImageFromFile(self, imageFile: str | float, x: float, y: float, width: float, height: float) -> None:
        """DrawImageFromFile(ByVal imageFile As String, ByVal x As Single, ByVal y As Single, ByVal width As Single, ByVal height As Single)

        Image file (BMP, PNG, JPEG, GIF) at x, y; SATO, Orx, Dothan (Zebra places nothing)."""
        return self._call(0x60030016, (imageFile, x, y, width, height))

    def DrawImageFromBase64(self, imageBase64: str | float, x: float, y: float, width: float, height: float) -> None:
        """DrawImageFromBase64(ByVal imageBase64 As String, ByVal x As Single, ByVal y As Single, ByVal width As Single, ByVal height As Single)

        As DrawImageFromFile, the file's bytes given as Base64 text."""
        return self._call(0x60030017, (imageBase64, x, y, width, height))

    def DrawImageFromPicture(self, pic: Picture | None, x: float, y: float, width: float, height: float) -> None:
        """DrawImageFromPicture(ByVal pic As Picture, ByVal x As Single, ByVal y As Single, ByVal width As Single, ByVal height As Single)

        As DrawImageFromFile, the image given as a picture (@PATH in a script)."""
        return self._call(0x60030018, (pic, x, y, width, height))

    def TagResults(self) -> str:
        """TagResults() As String

        The printer's word on the RFID tag of each label printed since the last call, a line each joined by CR LF: \"label N written EPC\", or void or unknown, a tab and why."""
        return self._call(0x60040000, ())

    def EpcEncode(self, Input: str | float, Scheme: str | float, Filter: int, PrefixLength: int) -> str:
        """EpcEncode(ByVal Input As String, ByVal Scheme As String, ByVal Filter As Integer, ByVal PrefixLength As Integer) As String

        An RFID tag's EPC in hexadecimal: Input a tag URI when Scheme is empty, else an element string or pure-identity URI in Scheme (SGTIN-96...) with Filter and company PrefixLength."""
        return self._call(0x60040001, (Input, Scheme, Filter, PrefixLength))

    def EpcDecode(self, Hex: str | float) -> str:
        """EpcDecode(ByVal Hex As String) As String

        The tag URI, pure-identity URI and GS1 element string of a hexadecimal EPC, joined by CR LF."""
        return self._call(0x60040002, (Hex,))


class PrintInfo(Object):
    """A brand of the printer catalogue (made by the control; PrintList adds brands)."""

    _class_name = "PrintInfo"

    def _get_PrintPP(self) -> str:
        return self._call(0x40030000, ())

    def _set_PrintPP(self, value: str | float) -> None:
        self._call(0x40030000, (value,))

    PrintPP = property(_get_PrintPP, _set_PrintPP, doc="The brand key (orx, zdesigner, dothan, sato). (read and write)")

    def _get_PrintXH(self) -> list[str]:
        return self._call(0x40030001, ())

    def _set_PrintXH(self, value: Sequence[str]) -> None:
        self._call(0x40030001, (value,))

    PrintXH = property(_get_PrintXH, _set_PrintXH, doc="The printer-name keywords of the brand, each ending in a blank. (read and write)")


class clsBase64(Object):
    """Base64 text and whole-file load and save (C++ hosts; used by the drivers)."""

    _class_name = "clsBase64"
    _events = ("EncodeJD", )

    def LoadFile(self, strPathName: str | float, pbArrayOutput: bytes | None | Ref) -> None:
        """LoadFile(ByVal strPathName As String, ByRef pbArrayOutput As Byte())

        Reads the whole file into the byte array."""
        return self._call(0x60030000, (strPathName, pbArrayOutput))

    def SaveFile(self, strPathName: str | float, pbArrayInput: bytes | None | Ref) -> None:
        """SaveFile(ByVal strPathName As String, ByRef pbArrayInput As Byte())

        Writes the byte array as the whole file."""
        return self._call(0x60030001, (strPathName, pbArrayInput))

    def SaveFile2(self, strPathName: str | float, pbArrayInput: str | float | Ref) -> None:
        """SaveFile2(ByVal strPathName As String, ByRef pbArrayInput As String)

        Writes the text's bytes as the file."""
        return self._call(0x60030002, (strPathName, pbArrayInput))

    def Base64Encode(self, StrArr: bytes | None | Ref) -> str:
        """Base64Encode(ByRef StrArr As Byte()) As String

        Base64 text of the bytes; raises EncodeJD with the progress."""
        return self._call(0x60030003, (StrArr,))

    def Base64Decode(self, B64: str | float) -> bytes:
        """Base64Decode(ByVal B64 As String) As Byte()

        The bytes of Base64 text."""
        return self._call(0x60030004, (B64,))

    EncodeJD = Object._event("EncodeJD", "Event EncodeJD(ByRef Percentage As Currency): Progress of Base64Encode in percent. Assign a callable; it gets each argument as a Ref.")
