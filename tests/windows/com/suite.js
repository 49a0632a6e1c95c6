// The control from JScript: creation with ActiveXObject, the version, and
// the numbers and descriptions of the errors scripts meet (e.number is the
// HRESULT, 0x800A0000 plus the number). Prints one line a check and
// "N passed, M failed".
//   cscript //nologo suite.js VERSION     (the build's, as `morvel version` prints it)
var passed = 0, failed = 0;
var version = WScript.Arguments.length > 0 ? WScript.Arguments.Item(0) : "(none given)";

function check(ok, name, detail) {
  if (ok) {
    passed++;
    WScript.Echo("ok - JScript: " + name);
  } else {
    failed++;
    WScript.Echo("not ok - JScript: " + name + ": " + detail);
  }
}

// The error a call raises, as "number description"; "0 " when none.
function outcome(call) {
  try {
    call();
  } catch (e) {
    return (e.number & 0xFFFF) + " " + e.description + ((e.number >>> 16) == 0x800A ? "" : " (HRESULT " + e.number + ")");
  }
  return "0 ";
}

var pb = null;
var created = outcome(function () { pb = new ActiveXObject("Morvel.PrintBarCode"); });
check(pb != null, "new ActiveXObject(\"Morvel.PrintBarCode\")", created);
if (pb != null) {
  check(pb.GetVer() == version, "GetVer is " + version, pb.GetVer());
  check(pb.RFIDType == -1, "RFIDType of a fresh control is -1", "");
  var cases = [
    [function () { pb.PrintLabel("1"); }, "91 Object variable or With block variable not set", "PrintLabel before SetPrint: error 91"],
    [function () { pb.GetDot("twelve"); }, "13 Type mismatch", "GetDot of a text that is no number: error 13"],
    [function () { pb.SetPrint(); }, "450 Wrong number of arguments or invalid property assignment", "SetPrint without its argument: error 450"],
    [function () { pb.PrintBox(1, 2, 3, 4); }, "438 Object doesn't support this property or method", "an unknown member: error 438"]
  ];
  for (var i = 0; i < cases.length; i++) {
    var got = outcome(cases[i][0]);
    check(got == cases[i][1], cases[i][2], got);
  }
  check(pb.SetPrint("ZDesigner GK420t") == 0, "SetPrint of a Zebra name is 0", "");
  check(pb.FontType == 1, "FontType of the Zebra driver is 1", "");
  // The members of the second interface, late-bound like every other.
  var hex = pb.EpcEncode("(01)80614141123458(21)6789", "SGTIN-96", 3, 7);
  check(hex == "3074257BF7194E4000001A85", "EpcEncode of an element string", hex);
  var lines = pb.EpcDecode(hex).split("\r\n");
  check(lines.length == 3 && lines[0] == "urn:epc:tag:sgtin-96:3.0614141.812345.6789", "EpcDecode gives three lines",
        lines.join(" | "));
  var refused = outcome(function () { pb.EpcDecode("XYZ"); });
  check(refused.indexOf("5 ") == 0 && refused.indexOf("hexadecimal") > 0, "a refused EPC: error 5 naming the rule",
        refused);
}
WScript.Echo(passed + " passed, " + failed + " failed");
WScript.Quit(failed > 0 ? 1 : 0);
