// JSON (RFC 8259) arrays of objects, one object at a time. nlohmann::json's
// SAX parser reads a whole text in one call, pushing its events; a source
// is pulled a row at a time. So the array's frame (its brackets and commas)
// is read here, each element's text is cut out by its brackets (minding
// strings), and the SAX parser reads that text into the row: the memory
// held is one object's, whatever the array's length.
#include <nlohmann/json.hpp>

#include <unordered_map>

#include "core/utf8.h"
#include "hosts/batch/DataInput.h"

namespace morvel::batch::data {
namespace {

using Json = nlohmann::json;

class JsonSource : public RowSource {
 public:
  JsonSource(std::unique_ptr<Input> input, const DataOptions& options)
      : input_(std::move(input)), bytes_(input_->Data), maxField_(options.MaxField), maxRow_(options.MaxRow) {
    bytes_.SkipByteOrderMark();
    SkipSpace();
    const int c = bytes_.Get();
    if (c != '[')
      throw DataError(input_->Name + ": not an array of objects (" +
                      (c < 0 ? std::string("the data is empty") : "it starts with " + What(c)) + ")");
  }

  bool Next(Row& row) override;
  const std::vector<std::string>& Columns() const override { return columns_; }
  const std::string& Name() const override { return input_->Name; }

  [[noreturn]] void Refuse(const std::string& what) const {
    throw DataError(input_->Name + ", row " + std::to_string(rows_ + 1) + " (line " + std::to_string(elementLine_) +
                    "): " + what);
  }
  // Adds a key to the row being read, returning its field.
  std::string& Key(Row& row, size_t& fields, std::string& key);
  // The next number's text, as the data writes it.
  const std::string& Number() {
    if (numbersRead_ == numbersUsed_) Refuse("a number out of place");
    return numbers_[numbersRead_++];
  }
  size_t MaxField() const { return maxField_; }

 private:
  static std::string What(int c);
  void SkipSpace();
  void ReadElement();
  void Finish();

  std::unique_ptr<Input> input_;
  Bytes& bytes_;
  size_t maxField_;
  size_t maxRow_;
  uint64_t line_ = 1;
  uint64_t elementLine_ = 1;
  uint64_t rows_ = 0;
  bool done_ = false;

  std::string text_;                  // the element's text
  std::vector<std::string> numbers_;  // its numbers' texts, in order
  size_t numbersUsed_ = 0;
  size_t numbersRead_ = 0;

  std::vector<std::string> columns_;
  std::unordered_map<std::string, size_t> columnIndex_;
  std::vector<uint64_t> lastRow_;  // the row each column was last seen in
};

// The SAX events of one element, into a row: an object of scalars.
class RowReader : public nlohmann::json_sax<Json> {
 public:
  RowReader(JsonSource& source, Row& row) : source_(source), row_(row) {}

  bool null() override { return Value({}); }
  bool boolean(bool value) override { return Value(value ? "true" : "false"); }
  bool number_integer(number_integer_t) override { return Value(source_.Number()); }
  bool number_unsigned(number_unsigned_t) override { return Value(source_.Number()); }
  bool number_float(number_float_t, const string_t&) override { return Value(source_.Number()); }
  bool string(string_t& value) override {
    if (value.size() > source_.MaxField())
      source_.Refuse("the value of \"" + key_ + "\" is over " + Size(source_.MaxField()));
    return Value(value);
  }
  bool binary(binary_t&) override { source_.Refuse("binary data"); }
  bool start_object(std::size_t) override {
    if (depth_++ > 0)
      source_.Refuse("the value of \"" + key_ + "\" is an object; a field holds text, a number, true, false or null");
    return true;
  }
  bool key(string_t& key) override {
    key_ = key;
    value_ = &source_.Key(row_, fields_, key);
    return true;
  }
  bool end_object() override {
    row_.Fields.resize(fields_);
    return true;
  }
  bool start_array(std::size_t) override {
    source_.Refuse("the value of \"" + key_ + "\" is an array; a field holds text, a number, true, false or null");
  }
  bool end_array() override { return true; }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& error) override {
    const std::string what = error.what();
    const size_t colon = what.find(": ");
    source_.Refuse(core::EscapeNonUtf8(colon == std::string::npos ? what : what.substr(colon + 2)));
  }

 private:
  bool Value(std::string_view text) {
    value_->assign(text);
    return true;
  }

  JsonSource& source_;
  Row& row_;
  size_t fields_ = 0;
  int depth_ = 0;
  std::string key_;
  std::string* value_ = nullptr;
};

std::string JsonSource::What(int c) {
  switch (c) {
    case '{': return "an object";
    case '[': return "an array";
    case '"': return "a string";
    case 't':
    case 'f': return "true or false";
    case 'n': return "null";
    default: break;
  }
  if (c == '-' || (c >= '0' && c <= '9')) return "a number";
  if (c >= 0x21 && c < 0x7F) return std::string("'") + static_cast<char>(c) + "'";
  return "byte " + std::to_string(c);
}

void JsonSource::SkipSpace() {
  for (int c = bytes_.Peek(); c == ' ' || c == '\t' || c == '\r' || c == '\n'; c = bytes_.Peek()) {
    if (c == '\n') ++line_;
    bytes_.Get();
  }
}

bool JsonSource::Next(Row& row) {
  if (done_) return false;
  SkipSpace();
  elementLine_ = line_;
  int c = bytes_.Peek();
  if (c == ']') {
    bytes_.Get();
    Finish();
    return false;
  }
  if (rows_ > 0) {
    if (c != ',') Refuse(c < 0 ? "the data ends before the array closes" : "',' or ']' expected, not " + What(c));
    bytes_.Get();
    SkipSpace();
    elementLine_ = line_;
    c = bytes_.Peek();
  }
  if (c < 0) Refuse("the data ends before the array closes");
  if (c != '{') Refuse(What(c) + " where a row's object belongs");
  ReadElement();
  RowReader reader(*this, row);
  row.Number = rows_ + 1;
  row.Line = 0;
  Json::sax_parse(text_, &reader);
  ++rows_;
  return true;
}

// The element's text, from its '{' to its '}', into text_; the texts of its
// numbers (outside strings) into numbers_.
void JsonSource::ReadElement() {
  text_.clear();
  numbersUsed_ = numbersRead_ = 0;
  int depth = 0;
  bool inString = false, escaped = false, inNumber = false;
  for (;;) {
    const int c = bytes_.Get();
    if (c < 0) Refuse("the data ends inside the row's object");
    if (text_.size() >= maxRow_) Refuse("the row's object is over " + Size(maxRow_));
    text_.push_back(static_cast<char>(c));
    if (c == '\n') ++line_;
    if (inString) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
      }
      continue;
    }
    const bool digit = c >= '0' && c <= '9';
    if (inNumber && (digit || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E')) {
      numbers_[numbersUsed_ - 1].push_back(static_cast<char>(c));
      continue;
    }
    inNumber = digit || c == '-';
    if (inNumber) {
      if (numbers_.size() <= numbersUsed_) numbers_.emplace_back();
      numbers_[numbersUsed_++].assign(1, static_cast<char>(c));
    } else if (c == '"') {
      inString = true;
    } else if (c == '{' || c == '[') {
      ++depth;
    } else if ((c == '}' || c == ']') && --depth == 0) {
      return;
    }
  }
}

void JsonSource::Finish() {
  done_ = true;
  SkipSpace();
  if (const int c = bytes_.Peek(); c >= 0)
    throw DataError(input_->Name + ", line " + std::to_string(line_) + ": " + What(c) + " after the array's end");
}

std::string& JsonSource::Key(Row& row, size_t& fields, std::string& key) {
  auto [at, added] = columnIndex_.emplace(key, columns_.size());
  if (added) {
    columns_.push_back(key);
    lastRow_.push_back(0);
  }
  uint64_t& last = lastRow_[at->second];
  if (last == rows_ + 1) Refuse("the object has the key \"" + key + "\" twice");
  last = rows_ + 1;
  if (row.Fields.size() <= fields) row.Fields.emplace_back();
  auto& field = row.Fields[fields++];
  field.first.swap(key);
  return field.second;
}

}  // namespace

std::unique_ptr<RowSource> Json(std::unique_ptr<Input> input, const DataOptions& options) {
  return std::make_unique<JsonSource>(std::move(input), options);
}

}  // namespace morvel::batch::data
