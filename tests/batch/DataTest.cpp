// The batch's data sources: CSV by RFC 4180's rules (section 2) and its
// usual variants, JSON arrays of objects, each case a row of a table; the
// refusals with the line or row they name; and data far larger than any
// bound read through without being held.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>

#include "hosts/batch/Data.h"
#include "support/TempFolder.h"

namespace morvel::batch {
namespace {

// The rows as "number@line name=value|name=value", one a line; CR and LF
// in values as \r and \n.
std::string Rows(RowSource& source) {
  std::string out;
  Row row;
  while (source.Next(row)) {
    if (!out.empty()) out += '\n';
    out += std::to_string(row.Number) + "@" + std::to_string(row.Line) + " ";
    for (size_t i = 0; i < row.Fields.size(); ++i) {
      out += (i > 0 ? "|" : "") + row.Fields[i].first + "=";
      for (char c : row.Fields[i].second) out += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
    }
  }
  return out;
}

std::string Joined(const std::vector<std::string>& names) {
  std::string out;
  for (const auto& name : names) out += (out.empty() ? "" : ",") + name;
  return out;
}

// The rows of the data, or "error: " and what the source refused.
std::string Read(const std::string& data, bool json, const std::string& delimiter = "",
                 std::string* columns = nullptr) {
  std::istringstream in(data);
  DataOptions options;
  options.Delimiter = delimiter;
  options.Name = "data";
  try {
    auto source = json ? ReadJson(in, options) : ReadCsv(in, options);
    std::string rows = Rows(*source);
    if (columns != nullptr) *columns = Joined(source->Columns());
    return rows;
  } catch (const DataError& error) {
    return std::string("error: ") + error.what();
  }
}

struct Case {
  const char* Name;
  std::string Data;
  const char* Option;    // CSV: the delimiter; JSON: the columns it has once read
  const char* Expected;  // the rows, or "error: " and the start of the refusal
};

const Case CsvCases[] = {
    {"LineFeeds", "a,b\n1,2\n3,4\n", "", "1@2 a=1|b=2\n2@3 a=3|b=4"},
    {"CarriageReturnLineFeeds", "a,b\r\n1,2\r\n3,4\r\n", "", "1@2 a=1|b=2\n2@3 a=3|b=4"},
    {"CarriageReturnsAlone", "a,b\r1,2\r3,4", "", "1@2 a=1|b=2\n2@3 a=3|b=4"},
    {"NoLineEndAtTheEnd", "a,b\n1,2", "", "1@2 a=1|b=2"},
    {"QuotedDelimiterAndDoubledQuotes", "a,b\n\"x,y\",\"say \"\"hi\"\"\"\n", "", "1@2 a=x,y|b=say \"hi\""},
    {"EmptyFieldsQuotedOrNot", "a,b,c\n\"\",,\n", "", "1@2 a=|b=|c="},
    {"QuotedHeader", "\"a b\",\"c\"\"d\"\n1,2\n", "", "1@2 a b=1|c\"d=2"},
    {"LineFeedInsideQuotes", "a,b\n\"1\n2\",3\n4,5\n", "", "1@2 a=1\\n2|b=3\n2@4 a=4|b=5"},
    {"CrLfInsideQuotes", "a,b\r\n\"1\r\n2\r\n\",3\r\n4,5\r\n", "", "1@2 a=1\\r\\n2\\r\\n|b=3\n2@5 a=4|b=5"},
    {"ByteOrderMarkSkipped",
     "\xEF\xBB\xBF"
     "a,b\n1,2\n",
     "", "1@2 a=1|b=2"},
    {"Utf8Kept", "name\nM\xC3\xBCller \xE2\x82\xAC \xF0\x9F\x93\xA6\n", "",
     "1@2 name=M\xC3\xBCller \xE2\x82\xAC \xF0\x9F\x93\xA6"},
    {"Semicolons", "a;b\n1,5;2\n", ";", "1@2 a=1,5|b=2"},
    {"Tabs", "a\tb\n1 2\t3\n", "\t", "1@2 a=1 2|b=3"},
    {"TabByName", "a\tb\n1\t2\n", "tab", "1@2 a=1|b=2"},
    {"Pipes", "a|b\n\"x|y\"|2\n", "|", "1@2 a=x|y|b=2"},
    {"AutoFindsSemicolons", "a;b;c\n1;2,5;3\n", "auto", "1@2 a=1|b=2,5|c=3"},
    {"AutoFindsTabs", "a\tb\n1,2\t3\n", "auto", "1@2 a=1,2|b=3"},
    {"AutoFindsPipes", "a|b|c\n1|2|3\n", "auto", "1@2 a=1|b=2|c=3"},
    {"AutoIgnoresQuotedCommas", "\"x,y,z\";b\n1;2\n", "auto", "1@2 x,y,z=1|b=2"},
    {"AutoTakesCommasOnATie", "a,b;c\n1,2;3\n", "auto", "1@2 a=1|b;c=2;3"},
    {"AutoWithOneColumn", "name\nx,y\n", "auto", "error: data, line 2: row 1 has 2 fields, the header 1"},
    {"BlankLinesAtTheEnd", "a,b\n1,2\n\n\n", "", "1@2 a=1|b=2"},
    {"BlankCrLfLinesAtTheEnd", "a,b\r\n1,2\r\n\r\n\r\n", "", "1@2 a=1|b=2"},
    {"BlankLineOfOneColumn", "name\nx\n\n\ny\n\n", "", "1@2 name=x\n2@3 name=\n3@4 name=\n4@5 name=y"},
    {"HeaderOnly", "a,b\n", "", ""},

    {"MoreFieldsThanTheHeader", "a,b\n1,2\n1,2,3\n", "", "error: data, line 3: row 2 has 3 fields, the header 2"},
    {"FewerFieldsThanTheHeader", "a,b,c\n1,2\n", "", "error: data, line 2: row 1 has 2 fields, the header 3"},
    {"RaggedAfterQuotedLines", "a,b\n\"x\ny\r\nz\",1\n1\n", "", "error: data, line 5: row 2 has 1 field, the header 2"},
    {"RaggedAfterQuotedCrLfs", "a,b\r\n\"x\r\n\r\n\",1\r\n1,2,3\r\n", "",
     "error: data, line 5: row 2 has 3 fields, the header 2"},
    {"RaggedAfterQuotedCarriageReturns", "a,b\r\"x\ry\",1\r1\r", "",
     "error: data, line 4: row 2 has 1 field, the header 2"},
    {"BlankLineBetweenRows", "a,b\n1,2\n\n3,4\n", "", "error: data, line 3: row 2 is blank"},
    {"UnterminatedQuote", "a,b\n1,2\n3,\"open\n4,5\n", "", "error: data, line 3: the quote that opens field 2"},
    {"UnterminatedAfterQuotedLines", "a,b\n\"1\n2\",3\n\"x,y\n", "",
     "error: data, line 4: the quote that opens field 1"},
    {"QuoteInsideUnquoted", "a,b\n1,2\"3\n", "", "error: data, line 2: a quote inside field 2"},
    {"TextAfterClosingQuote", "a,b\n\"1\"x,2\n", "", "error: data, line 2: field 1 goes on after its closing quote"},
    {"DuplicateHeader", "sku,name,sku\n", "", "error: data, line 1: the header names \"sku\" twice (columns 1 and 3)"},
    {"UnnamedColumn", "a,,c\n", "", "error: data, line 1: column 2 of the header has no name"},
    {"Empty", "", "", "error: data, line 1: no header row"},
    {"ByteOrderMarkAlone", "\xEF\xBB\xBF", "", "error: data, line 1: no header row"},
    {"BlankHeader", "\na,b\n", "", "error: data, line 1: the header row is blank"},
    {"InvalidUtf8", "a,b\n1,2\n3,\xFF\n", "", "error: data, line 3: field 2 is not UTF-8"},
    {"InvalidUtf8OnAQuotedLine", "a\n\"x\ny\xC3\"\n", "", "error: data, line 3: field 1 is not UTF-8"},
    {"Utf8Surrogate", "a\n\xED\xA0\x80\n", "", "error: data, line 2: field 1 is not UTF-8"},
    {"Utf8Overlong", "a\n\xC0\xAF\n", "", "error: data, line 2: field 1 is not UTF-8"},
    {"UnknownDelimiter", "a:b\n", ":", "error: the delimiter \":\" is none of , ; tab | auto"},
};

class CsvRead : public ::testing::TestWithParam<Case> {};

TEST_P(CsvRead, GivesTheRowsOrRefusesWithTheLine) {
  const Case& c = GetParam();
  const std::string got = Read(c.Data, false, c.Option);
  if (std::string_view(c.Expected).starts_with("error: "))
    EXPECT_TRUE(got.starts_with(c.Expected)) << got;
  else
    EXPECT_EQ(got, c.Expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, CsvRead, ::testing::ValuesIn(CsvCases),
                         [](const auto& info) { return info.param.Name; });

const Case JsonCases[] = {
    {"EveryKindOfValue",
     R"([{"s":"text","i":42,"z0":-0,"f":1.50,"e":1E+3,"big":123456789012345678901234567890,"t":true,"n":false,)"
     R"("null":null,"u":"\u00e9\n"}])",
     "s,i,z0,f,e,big,t,n,null,u",
     "1@0 s=text|i=42|z0=-0|f=1.50|e=1E+3|big=123456789012345678901234567890|t=true|n=false|null=|u=\xC3\xA9\\n"},
    {"MissingKeysAndTheirUnion", R"([{"a":"1","b":"2"},{"b":"3","c":"4"},{}])", "a,b,c",
     "1@0 a=1|b=2\n2@0 b=3|c=4\n3@0 "},
    {"SpacesAndByteOrderMark", "\xEF\xBB\xBF \n[\n {\"a\" : \"x\"} ,\n\t{\"a\":\"y\"}\n]\n", "a", "1@0 a=x\n2@0 a=y"},
    {"BracketsAndQuotesInStrings", R"([{"a":"}]{\"\\","b":"[,"}, {"a":"2"}])", "a,b", "1@0 a=}]{\"\\|b=[,\n2@0 a=2"},
    {"EmptyArray", " [ ] ", "", ""},

    {"NestedObject", "[{\"a\":1},\n{\"b\":{\"c\":1}}]", "",
     "error: data, row 2 (line 2): the value of \"b\" is an object"},
    {"NestedArray", R"([{"a":[1]}])", "", "error: data, row 1 (line 1): the value of \"a\" is an array"},
    {"NotAnArray", R"({"a":1})", "", "error: data: not an array of objects (it starts with an object)"},
    {"EmptyText", "  ", "", "error: data: not an array of objects (the data is empty)"},
    {"RowNotAnObject", "[{\"a\":1},\n\n 5]", "", "error: data, row 2 (line 3): a number where a row's object belongs"},
    {"KeyTwice", R"([{"a":1,"a":2}])", "", "error: data, row 1 (line 1): the object has the key \"a\" twice"},
    {"BadLiteral", "[{\"a\":1},\n{\"a\":tru}]", "", "error: data, row 2 (line 2): syntax error"},
    {"TrailingComma", R"([{"a":1},])", "", "error: data, row 2 (line 1): ']' where a row's object belongs"},
    {"MissingComma", R"([{"a":1} {"a":2}])", "", "error: data, row 2 (line 1): ',' or ']' expected, not an object"},
    {"Unclosed", R"([{"a":1})", "", "error: data, row 2 (line 1): the data ends before the array closes"},
    {"UnclosedObject", R"([{"a":"1")", "", "error: data, row 1 (line 1): the data ends inside the row's object"},
    {"MismatchedBrackets", R"([{"a":"1"]})", "", "error: data, row 1 (line 1): syntax error"},
    {"AfterTheEnd", "[]\n[]", "", "error: data, line 2: an array after the array's end"},
    {"InvalidUtf8", "[{\"a\":\"\xFF\"}]", "",
     "error: data, row 1 (line 1): syntax error while parsing value - invalid string: ill-formed UTF-8"},
};

class JsonRead : public ::testing::TestWithParam<Case> {};

TEST_P(JsonRead, GivesTheRowsOrRefusesWithTheRow) {
  const Case& c = GetParam();
  std::string columns;
  const std::string got = Read(c.Data, true, "", &columns);
  if (std::string_view(c.Expected).starts_with("error: ")) {
    EXPECT_TRUE(got.starts_with(c.Expected)) << got;
  } else {
    EXPECT_EQ(got, c.Expected);
    EXPECT_EQ(columns, c.Option);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, JsonRead, ::testing::ValuesIn(JsonCases),
                         [](const auto& info) { return info.param.Name; });

TEST(CsvHeader, NamesTheColumns) {
  std::istringstream in("\xEF\xBB\xBFsku;name;\"qty\"\n");
  DataOptions options;
  options.Delimiter = "auto";
  EXPECT_EQ(Joined(ReadCsv(in, options)->Columns()), "sku,name,qty");
}

// Text made as it is read: `head`, then rows of `row(n)` for n from 1 (the
// empty string ends them), then `tail`; it tells how many rows it has made.
class Generated : public std::streambuf {
 public:
  Generated(std::string head, std::function<std::string(uint64_t)> row, std::string tail)
      : chunk_(std::move(head)), row_(std::move(row)), tail_(std::move(tail)) {
    setg(chunk_.data(), chunk_.data(), chunk_.data() + chunk_.size());
  }
  uint64_t Made() const { return made_; }

 protected:
  int_type underflow() override {
    chunk_.clear();
    if (!rowsDone_) chunk_ = row_(made_ + 1);
    if (chunk_.empty()) {
      rowsDone_ = true;
      chunk_.swap(tail_);
    } else {
      ++made_;
    }
    if (chunk_.empty()) return traits_type::eof();
    setg(chunk_.data(), chunk_.data(), chunk_.data() + chunk_.size());
    return traits_type::to_int_type(chunk_[0]);
  }

 private:
  std::string chunk_;
  std::function<std::string(uint64_t)> row_;
  std::string tail_;
  uint64_t made_ = 0;
  bool rowsDone_ = false;
};

std::string Padded(uint64_t n) {
  std::string text = std::to_string(n);
  return std::string(7 - text.size(), '0') + text;
}

constexpr uint64_t ManyRows = 200000;
constexpr size_t RowBytes = 20;  // the least a generated row takes
// What a source may have read beyond the row it gives: its chunks.
constexpr size_t ReadAhead = size_t{128} << 10;

// Reads the rows as they are made, checking each, and that the source never
// ran further ahead of the row it gave than its read-ahead.
void ReadMany(RowSource& source, const Generated& made, bool json) {
  Row row;
  uint64_t n = 0;
  while (source.Next(row)) {
    ++n;
    ASSERT_EQ(row.Number, n);
    ASSERT_EQ(row.Line, json ? 0 : n + 1);
    ASSERT_EQ(row.Fields.size(), 2u);
    ASSERT_EQ(row.Fields[0].second, Padded(n));
    ASSERT_EQ(row.Fields[1].second, "row " + Padded(n));
    ASSERT_LE((made.Made() - n) * RowBytes, ReadAhead);
  }
  EXPECT_EQ(n, ManyRows);
}

TEST(DataStreaming, ManyCsvRowsReadAsTheyCome) {
  Generated made(
      "n,text\n", [](uint64_t n) { return n > ManyRows ? "" : Padded(n) + ",\"row " + Padded(n) + "\"\n"; }, "\n");
  std::istream in(&made);
  ReadMany(*ReadCsv(in, {}), made, false);
}

TEST(DataStreaming, ManyJsonRowsReadAsTheyCome) {
  Generated made(
      "[",
      [](uint64_t n) {
        return n > ManyRows
                   ? ""
                   : std::string(n > 1 ? "," : " ") + "{\"n\":\"" + Padded(n) + "\",\"t\":\"row " + Padded(n) + "\"}";
      },
      "]");
  std::istream in(&made);
  ReadMany(*ReadJson(in, {}), made, true);
}

// Data that never ends (a field, a row): refused at its bound, not held.
TEST(DataStreaming, EndlessDataIsRefusedAtItsBound) {
  const auto endless = [](std::string text) { return [text](uint64_t) { return text; }; };
  DataOptions options;
  options.MaxField = size_t{64} << 10;
  options.MaxRow = size_t{1} << 20;
  options.Name = "data";
  struct Endless {
    const char* Head;
    const char* Repeated;
    bool Json;
    const char* Error;
  } const cases[] = {
      {"a,b\n1,2\n3,", "xxxxxxxx", false, "data, line 3: field 2 is over 64 KiB"},
      {"a,b\n1,2\n3,\"", "x\nx\n", false, "data, line 3: field 2 is over 64 KiB"},
      {"a\n1\n", ",,,,,,,,", false, "data, line 3: a row over 1 MiB"},
      {"[{\"a\":1},\n{\"a\":\"", "xxxxxxxx", true, "data, row 2 (line 2): the row's object is over 1 MiB"},
  };
  for (const Endless& c : cases) {
    Generated made(c.Head, endless(c.Repeated), "");
    std::istream in(&made);
    try {
      auto source = c.Json ? ReadJson(in, options) : ReadCsv(in, options);
      Row row;
      while (source->Next(row)) {
      }
      ADD_FAILURE() << c.Head << ": read to an end";
    } catch (const DataError& error) {
      EXPECT_EQ(error.what(), std::string(c.Error));
    }
  }
}

// OpenData: the format by the extension, else by the first byte.
TEST(OpenData, TakesTheFormatFromTheNameOrTheBytes) {
  testing::TempFolder folder("morvel-batch-data");
  struct File {
    const char* Name;
    const char* Text;
    const char* Format;
    const char* Rows;
  } const files[] = {
      {"a.csv", "a;b;c,d\n1;2;3,4\n", "", "1@2 a;b;c=1;2;3|d=4"},
      {"a.CSV", "a;b;c,d\n1;2;3,4\n", "", "1@2 a;b;c=1;2;3|d=4"},
      {"b.dat", "a;b;c,d\n1;2;3,4\n", "", "1@2 a=1|b=2|c,d=3,4"},
      {"a.tsv", "a\tb\n1,2\t3\n", "", "1@2 a=1,2|b=3"},
      {"a.json", "[{\"a\":1}]", "", "1@0 a=1"},
      {"a.txt", " \n [{\"a\":1}]", "", "1@0 a=1"},
      {"a.dat", "a;b\n1;2\n", "", "1@2 a=1|b=2"},
      {"noname", "\xEF\xBB\xBF[{\"a\":1}]", "", "1@0 a=1"},
      {"b.txt", "a\tb\n1\t2\n", "tsv", "1@2 a=1|b=2"},
      {"b.json", "a,b\n1,2\n", "csv", "1@2 a=1|b=2"},
      {"c.txt", "[]", "xml", "error: the data format \"xml\" is none of csv, tsv, json"},
  };
  for (const File& file : files) {
    const std::string path = folder.Write(file.Name, file.Text);
    DataOptions options;
    options.Format = file.Format;
    options.Name = file.Name;
    std::string got;
    try {
      got = Rows(*OpenData(path, options));
    } catch (const DataError& error) {
      got = std::string("error: ") + error.what();
    }
    EXPECT_EQ(got, file.Rows) << file.Name;
  }
  EXPECT_THROW(OpenData((folder / "missing.csv").string(), {}), DataError);
  EXPECT_THROW(OpenData(folder.Path().string(), {}), DataError);
}

}  // namespace
}  // namespace morvel::batch
