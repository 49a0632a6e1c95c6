// The call script language of the morvel command.
#include "hosts/cli/Script.h"

#include <fstream>
#include <iterator>
#include <ostream>

#include "morvel/PrintBarCode.h"
#include "platform/services.h"

namespace morvel::cli {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads a quoted string starting at line[pos] == '"'. On success pos is just
// past the closing quote.
bool ReadQuoted(std::string_view line, size_t& pos, String& out, std::string& error) {
  ++pos;
  std::string pending;  // raw UTF-8 run between escapes
  auto flush = [&] {
    out += FromUtf8(pending);
    pending.clear();
  };
  while (pos < line.size()) {
    char c = line[pos];
    if (c == '"') {
      flush();
      ++pos;
      return true;
    }
    if (c != '\\') {
      pending.push_back(c);
      ++pos;
      continue;
    }
    flush();
    if (pos + 1 >= line.size()) break;
    char e = line[pos + 1];
    pos += 2;
    switch (e) {
      case '\\': out.push_back(u'\\'); break;
      case '"': out.push_back(u'"'); break;
      case 'n': out.push_back(u'\n'); break;
      case 'r': out.push_back(u'\r'); break;
      case 't': out.push_back(u'\t'); break;
      case 'x': {
        int hi = pos < line.size() ? HexValue(line[pos]) : -1;
        int lo = pos + 1 < line.size() ? HexValue(line[pos + 1]) : -1;
        if (hi < 0 || lo < 0) {
          error = "\\x needs two hexadecimal digits";
          return false;
        }
        out.push_back(static_cast<char16_t>(hi * 16 + lo));
        pos += 2;
        break;
      }
      case 'u': {
        if (pos >= line.size() || line[pos] != '{') {
          error = "\\u needs {HEX}";
          return false;
        }
        size_t close = line.find('}', pos);
        if (close == std::string_view::npos || close == pos + 1 || close - pos - 1 > 6) {
          error = "\\u{...} needs one to six hexadecimal digits";
          return false;
        }
        char32_t cp = 0;
        for (size_t i = pos + 1; i < close; ++i) {
          int h = HexValue(line[i]);
          if (h < 0) {
            error = "\\u{...} needs hexadecimal digits";
            return false;
          }
          cp = cp * 16 + static_cast<char32_t>(h);
        }
        if (cp > 0x10FFFF) {
          error = "\\u{...} is beyond U+10FFFF";
          return false;
        }
        AppendCodePoint(out, cp);
        pos = close + 1;
        break;
      }
      default: error = std::string("unknown escape \\") + e; return false;
    }
  }
  error = "unterminated string";
  return false;
}

}  // namespace

ParsedScript ParseScript(std::string_view text) {
  ParsedScript script;
  const auto& cls = automation::PrintBarCodeClass();
  int lineNo = 0;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    ++lineNo;
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (lineNo == 1 && line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);  // byte order mark

    size_t pos = 0;
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos == line.size() || line[pos] == '#') {
      if (end == text.size()) break;
      continue;
    }
    size_t nameEnd = pos;
    while (nameEnd < line.size() && !IsBlank(line[nameEnd])) ++nameEnd;
    std::string name(line.substr(pos, nameEnd - pos));
    Statement st;
    st.Line = lineNo;
    st.Member = automation::FindMember(cls, name);
    if (st.Member == nullptr) {
      script.Errors.push_back({lineNo, "no member named " + name});
      if (end == text.size()) break;
      continue;
    }
    pos = nameEnd;
    std::string error;
    for (;;) {
      while (pos < line.size() && IsBlank(line[pos])) ++pos;
      if (pos >= line.size()) break;
      Argument arg;
      if (line[pos] == '"') {
        if (!ReadQuoted(line, pos, arg.Text, error)) break;
        if (pos < line.size() && !IsBlank(line[pos])) {
          error = "a quoted string must be followed by a blank";
          break;
        }
      } else {
        size_t tokenEnd = pos;
        while (tokenEnd < line.size() && !IsBlank(line[tokenEnd])) ++tokenEnd;
        std::string_view token = line.substr(pos, tokenEnd - pos);
        if (token.find('"') != std::string_view::npos) {
          error = "a double quote inside a bare token";
          break;
        }
        if (token.size() > 1 && token[0] == '@') {
          arg.Type = Argument::Kind::Picture;
          token.remove_prefix(1);
        }
        arg.Text = FromUtf8(token);
        pos = tokenEnd;
      }
      st.Args.push_back(std::move(arg));
    }
    if (!error.empty()) {
      script.Errors.push_back({lineNo, error});
    } else {
      script.Statements.push_back(std::move(st));
    }
    if (end == text.size()) break;
  }
  return script;
}

std::string ShowValue(const automation::Variant& value) {
  if (value.Type() != automation::VarType::String) return ToUtf8(automation::ToText(value));
  std::string utf8 = ToUtf8(value.Get<String>());
  std::string out;
  out.reserve(utf8.size());
  static const char* hex = "0123456789ABCDEF";
  for (unsigned char c : utf8) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c < 0x20 || c == 0x7F) {
      out += "\\x";
      out.push_back(hex[c >> 4]);
      out.push_back(hex[c & 15]);
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

namespace {

automation::Variant PictureArgument(const String& path, const std::string& baseFolder) {
  std::string file = ToUtf8(path);
  if (!file.empty() && file[0] != '/' && !baseFolder.empty()) file = baseFolder + "/" + file;
  std::ifstream in(file, std::ios::binary);
  if (!in) throw AutomationError(errors::FileNotFound);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  PictureRef picture = platform::Current().Images->Decode(bytes.data(), bytes.size());
  if (!picture) throw AutomationError(errors::InvalidPicture);
  return automation::Variant(picture);
}

}  // namespace

bool RunScript(const std::vector<Statement>& statements, const std::string& baseFolder, std::ostream& out) {
  PrintBarCode control;
  bool allWell = true;
  for (const Statement& st : statements) {
    const std::string name(st.Member->Name);
    try {
      std::vector<automation::Variant> args;
      args.reserve(st.Args.size());
      for (const Argument& a : st.Args)
        args.push_back(a.Type == Argument::Kind::Picture ? PictureArgument(a.Text, baseFolder) : automation::Variant(a.Text));
      automation::Variant result = automation::Invoke(control, st.Member->DispId, args);
      if (st.Member->Result != automation::VarType::Empty) out << name << ": " << ShowValue(result) << "\n";
    } catch (const AutomationError& e) {
      allWell = false;
      out << name << ": error " << e.Number() << ": " << e.Description() << "\n";
    } catch (const std::exception& e) {
      allWell = false;
      out << name << ": error 51: Internal error: " << e.what() << "\n";
    }
    out.flush();
  }
  return allWell;
}

}  // namespace morvel::cli
