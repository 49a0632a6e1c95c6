// CSV as RFC 4180 writes it (section 2): a header, then records of as many
// fields; a field that holds the delimiter, a quote or a line end is quoted,
// its quotes doubled. Read a byte at a time from the source's chunks, one
// record held at once; a field over its bound is refused where it starts.
#include <array>
#include <limits>
#include <unordered_map>

#include "core/utf8.h"
#include "hosts/batch/DataInput.h"

namespace morvel::batch::data {
namespace {

constexpr std::array<char, 4> Delimiters = {',', ';', '\t', '|'};

class CsvSource : public RowSource {
 public:
  CsvSource(std::unique_ptr<Input> input, char delimiter, const DataOptions& options)
      : input_(std::move(input)), bytes_(input_->Data), maxField_(options.MaxField), maxRow_(options.MaxRow) {
    bytes_.SkipByteOrderMark();
    delimiter_ = delimiter != 0 ? delimiter : Sniff();
    ReadHeader();
  }

  bool Next(Row& row) override;
  const std::vector<std::string>& Columns() const override { return columns_; }
  const std::string& Name() const override { return input_->Name; }

 private:
  char Sniff();
  void ReadHeader();
  bool ReadRecord(size_t keep);
  int ReadPlain(std::string& field, int c);
  int ReadQuoted(std::string& field);
  void Append(std::string& field, int c);
  void CheckUtf8(const std::string& field) const;
  void Emit(Row& row, size_t fields, uint64_t line);
  [[noreturn]] void Refuse(uint64_t line, const std::string& what) const {
    throw DataError(input_->Name + ", line " + std::to_string(line) + ": " + what);
  }

  std::unique_ptr<Input> input_;
  Bytes& bytes_;
  size_t maxField_;
  size_t maxRow_;
  char delimiter_ = ',';
  std::vector<std::string> columns_;

  // The record being read: its fields (those past the header's count are
  // counted in scratch_, not kept), where it and its field began.
  std::vector<std::string> values_;
  std::string scratch_;
  size_t count_ = 0;
  size_t rowBytes_ = 0;
  bool blank_ = false;
  uint64_t line_ = 1;
  uint64_t recordLine_ = 0;
  uint64_t fieldLine_ = 0;

  uint64_t rows_ = 0;
  // Blank lines not yet known to be the data's end: how many, the first's
  // line; and whether values_ holds the record read after them.
  uint64_t blanks_ = 0;
  uint64_t firstBlank_ = 0;
  bool held_ = false;
};

// The candidate the header line holds most of outside quotes, the first of
// them on a tie, ',' when it holds none.
char CsvSource::Sniff() {
  std::array<size_t, Delimiters.size()> counts{};
  bool quoted = false;
  for (size_t i = 0; i < maxRow_; ++i) {
    const int c = bytes_.Peek(i);
    if (c < 0 || (!quoted && (c == '\r' || c == '\n'))) break;
    if (c == '"') quoted = !quoted;
    for (size_t k = 0; k < Delimiters.size() && !quoted; ++k)
      if (c == Delimiters[k]) ++counts[k];
  }
  size_t best = 0;
  for (size_t k = 1; k < Delimiters.size(); ++k)
    if (counts[k] > counts[best]) best = k;
  return Delimiters[best];
}

void CsvSource::ReadHeader() {
  if (!ReadRecord(std::numeric_limits<size_t>::max())) Refuse(1, "no header row: the data is empty");
  if (blank_) Refuse(recordLine_, "the header row is blank");
  columns_.assign(values_.begin(), values_.begin() + static_cast<std::ptrdiff_t>(count_));
  std::unordered_map<std::string_view, size_t> seen;
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (columns_[i].empty()) Refuse(recordLine_, "column " + std::to_string(i + 1) + " of the header has no name");
    const auto [at, added] = seen.emplace(columns_[i], i);
    if (!added)
      Refuse(recordLine_, "the header names \"" + columns_[i] + "\" twice (columns " + std::to_string(at->second + 1) +
                              " and " + std::to_string(i + 1) + ")");
  }
}

bool CsvSource::Next(Row& row) {
  const size_t columns = columns_.size();
  for (;;) {
    if (held_ && blanks_ > 0) {  // one column: each blank line was a row of one empty field
      row.Number = ++rows_;
      row.Line = firstBlank_++;
      row.Fields.resize(1);
      row.Fields[0].first = columns_[0];
      row.Fields[0].second.clear();
      --blanks_;
      return true;
    }
    if (held_) {
      held_ = false;
      Emit(row, count_, recordLine_);
      return true;
    }
    if (!ReadRecord(columns)) return false;  // blank lines before the end are no rows
    if (blank_) {
      if (blanks_++ == 0) firstBlank_ = recordLine_;
      continue;
    }
    if (blanks_ > 0 && columns != 1)
      Refuse(firstBlank_, "row " + std::to_string(rows_ + 1) + " is blank, and the header has " +
                              std::to_string(columns) + " fields");
    if (count_ != columns)
      Refuse(recordLine_, "row " + std::to_string(rows_ + blanks_ + 1) + " has " + std::to_string(count_) +
                              (count_ == 1 ? " field" : " fields") + ", the header " + std::to_string(columns));
    held_ = true;
  }
}

void CsvSource::Emit(Row& row, size_t fields, uint64_t line) {
  row.Number = ++rows_;
  row.Line = line;
  row.Fields.resize(fields);
  for (size_t i = 0; i < fields; ++i) {
    if (row.Fields[i].first != columns_[i]) row.Fields[i].first = columns_[i];
    row.Fields[i].second.swap(values_[i]);
  }
}

// One record: its fields into values_ (the first `keep` of them kept),
// their count into count_. False at the end of the data.
bool CsvSource::ReadRecord(size_t keep) {
  int c = bytes_.Get();
  if (c < 0) return false;
  recordLine_ = line_;
  blank_ = c == '\r' || c == '\n';
  count_ = 0;
  rowBytes_ = 0;
  for (;;) {
    if (count_ < keep && values_.size() <= count_) values_.emplace_back();
    std::string& field = count_ < keep ? values_[count_] : scratch_;
    field.clear();
    fieldLine_ = line_;
    c = c == '"' ? ReadQuoted(field) : ReadPlain(field, c);
    CheckUtf8(field);
    ++count_;
    if (c == delimiter_) {
      Append(scratch_, -1);  // the delimiter counts toward the row's bytes
      c = bytes_.Get();
      continue;
    }
    if (c == '\r' && bytes_.Peek() == '\n') bytes_.Get();
    if (c >= 0) ++line_;
    return true;
  }
}

// An unquoted field from `c` on; returns the byte that ends it: the
// delimiter, CR, LF or -1.
int CsvSource::ReadPlain(std::string& field, int c) {
  while (c >= 0 && c != delimiter_ && c != '\r' && c != '\n') {
    if (c == '"')
      Refuse(line_, "a quote inside field " + std::to_string(count_ + 1) +
                        ", which does not start with one (a field with quotes is quoted whole, its quotes doubled)");
    Append(field, c);
    c = bytes_.Get();
  }
  return c;
}

// A quoted field, its opening quote read; returns the byte after the
// closing quote, which must end the field.
int CsvSource::ReadQuoted(std::string& field) {
  for (;;) {
    int c = bytes_.Get();
    if (c < 0) Refuse(fieldLine_, "the quote that opens field " + std::to_string(count_ + 1) + " here is never closed");
    if (c == '"') {
      c = bytes_.Get();
      if (c != '"') {
        if (c >= 0 && c != delimiter_ && c != '\r' && c != '\n')
          Refuse(line_, "field " + std::to_string(count_ + 1) + " goes on after its closing quote");
        return c;
      }
    } else if (c == '\n' || (c == '\r' && bytes_.Peek() != '\n')) {
      ++line_;
    }
    Append(field, c);
  }
}

// Adds a byte to a field (-1: counts one toward the row alone), refusing
// the field or the row past its bound.
void CsvSource::Append(std::string& field, int c) {
  if (++rowBytes_ > maxRow_) Refuse(recordLine_, "a row over " + Size(maxRow_));
  if (c < 0) return;
  if (field.size() >= maxField_)
    Refuse(fieldLine_, "field " + std::to_string(count_ + 1) + " is over " + Size(maxField_));
  field.push_back(static_cast<char>(c));
}

void CsvSource::CheckUtf8(const std::string& field) const {
  uint64_t line = fieldLine_;
  for (size_t i = 0; i < field.size();) {
    const auto c = static_cast<unsigned char>(field[i]);
    if (c < 0x80) {
      if (c == '\n' || (c == '\r' && (i + 1 == field.size() || field[i + 1] != '\n'))) ++line;
      ++i;
      continue;
    }
    const size_t n = core::Utf8SequenceAt(std::string_view(field).substr(i));
    if (n == 0)
      Refuse(line, "field " + std::to_string(count_ + 1) + " is not UTF-8 (byte " + std::to_string(i + 1) + ")");
    i += n;
  }
}

}  // namespace

std::unique_ptr<RowSource> Csv(std::unique_ptr<Input> input, char delimiter, const DataOptions& options) {
  return std::make_unique<CsvSource>(std::move(input), delimiter, options);
}

}  // namespace morvel::batch::data
