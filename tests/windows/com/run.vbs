' Runs a call script (the statements `morvel run` takes) through the
' control from VBScript: each statement calls its member with the
' arguments in the script's own variables, and a result or an error prints
' as `morvel run` prints it, so the two can be compared line by line.
' Pictures (@PATH) have no VBScript form: the scripts given here use
' DrawImageFromFile instead.
'   cscript //nologo run.vbs SCRIPT.mvs
Option Explicit
Dim fso, source, pb, line, count, i, r, errorsSeen, tags
' The words of a statement, and the arguments of its call. Fixed arrays:
' Wine's VBScript fails on ReDim of a function's local array.
Dim w(63), v(63)

' Splits a statement into w(0..N-1) and returns N: quoted text with the
' escapes \\ \" \n \r \t \xHH \u{HEX}, or a bare word.
Function Words(text)
  Dim count, pos, c, word, hexDigits
  count = 0
  pos = 1
  Do While pos <= Len(text)
    c = Mid(text, pos, 1)
    If c = " " Or c = vbTab Then
      pos = pos + 1
    Else
      word = ""
      If c = """" Then
        pos = pos + 1
        Do While pos <= Len(text)
          c = Mid(text, pos, 1)
          If c = """" Then Exit Do
          If c = "\" Then
            pos = pos + 1
            c = Mid(text, pos, 1)
            Select Case c
              Case "n": word = word & vbLf
              Case "r": word = word & vbCr
              Case "t": word = word & vbTab
              Case "x"
                word = word & ChrW(CLng("&H" & Mid(text, pos + 1, 2)))
                pos = pos + 2
              Case "u"
                hexDigits = Mid(text, pos + 2, InStr(pos, text, "}") - pos - 2)
                word = word & ChrW(CLng("&H" & hexDigits))
                pos = InStr(pos, text, "}")
              Case Else: word = word & c
            End Select
          Else
            word = word & c
          End If
          pos = pos + 1
        Loop
        pos = pos + 1
      Else
        Do While pos <= Len(text)
          c = Mid(text, pos, 1)
          If c = " " Or c = vbTab Then Exit Do
          word = word & c
          pos = pos + 1
        Loop
      End If
      If count <= UBound(w) Then w(count) = word
      count = count + 1
    End If
  Loop
  Words = count
End Function

' A result as `morvel run` shows it: text with \\ and \xHH for control characters.
Function Shown(value)
  Dim out, k, c, n
  If VarType(value) <> vbString Then
    Shown = CStr(value)
    Exit Function
  End If
  out = ""
  For k = 1 To Len(value)
    c = Mid(value, k, 1)
    n = Asc(c)  ' AscW is missing from Wine's VBScript; the control characters are the same
    If c = "\" Then
      out = out & "\\"
    ElseIf n < 32 Or n = 127 Then
      out = out & "\x" & Right("0" & Hex(n), 2)
    Else
      out = out & c
    End If
  Next
  Shown = out
End Function

' Calls the member named with the arguments v(...), the script's own
' variables (so by-reference ones are passed by reference). By name in
' code: Wine's VBScript has no Execute.
Function Called(member)
  Called = Empty
  Select Case LCase(member)
    Case "getver": Called = pb.GetVer()
    Case "getdot": Called = pb.GetDot(v(0))
    Case "textheight": Called = pb.textHeight(v(0), v(1), v(2), v(3))
    Case "textwidth": Called = pb.TextWidth(v(0), v(1), v(2), v(3))
    Case "getprintlist": Called = pb.GetPrintList()
    Case "setprint": Called = pb.SetPrint(v(0))
    Case "openport": pb.OpenPort v(0)
    Case "closeport": pb.ClosePort
    Case "printlabel": pb.PrintLabel v(0)
    Case "sendcmd": pb.SendCmd v(0)
    Case "initprint": pb.InitPrint v(0), v(1), v(2), v(3), v(4), v(5), v(6)
    Case "printfont": pb.PrintFont v(0), v(1), v(2), v(3), v(4)
    Case "printbar": pb.PrintBar v(0), v(1), v(2), v(3)
    Case "printcode": pb.PrintCode v(0), v(1), v(2), v(3), v(4), v(5), v(6), v(7)
    Case "commandprint": Called = pb.CommandPrint
    Case "fonttype": Called = pb.FontType
    Case "rfidtype": Called = pb.RFIDType
    Case "initrfid": pb.InitRFID v(0), v(1), v(2), v(3), v(4), v(5)
    Case "oprfid": pb.OpRFID v(0), v(1), v(2), v(3), v(4), v(5)
    Case "printlist": pb.PrintList v(0)
    Case "drawimagefromfile": pb.DrawImageFromFile v(0), v(1), v(2), v(3), v(4)
    Case "drawimagefrombase64": pb.DrawImageFromBase64 v(0), v(1), v(2), v(3), v(4)
    Case Else: Err.Raise 438
  End Select
End Function

Set fso = CreateObject("Scripting.FileSystemObject")
Set source = fso.OpenTextFile(WScript.Arguments(0), 1)
Set pb = CreateObject("Morvel.PrintBarCode")
errorsSeen = 0
On Error Resume Next
Do Until source.AtEndOfStream
  line = Trim(source.ReadLine)
  If Len(line) > 0 And Left(line, 1) <> "#" Then
    count = Words(line)
    For i = 1 To count - 1
      v(i - 1) = w(i)
    Next
    r = Empty
    Err.Clear
    r = Called(w(0))
    If Err.Number <> 0 Then
      WScript.Echo w(0) & ": error " & Err.Number & ": " & Err.Description
      errorsSeen = errorsSeen + 1
      Err.Clear
    ElseIf Not IsEmpty(r) Then
      WScript.Echo w(0) & ": " & Shown(r)
    End If
    ' The printer's word on the RFID labels the call printed, as morvel
    ' run prints it.
    tags = pb.TagResults()
    If Len(tags) > 0 Then WScript.Echo "rfid: " & Replace(tags, vbCrLf, vbCrLf & "rfid: ")
  End If
Loop
source.Close
Set pb = Nothing
If errorsSeen > 0 Then WScript.Quit 1
