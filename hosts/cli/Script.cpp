// The call script language of the morvel command.
#include "hosts/cli/Script.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <ostream>

#include "morvel/PrintBarCode.h"
#include "platform/files.h"
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

size_t Distance(std::string_view a, std::string_view b) {
  // Levenshtein distance without regard to ASCII case, on one row.
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (lower(a[i - 1]) == lower(b[j - 1]) ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace

bool IsAbsolutePath(std::string_view path) {
  if (!path.empty() && path[0] == '/') return true;
#ifdef _WIN32
  // \\server\share, \folder on the current drive, and C: (with or
  // without a slash: C:file is that drive's current folder, not ours).
  if (!path.empty() && path[0] == '\\') return true;
  if (path.size() >= 2 && path[1] == ':' && ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z')) return true;
#endif
  return false;
}

std::vector<std::string_view> NearestMembers(std::string_view name) {
  std::vector<std::pair<size_t, std::string_view>> ranked;
  if (name.size() > 64) return {};
  for (const auto& m : automation::PrintBarCodeClass().Members) {
    size_t d = Distance(name, m.Name);
    if (d <= std::max<size_t>(2, m.Name.size() / 3)) ranked.emplace_back(d, m.Name);
  }
  std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string_view> names;
  for (size_t i = 0; i < ranked.size() && i < 3; ++i) names.push_back(ranked[i].second);
  return names;
}

std::string UnknownMemberMessage(std::string_view name) {
  std::string message = "no member named " + std::string(name);
  auto near = NearestMembers(name);
  if (!near.empty()) {
    message += "; did you mean ";
    for (size_t i = 0; i < near.size(); ++i) {
      if (i > 0) message += i + 1 == near.size() ? " or " : ", ";
      const auto* m = automation::FindMember(automation::PrintBarCodeClass(), near[i]);
      message += std::string(m->Name) + " (" + std::string(m->Description) + ")";
    }
    message += "?";
  }
  return message + " 'morvel members' lists every member.";
}

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
      script.Errors.push_back({lineNo, UnknownMemberMessage(name)});
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
  if (!file.empty() && !IsAbsolutePath(file) && !baseFolder.empty()) file = baseFolder + "/" + file;
  std::vector<uint8_t> bytes;
  try {
    bytes = platform::ReadWholeFile(file);
  } catch (const AutomationError& e) {
    // The file's own errors name no file; say which @PATH it was.
    if (e.Description().find(file) != std::string::npos) throw;
    throw AutomationError(e.Number(), e.Description() + ": '" + file + "'");
  }
  PictureRef picture = platform::Current().Images->Decode(bytes.data(), bytes.size());
  if (!picture)
    throw AutomationError(errors::InvalidPicture, AutomationError::StandardDescription(errors::InvalidPicture) + ": '" +
                                                      file + "' is no BMP, PNG, JPEG or GIF image");
  return automation::Variant(picture);
}

std::string Plural(size_t n, const char* word) { return std::to_string(n) + " " + word + (n == 1 ? "" : "s"); }

// What a failed call's error means for this statement: the line, and for a
// wrong count or a value that does not convert, which argument and what the
// member expects.
std::string Explain(const Statement& st, const AutomationError& e) {
  const automation::MemberInfo& m = *st.Member;
  std::string where = "line " + std::to_string(st.Line);
  if (e.Number() == errors::WrongArgumentCount && st.Args.size() != m.Params.size())
    return where + ": " + std::string(m.Name) + " takes " + Plural(m.Params.size(), "argument") +
           (m.Params.empty() ? "" : ": " + automation::ParameterList(m)) + ", " + std::to_string(st.Args.size()) +
           " given";
  if (e.Number() != errors::TypeMismatch && e.Number() != errors::Overflow) return where;
  for (size_t i = 0; i < st.Args.size() && i < m.Params.size(); ++i) {
    const automation::ParamInfo& p = m.Params[i];
    const Argument& a = st.Args[i];
    std::string which = "argument " + std::to_string(i + 1) + " (" + std::string(p.Name) + ")";
    if (p.Type == automation::VarType::Object) {
      if (a.Type != Argument::Kind::Picture)
        return where + ": " + which + " is a picture: write @PATH to an image file";
      continue;
    }
    if (a.Type == Argument::Kind::Picture)
      return where + ": " + which + " is a " + automation::TypeName(p.Type) + ", not a picture";
    try {
      automation::Coerce(automation::Variant(a.Text), p.Type);
    } catch (const AutomationError& c) {
      std::string value = ShowValue(automation::Variant(a.Text.substr(0, 40)));
      return where + ": " + which + " '" + value + "' " +
             (c.Number() == errors::Overflow ? "is out of the range of " : "is not ") + "a" +
             (p.Type == automation::VarType::Integer ? "n " : " ") + automation::TypeName(p.Type);
    }
  }
  // Every argument converted: the member itself found a text that should
  // hold a number (InitPrint's sizes, PrintLabel's copies).
  return where + ": a text argument of " + std::string(m.Name) + " must hold a number";
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
        args.push_back(a.Type == Argument::Kind::Picture ? PictureArgument(a.Text, baseFolder)
                                                         : automation::Variant(a.Text));
      automation::Variant result = automation::Invoke(control, st.Member->DispId, args);
      if (st.Member->Result != automation::VarType::Empty) out << name << ": " << ShowValue(result) << "\n";
      // The printer's word on each tag the label wrote, a line a label; after
      // a tab, why for a label not written, the TID for one written whose
      // printer read it.
      for (const TagResult& r : control.TakeTagResults()) out << "rfid: " << DescribeWithReason(r) << "\n";
    } catch (const AutomationError& e) {
      allWell = false;
      out << name << ": error " << e.Number() << ": " << e.Description() << " (" << Explain(st, e) << ")\n";
    } catch (const std::exception& e) {
      allWell = false;
      out << name << ": error 51: Internal error: " << e.what() << " (line " << st.Line << ")\n";
    }
    out.flush();
  }
  return allWell;
}

}  // namespace morvel::cli
