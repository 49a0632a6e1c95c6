// Call scripts: one statement per line, a member name and its arguments.
// Parsing is separate from running so that a script with a bad line runs
// nothing at all.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "morvel/automation.h"

namespace morvel::cli {

// What ends a folder name in a script's path; on Windows either slash.
#ifdef _WIN32
inline constexpr const char* PathSeparators = "/\\";
#else
inline constexpr const char* PathSeparators = "/";
#endif

// Whether a picture's path names its file without the script's folder.
bool IsAbsolutePath(std::string_view path);

struct Argument {
  enum class Kind { Text, Picture } Type = Kind::Text;
  String Text;  // the string, or for Picture the file path
};

struct Statement {
  int Line = 0;
  const automation::MemberInfo* Member = nullptr;
  std::vector<Argument> Args;
};

struct ParseError {
  int Line = 0;
  std::string Message;
};

struct ParsedScript {
  std::vector<Statement> Statements;
  std::vector<ParseError> Errors;
};

// Parses UTF-8 script text. Blank lines and lines starting with '#' are
// skipped. A quoted argument takes the escapes \\ \" \n \r \t \xHH \u{HEX};
// a bare token is its text; a bare @PATH is a picture file.
ParsedScript ParseScript(std::string_view text);

// The members of PrintBarCode whose names are nearest a misspelled one, best
// first, at most three.
std::vector<std::string_view> NearestMembers(std::string_view name);
// "no member named X; did you mean ...?" with the near members' descriptions.
std::string UnknownMemberMessage(std::string_view name);

// How a value is shown: strings with every character below 0x20, 0x7F and
// '\' written as \xHH / \\; other values in their text form.
std::string ShowValue(const automation::Variant& value);

// Runs the statements against one PrintBarCode, writing "Member: value" and
// "Member: error N: description" lines to `out`. Picture paths are taken
// from `baseFolder` when relative. Returns true when no call raised.
bool RunScript(const std::vector<Statement>& statements, const std::string& baseFolder, std::ostream& out);

}  // namespace morvel::cli
