// Runs a call script (the statements `morvel run` takes) through the
// control from JScript: each statement calls its member with its
// arguments, and a result or an error prints as `morvel run` prints it.
//   cscript //nologo run.js SCRIPT.mvs

// The statement's words: quoted text with the escapes \\ \" \n \r \t \xHH
// \u{HEX}, or a bare word.
function words(text) {
  var out = [], pos = 0;
  while (pos < text.length) {
    var c = text.charAt(pos);
    if (c == " " || c == "\t") { pos++; continue; }
    var word = "";
    if (c == "\"") {
      for (pos++; pos < text.length && text.charAt(pos) != "\""; pos++) {
        c = text.charAt(pos);
        if (c != "\\") { word += c; continue; }
        c = text.charAt(++pos);
        if (c == "n") word += "\n";
        else if (c == "r") word += "\r";
        else if (c == "t") word += "\t";
        else if (c == "x") { word += String.fromCharCode(parseInt(text.substr(pos + 1, 2), 16)); pos += 2; }
        else if (c == "u") {
          var end = text.indexOf("}", pos);
          word += String.fromCharCode(parseInt(text.substring(pos + 2, end), 16));
          pos = end;
        } else word += c;
      }
      pos++;
    } else {
      for (; pos < text.length && text.charAt(pos) != " " && text.charAt(pos) != "\t"; pos++) word += text.charAt(pos);
    }
    out.push(word);
  }
  return out;
}

// A result as `morvel run` shows it.
function shown(value) {
  if (typeof value == "boolean") return value ? "True" : "False";
  if (typeof value != "string") return String(value);
  var out = "";
  for (var k = 0; k < value.length; k++) {
    var n = value.charCodeAt(k);
    if (n == 92) out += "\\\\";
    else if (n < 32 || n == 127) out += "\\x" + (n < 16 ? "0" : "") + n.toString(16).toUpperCase();
    else out += value.charAt(k);
  }
  return out;
}

var fso = new ActiveXObject("Scripting.FileSystemObject");
var source = fso.OpenTextFile(WScript.Arguments(0), 1);
var pb = new ActiveXObject("Morvel.PrintBarCode");
var errorsSeen = 0, v = [];
while (!source.AtEndOfStream) {
  var line = source.ReadLine().replace(/^\s+|\s+$/g, "");
  if (line.length == 0 || line.charAt(0) == "#") continue;
  var tokens = words(line), names = [];
  for (var i = 1; i < tokens.length; i++) {
    v[i - 1] = tokens[i];
    names.push("v[" + (i - 1) + "]");
  }
  var r;
  try {
    r = eval("pb." + tokens[0] + "(" + names.join(", ") + ")");
    if (typeof r != "undefined") WScript.Echo(tokens[0] + ": " + shown(r));
  } catch (e) {
    WScript.Echo(tokens[0] + ": error " + (e.number & 0xFFFF) + ": " + e.description);
    errorsSeen++;
  }
  // The printer's word on the RFID labels the call printed, as morvel run prints it.
  var tags = pb.TagResults();
  if (tags.length > 0) WScript.Echo("rfid: " + tags.split("\r\n").join("\r\nrfid: "));
}
source.Close();
pb = null;
WScript.Quit(errorsSeen > 0 ? 1 : 0);
