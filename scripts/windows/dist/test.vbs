' Shows that the control is registered: its version and the label printers
' it recognises among the installed ones.
'   cscript //nologo test.vbs
Set pb = CreateObject("Morvel.PrintBarCode")
WScript.Echo "Morvel " & pb.GetVer()
list = pb.GetPrintList()
If list = "" Then list = "(none: name a Zebra, SATO, Orx or Dothan printer as its driver does)"
WScript.Echo "Label printers: " & list
