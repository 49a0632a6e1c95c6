// Golden files: the expected values of the table-driven tests, kept beside
// them under tests/ as NAME.golden, each row saying where its value comes
// from. With MORVEL_GENERATE=1 in the environment a test writes what it got
// into its row instead of comparing, so that an intended change of the
// output is a diff of the file for a reviewer to read.
//
// The file, one item a line:
//
//   # a comment
//   @break-before "^FO" "\x1B%"     where the generator starts a new value line
//   [Row name]
//   from: hand: 10 px = 150 twips = 21.1 dots
//     (a from: text goes on over indented lines)
//   "^XA^FO21,42"                   the value: the strings and files of its
//   "^FS\r\n"                       lines, joined; escapes \\ \" \r \n \t and
//   <examples/logo.bmp>             \xHH (two digits), other bytes as they are;
//                                   <PATH> is a file's bytes (from the source root)
//
// A row's from: starts with where the value was taken: "guide:" (the
// printer language's programming guide, its section or page), "hand:"
// (worked by hand, with the working), "decoder:" (read back by a barcode
// reader or OCR) or "printer:" (what a printer sent or printed); a row
// without one fails. The generator rewrites only the value lines of rows
// whose value changed, and appends a missing row with a from: still to
// be written (which fails until it is); everything else stays as written.
// Processes of one ctest run may write one file at once: each write takes
// the file's lock and merges into what is there.
#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace morvel::testing {

class GoldenFile {
 public:
  // PATH under the source tree; generate mode from MORVEL_GENERATE.
  explicit GoldenFile(std::string path);
  // ROOT is where <PATH> tokens are found.
  GoldenFile(std::string path, std::string root, bool generate);

  // MORVEL_GENERATE=1 (or any value but empty and 0).
  static bool GenerateMode();

  // Compares ACTUAL with the value of row NAME, reporting a mismatch at the
  // row's line; in generate mode writes ACTUAL there instead.
  void Expect(std::string_view name, std::string_view actual);
  // The value of row NAME (as last written), for checks that build on it.
  std::string Value(std::string_view name);
  // Fails for each row whose name starts with PREFIX that no Expect or
  // Value of this object asked for: a case renamed or gone.
  void ExpectEveryRowUsed(std::string_view prefix) const;

  const std::string& Path() const { return path_; }

 private:
  struct Row {
    size_t Header = 0;                    // the [name] line
    size_t ValueBegin = 0, ValueEnd = 0;  // the value lines [begin, end)
    std::string From;
    std::string Value;
  };

  void Load();
  bool Parse(const std::string& text, std::vector<std::string>* errors);
  const Row* Find(std::string_view name, bool report);
  void CheckFrom(const std::string& name, const Row& row) const;
  void Write(const std::string& name, std::string_view actual);
  std::vector<std::string> Encode(std::string_view value) const;
  const std::string& FileBytes(const std::string& relative, std::string* error);

  std::string path_, root_;
  bool generate_ = false;
  std::vector<std::string> lines_;
  std::map<std::string, Row, std::less<>> rows_;
  std::vector<std::string> breaks_;
  std::vector<std::string> files_;  // the <PATH> tokens of the file, in order met
  std::map<std::string, std::string> fileBytes_;
  std::set<std::string, std::less<>> used_;
};

}  // namespace morvel::testing
