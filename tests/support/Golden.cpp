#include "support/Golden.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

namespace morvel::testing {
namespace {

constexpr std::array<std::string_view, 4> Kinds = {"guide:", "hand:", "decoder:", "printer:"};
constexpr std::string_view NoSourceYet = "(say where this value comes from: guide, hand, decoder or printer)";

// The length of the well-formed UTF-8 sequence of two to four bytes at AT,
// or 0.
size_t Utf8Length(std::string_view s, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(at);
  size_t n = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
  if (n == 0 || at + n > s.size()) return 0;
  for (size_t i = 1; i < n; ++i)
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  // No overlong forms, surrogates or code points beyond U+10FFFF.
  const unsigned char second = byte(at + 1);
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
      (lead == 0xF4 && second > 0x8F))
    return 0;
  return n;
}

std::string Escaped(std::string_view s) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (size_t n = c >= 0x80 ? Utf8Length(s, i) : 0; n > 0) {
      out.append(s.substr(i, n));
      i += n;
      continue;
    }
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          out += "\\x";
          out += hex[c >> 4];
          out += hex[c & 0xF];
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The quoted string at AT (its opening quote), unescaped; AT moves past
// its closing quote.
bool Unquote(const std::string& line, size_t& at, std::string& out, std::string* error) {
  for (++at; at < line.size(); ++at) {
    char c = line[at];
    if (c == '"') {
      ++at;
      return true;
    }
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++at == line.size()) break;
    switch (line[at]) {
      case '\\': out += '\\'; break;
      case '"': out += '"'; break;
      case 'r': out += '\r'; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'x': {
        const int high = at + 2 < line.size() ? HexDigit(line[at + 1]) : -1;
        const int low = high >= 0 ? HexDigit(line[at + 2]) : -1;
        if (low < 0) {
          *error = "\\x takes two hexadecimal digits";
          return false;
        }
        out += static_cast<char>(high * 16 + low);
        at += 2;
        break;
      }
      default: *error = std::string("unknown escape \\") + line[at]; return false;
    }
  }
  *error = "a string without its closing quote";
  return false;
}

std::string Trimmed(std::string_view s) {
  const size_t first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return "";
  return std::string(s.substr(first, s.find_last_not_of(" \t") - first + 1));
}

// The lines of a value for a failure message.
std::string Shown(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& line : lines) out += "\n    " + line;
  return out;
}

}  // namespace

GoldenFile::GoldenFile(std::string path) : GoldenFile(std::move(path), MORVEL_SOURCE_DIR, GenerateMode()) {}

GoldenFile::GoldenFile(std::string path, std::string root, bool generate)
    : path_(std::move(path)), root_(std::move(root)), generate_(generate) {
  Load();
}

bool GoldenFile::GenerateMode() {
  const char* value = std::getenv("MORVEL_GENERATE");
  return value != nullptr && *value != '\0' && std::string_view(value) != "0";
}

void GoldenFile::Load() {
  std::string text;
  const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (!generate_) ADD_FAILURE() << path_ << ": cannot be read (MORVEL_GENERATE=1 makes it)";
  } else {
    // A generating process of the same run may be writing it.
    ::flock(fd, LOCK_SH);
    char buffer[65536];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
    ::close(fd);
  }
  std::vector<std::string> errors;
  if (!Parse(text, &errors))
    for (const auto& e : errors) ADD_FAILURE() << e;
}

bool GoldenFile::Parse(const std::string& text, std::vector<std::string>* errors) {
  lines_.clear();
  rows_.clear();
  breaks_.clear();
  files_.clear();
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines_.push_back(line);

  enum { Outside, Header, From, Values } state = Outside;
  Row* row = nullptr;
  std::string rowName;
  const auto fail = [&](size_t i, const std::string& what) {
    errors->push_back(path_ + ":" + std::to_string(i + 1) + ": " + what);
  };
  const auto end = [&](size_t i) {
    if (row != nullptr && state != Values) fail(row->Header, "[" + rowName + "] has no value lines");
    row = nullptr;
    state = Outside;
  };
  for (size_t i = 0; i < lines_.size(); ++i) {
    const std::string& line = lines_[i];
    if (line.empty() || line[0] == '#') {
      end(i);
    } else if (line[0] == '[' && line.back() == ']') {
      end(i);
      rowName = line.substr(1, line.size() - 2);
      auto [it, added] = rows_.emplace(rowName, Row{});
      if (!added) {
        fail(i, "[" + rowName + "] is there twice");
        continue;
      }
      row = &it->second;
      row->Header = i;
      state = Header;
    } else if (line.rfind("from:", 0) == 0 && state == Header) {
      row->From = Trimmed(std::string_view(line).substr(5));
      state = From;
    } else if ((line[0] == ' ' || line[0] == '\t') && state == From) {
      row->From += " " + Trimmed(line);
    } else if ((line[0] == '"' || line[0] == '<') && state != Outside) {
      if (state != Values) row->ValueBegin = i;
      row->ValueEnd = i + 1;
      state = Values;
      for (size_t at = 0; at < line.size();) {
        std::string error;
        if (line[at] == ' ') {
          ++at;
        } else if (line[at] == '"') {
          if (!Unquote(line, at, row->Value, &error)) fail(i, error), at = line.size();
        } else if (line[at] == '<' && line.find('>', at) != std::string::npos) {
          const size_t close = line.find('>', at);
          const std::string file = line.substr(at + 1, close - at - 1);
          if (std::find(files_.begin(), files_.end(), file) == files_.end()) files_.push_back(file);
          row->Value += FileBytes(file, &error);
          if (!error.empty()) fail(i, error);
          at = close + 1;
        } else {
          fail(i, "a value line holds \"strings\" and <files> only");
          at = line.size();
        }
      }
    } else if (line.rfind("@break-before", 0) == 0 && state == Outside) {
      for (size_t at = 13; at < line.size();) {
        std::string token, error;
        if (line[at] == ' ') {
          ++at;
        } else if (line[at] == '"' && Unquote(line, at, token, &error) && !token.empty()) {
          breaks_.push_back(token);
        } else {
          fail(i, "@break-before takes quoted strings" + (error.empty() ? "" : ": " + error));
          break;
        }
      }
    } else {
      fail(i, "not a line of a golden file: " + line);
    }
  }
  end(lines_.size());
  return errors->empty();
}

const std::string& GoldenFile::FileBytes(const std::string& relative, std::string* error) {
  auto it = fileBytes_.find(relative);
  if (it == fileBytes_.end()) {
    std::ifstream in(root_ + "/" + relative, std::ios::binary);
    if (!in) *error = "<" + relative + "> cannot be read under " + root_;
    it = fileBytes_.emplace(relative, std::string(std::istreambuf_iterator<char>(in), {})).first;
  }
  return it->second;
}

const GoldenFile::Row* GoldenFile::Find(std::string_view name, bool report) {
  used_.emplace(name);
  auto it = rows_.find(name);
  if (it == rows_.end()) {
    if (report)
      ADD_FAILURE() << path_ << ": no row [" << name << "]"
                    << (generate_ ? "" : " (MORVEL_GENERATE=1 writes it, with a from: for you to fill in)");
    return nullptr;
  }
  return &it->second;
}

void GoldenFile::CheckFrom(const std::string& name, const Row& row) const {
  const bool said = std::any_of(Kinds.begin(), Kinds.end(), [&](std::string_view kind) {
    return row.From.rfind(kind, 0) == 0 && Trimmed(std::string_view(row.From).substr(kind.size())).size() > 0;
  });
  if (!said)
    ADD_FAILURE_AT(path_.c_str(), static_cast<int>(row.Header + 1))
        << "[" << name << "] does not say where its value comes from: its from: line starts with guide:, hand:, "
        << "decoder: or printer: and says what";
}

void GoldenFile::Expect(std::string_view name, std::string_view actual) {
  const Row* row = Find(name, !generate_);
  if (row != nullptr) CheckFrom(std::string(name), *row);
  if (row != nullptr && row->Value == actual) return;
  if (generate_) {
    Write(std::string(name), actual);
    return;
  }
  if (row == nullptr) return;
  const size_t differ =
      std::mismatch(row->Value.begin(), row->Value.begin() + std::min(row->Value.size(), actual.size()), actual.begin())
          .first -
      row->Value.begin();
  ADD_FAILURE_AT(path_.c_str(), static_cast<int>(row->ValueBegin + 1))
      << "[" << name << "] (from: " << row->From << ")\n  expected (" << row->Value.size()
      << " bytes):" << Shown(Encode(row->Value)) << "\n  actual (" << actual.size()
      << " bytes):" << Shown(Encode(actual)) << "\n  first difference at byte " << differ
      << "\n  (an intended change: MORVEL_GENERATE=1 writes the actual value into the row)";
}

std::string GoldenFile::Value(std::string_view name) {
  const Row* row = Find(name, true);
  if (row == nullptr) return std::string();
  CheckFrom(std::string(name), *row);
  return row->Value;
}

void GoldenFile::ExpectEveryRowUsed(std::string_view prefix) const {
  for (const auto& [name, row] : rows_)
    if (name.rfind(prefix, 0) == 0 && used_.count(name) == 0)
      ADD_FAILURE_AT(path_.c_str(), static_cast<int>(row.Header + 1))
          << "[" << name << "]: no case of the test asks for this row (renamed or gone?)";
}

std::vector<std::string> GoldenFile::Encode(std::string_view value) const {
  std::vector<std::string> lines;
  std::string line;
  bool open = false;
  const auto flush = [&] {
    if (open) lines.push_back("\"" + line + "\"");
    line.clear();
    open = false;
  };
  for (size_t at = 0; at < value.size();) {
    // A file of the golden file's own whose bytes stand here.
    auto file = std::find_if(files_.begin(), files_.end(), [&](const std::string& f) {
      auto bytes = fileBytes_.find(f);
      return bytes != fileBytes_.end() && bytes->second.size() >= 4 && value.substr(at).starts_with(bytes->second);
    });
    if (file != files_.end()) {
      flush();
      lines.push_back("<" + *file + ">");
      at += fileBytes_.at(*file).size();
      continue;
    }
    if (open && !line.empty() && std::any_of(breaks_.begin(), breaks_.end(), [&](const std::string& b) {
          return value.substr(at).starts_with(b);
        }))
      flush();
    const size_t n = std::max<size_t>(1, Utf8Length(value, at));
    line += Escaped(value.substr(at, n));
    open = true;
    if (value[at] == '\n') flush();
    at += n;
  }
  flush();
  if (lines.empty()) lines.push_back("\"\"");
  return lines;
}

void GoldenFile::Write(const std::string& name, std::string_view actual) {
  const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    ADD_FAILURE() << path_ << ": cannot be written";
    return;
  }
  ::flock(fd, LOCK_EX);
  // What is there now: another process of the run may have written rows.
  std::string text;
  char buffer[65536];
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
  std::vector<std::string> errors;
  if (!Parse(text, &errors)) {
    ::close(fd);
    for (const auto& e : errors) ADD_FAILURE() << e;
    return;
  }
  std::vector<std::string> value = Encode(actual);
  auto it = rows_.find(name);
  if (it != rows_.end()) {
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(it->second.ValueBegin),
                 lines_.begin() + static_cast<std::ptrdiff_t>(it->second.ValueEnd));
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(it->second.ValueBegin), value.begin(), value.end());
  } else {
    if (!lines_.empty() && !lines_.back().empty()) lines_.push_back("");
    lines_.push_back("[" + name + "]");
    lines_.push_back("from: " + std::string(NoSourceYet));
    lines_.insert(lines_.end(), value.begin(), value.end());
  }
  text.clear();
  for (const auto& line : lines_) text += line + "\n";
  bool written = ::ftruncate(fd, 0) == 0;
  for (size_t done = 0; written && done < text.size();) {
    const ssize_t n = ::pwrite(fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
    written = n > 0;
    done += written ? static_cast<size_t>(n) : 0;
  }
  ::close(fd);
  if (!written) ADD_FAILURE() << path_ << ": writing [" << name << "] failed";
  std::cerr << "golden: wrote [" << name << "] into " << path_ << "\n";
  errors.clear();
  Parse(text, &errors);
  if (auto row = rows_.find(name); row != rows_.end()) CheckFrom(name, row->second);
}

}  // namespace morvel::testing
