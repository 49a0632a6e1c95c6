// A batch's data, read a row at a time: CSV as RFC 4180 writes it and JSON
// arrays of objects, each streamed in bounded memory, so that a file of a
// million rows is read in the memory of one.
//
//   auto data = OpenData("labels.csv", {});
//   Row row;
//   while (data->Next(row)) ...  // row.Find("sku"), row.Number, row.Line
//
// Everything a source cannot read as rows is a DataError naming the data,
// the line (CSV) or the row (JSON), and what is wrong there.
#pragma once

#include <cstddef>
#include <istream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "hosts/batch/Batch.h"

namespace morvel::batch {

// The rows of a batch's data, in the data's order.
class RowSource {
 public:
  virtual ~RowSource() = default;
  // The next row into `row` (its storage reused); false at the end of the
  // data. Throws DataError.
  virtual bool Next(Row& row) = 0;
  // The columns' names, in order: for CSV its header; for JSON the union of
  // the keys of the rows read so far, in the order first seen (complete
  // once Next has returned false).
  virtual const std::vector<std::string>& Columns() const = 0;
  // The name errors give the data: its path, or "standard input".
  virtual const std::string& Name() const = 0;
};

struct DataOptions {
  // "csv", "tsv" (CSV with tabs) or "json"; empty: by the file name's
  // extension (.csv, .tsv, .json, any case), else by the data's first byte
  // that is not white space ('[': JSON; anything else: CSV).
  std::string Format;
  // CSV's delimiter: ",", ";", "\t" (or "tab"), "|", or "auto": whichever
  // of those the header line holds most of outside quotes (in that order
  // on a tie; "," when it holds none). Empty: "\t" for TSV, "," for a
  // file called .csv, "auto" for CSV found by its bytes.
  std::string Delimiter;
  // A field (a JSON value) longer than this is refused; so is a row (a
  // JSON object's text, a CSV line's fields together) over MaxRow. They
  // bound the memory a source takes, whatever its data.
  size_t MaxField = size_t{1} << 20;
  size_t MaxRow = size_t{16} << 20;
  // The name errors give the data; OpenData: the path, or "standard input".
  std::string Name;
};

// CSV (RFC 4180) from `in`, which must outlive the source. The header row
// names the columns (each named, no name twice); fields may be quoted, with
// "" for a quote and line ends inside; lines end in CR LF, LF or CR; a
// UTF-8 byte order mark at the start is skipped; the text must be UTF-8.
// Every row has as many fields as the header. Blank lines at the end are
// ignored; one between rows is a row of one empty field, refused unless the
// header has one column. Options.Format is not read; Delimiter is.
std::unique_ptr<RowSource> ReadCsv(std::istream& in, const DataOptions& options);

// JSON (RFC 8259) from `in`, which must outlive the source: an array of
// objects, each a row, read one object at a time. A value becomes its
// field's text: a string as it is, a number as the JSON writes it, true and
// false as those words, null as empty. A key missing from a row is no field
// of it; a value that is an object or an array is refused; so is a key
// twice in one object.
std::unique_ptr<RowSource> ReadJson(std::istream& in, const DataOptions& options);

// The data at `path` ("-": standard input), its format as Options.Format
// says. Throws DataError when it cannot be opened.
std::unique_ptr<RowSource> OpenData(const std::string& path, const DataOptions& options);

}  // namespace morvel::batch
