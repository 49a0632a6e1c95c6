' The control from VBScript, as a page or a desktop script drives it:
' creation by ProgID, the version, by-reference write-back into the
' script's variables, and Err.Number / Err.Description of the errors
' scripts meet. Prints one line a check and "N passed, M failed" (cscript
' shows nothing of an uncaught error, so every step is checked here).
'   cscript //nologo suite.vbs "ZDesigner <two characters Windows-1252 lacks>" VERSION
' (the name comes as an argument: Wine's ChrW stops at 255; VERSION is the
' build's, as `morvel version` prints it).
Option Explicit
Dim passed, failed
passed = 0
failed = 0

Sub Check(ok, name, detail)
  If ok Then
    passed = passed + 1
    WScript.Echo "ok - VBScript: " & name
  Else
    failed = failed + 1
    WScript.Echo "not ok - VBScript: " & name & ": " & detail
  End If
End Sub

' The error a statement raised, as "number description"; "0 " when none.
Function Outcome()
  Outcome = Err.Number & " " & Err.Description
  Err.Clear
End Function

Dim pb, result, name, size, x, version
On Error Resume Next
version = WScript.Arguments(1)
Set pb = CreateObject("Morvel.PrintBarCode")
Check Err.Number = 0 And IsObject(pb), "CreateObject(""Morvel.PrintBarCode"")", Outcome()
If Not IsObject(pb) Then
  WScript.Echo passed & " passed, " & failed & " failed"
  WScript.Quit 1
End If

result = pb.GetVer()
Check Err.Number = 0 And result = version, "GetVer is " & version, result & " " & Outcome()
result = pb.RFIDType
Check Err.Number = 0 And result = -1 And VarType(result) = vbInteger, "RFIDType of a fresh control is the Integer -1", _
  result & " " & Outcome()

' Each error with its number and standard description.
pb.PrintLabel "1"
result = Outcome()
Check result = "91 Object variable or With block variable not set", "PrintLabel before SetPrint: error 91", result
result = pb.GetDot("twelve")
result = Outcome()
Check result = "13 Type mismatch", "GetDot of a text that is no number: error 13", result
pb.SetPrint
result = Outcome()
Check result = "450 Wrong number of arguments or invalid property assignment", "SetPrint without its argument: error 450", result
pb.PrintBox 1, 2, 3, 4
result = Outcome()
Check result = "438 Object doesn't support this property or method", "an unknown member: error 438", result
Check Err.Number = 0, "Err is clear after the errors", Outcome()

' By reference: the Zebra driver hands OpenPort's name to the ANSI system
' and the script's variable comes back through the code page.
name = "ZDesigner GK420t"
result = pb.SetPrint(name)
Check result = 0, "SetPrint of a Zebra name is 0", result & " " & Outcome()
name = WScript.Arguments(0)
pb.OpenPort name
Check Err.Number = 0 And name = "ZDesigner ??", "OpenPort writes the name back through the code page", name & " " & Outcome()
pb.ClosePort
' A variable of another type is converted for the call and keeps its value.
size = 12
x = pb.TextWidth("Morvel", "Arial", size, False)
Check Err.Number = 0 And x > 0 And size = 12 And VarType(size) = vbInteger, _
  "TextWidth takes an Integer variable for a Single and leaves it as it was", x & " " & Outcome()

' The members of the second interface, late-bound like every other. (A
' statement that raises leaves its variable as it was: each starts with a
' value its check refuses.)
result = ""
result = pb.EpcEncode("urn:epc:tag:sgtin-96:3.0614141.812345.6789", "", 0, 0)
Check Err.Number = 0 And result = "3074257BF7194E4000001A85", "EpcEncode of a tag URI", result & " " & Outcome()
result = ""
result = pb.EpcDecode("3074257BF7194E4000001A85")
Check Err.Number = 0 And result = "urn:epc:tag:sgtin-96:3.0614141.812345.6789" & vbCrLf & _
  "urn:epc:id:sgtin:0614141.812345.6789" & vbCrLf & "(01)80614141123458(21)6789", _
  "EpcDecode gives three lines joined by CR LF", result & " " & Outcome()
result = pb.EpcEncode("(01)80614141123457(21)6789", "SGTIN-96", 3, 7)
result = Outcome()
Check InStr(result, "5 ") = 1 And InStr(result, "check digit 7 does not match") > 0, _
  "a refused EPC: error 5 naming the rule", result
result = "-"
result = pb.TagResults()
Check Err.Number = 0 And result = "", "TagResults of a control that printed nothing is empty", result & " " & Outcome()

WScript.Echo passed & " passed, " & failed & " failed"
If failed > 0 Then WScript.Quit 1
