// Shared value types: error descriptions, byte array bounds, UTF-8 edges.
#include "morvel/types.h"

#include <utility>

#include "core/utf8.h"

namespace morvel {

AutomationError::AutomationError(int number) : number_(number), description_(StandardDescription(number)) {}

AutomationError::AutomationError(int number, std::string description)
    : number_(number), description_(std::move(description)) {}

std::string AutomationError::StandardDescription(int number) {
  switch (number) {
    case 3: return "Return without GoSub";
    case 5: return "Invalid procedure call or argument";
    case 6: return "Overflow";
    case 7: return "Out of memory";
    case 9: return "Subscript out of range";
    case 10: return "This array is fixed or temporarily locked";
    case 11: return "Division by zero";
    case 13: return "Type mismatch";
    case 14: return "Out of string space";
    case 28: return "Out of stack space";
    case 48: return "Error in loading DLL";
    case 51: return "Internal error";
    case 52: return "Bad file name or number";
    case 53: return "File not found";
    case 54: return "Bad file mode";
    case 55: return "File already open";
    case 57: return "Device I/O error";
    case 58: return "File already exists";
    case 61: return "Disk full";
    case 62: return "Input past end of file";
    case 67: return "Too many files";
    case 68: return "Device unavailable";
    case 70: return "Permission denied";
    case 71: return "Disk not ready";
    case 74: return "Can't rename with different drive";
    case 75: return "Path/File access error";
    case 76: return "Path not found";
    case 91: return "Object variable or With block variable not set";
    case 94: return "Invalid use of Null";
    case 424: return "Object required";
    case 438: return "Object doesn't support this property or method";
    case 445: return "Object doesn't support this action";
    case 449: return "Argument not optional";
    case 450: return "Wrong number of arguments or invalid property assignment";
    case 453: return "Specified DLL function not found";
    case 457: return "This key is already associated with an element of this collection";
    case 481: return "Invalid picture";
    default: return "Application-defined or object-defined error";
  }
}

long ByteArray::LBound() const {
  if (!allocated_) throw AutomationError(errors::SubscriptOutOfRange);
  return 0;
}

long ByteArray::UBound() const {
  if (!allocated_) throw AutomationError(errors::SubscriptOutOfRange);
  return static_cast<long>(bytes_.size()) - 1;
}

void AppendCodePoint(String& out, char32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(cp));
  }
}

String FromUtf8(std::string_view s) {
  String out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    char32_t cp = 0;
    const size_t length = core::Utf8SequenceAt(s.substr(i), &cp);
    if (length == 0) {
      out.push_back(u'\uFFFD');  // a byte of no well-formed sequence
      ++i;
      continue;
    }
    AppendCodePoint(out, cp);
    i += length;
  }
  return out;
}

std::string ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;  // a lone surrogate
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

}  // namespace morvel
