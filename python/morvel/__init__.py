"""Morvel for Python: label printing on Zebra, SATO, Orx and Dothan label
printers through the control's own classes and members.

    import morvel
    pb = morvel.PrintBarCode()
    pb.SetPrint("ZDesigner GK420t")
    pb.OpenPort("ZDesigner GK420t")
    pb.InitPrint(60, 40, 4, 10, 2, 1, 0)
    pb.PrintFont(10, 20, "ABC", 12, "F1.TTF")
    pb.PrintLabel(1)
    pb.ClosePort()

Members raise morvel.AutomationError; by-reference arguments are passed as
morvel.Ref(value) to see what the member left in them. Documents (a
carrier's PDF or picture, another brand's job) print with
morvel.print_document(path_or_bytes, printer, **options); RFID tags' EPC
numbers go to and from hexadecimal with morvel.epc_encode and
morvel.epc_decode; each RFID label's tag result, read back from the
printer, with morvel.tag_results(pb) after PrintLabel."""
from ._core import (AutomationError, Epc, Object, Picture, Printer, Ref, TagResult, epc_decode, epc_encode,
                    print_document, printers, set_message_handler, tag_results, version)
from ._members import PrintBarCode, PrintInfo, clsBase64

__version__ = version()
__all__ = ["AutomationError", "Epc", "Object", "Picture", "Printer", "Ref", "TagResult", "epc_decode", "epc_encode",
           "print_document", "printers", "set_message_handler", "tag_results", "version",
           "PrintBarCode", "PrintInfo", "clsBase64"]
