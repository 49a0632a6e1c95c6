// A batch's labels, planned from its rows as they are read: each row's
// copies (its quantity column), their serial numbers, their EPCs. Nothing
// is held but the row at hand, and the plan is a function of the data and
// the options alone: the same data planned again gives the same labels in
// the same order, so a resumed batch finds label N where it left it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "hosts/batch/Batch.h"
#include "hosts/batch/Data.h"

namespace morvel::batch {

// The most copies one row may ask for.
constexpr uint32_t MaxQuantity = 100000;

struct SerialOptions {
  bool Enabled = false;
  uint64_t Start = 1;
  uint64_t Step = 1;  // at least 1
  // The digits a serial is written in, zero-padded; a serial that needs
  // more is refused. 0: as many as it needs.
  int Width = 0;
  // Every copy of a row has the row's serial; else each label its own.
  // Rows of quantity 0 take none.
  bool PerRow = false;
  std::string Field = "serial";
};

// An SGTIN for each label from the GS1 element string (01)GTIN(21)SERIAL:
// the GTIN given, or the row's in GtinColumn; the serial the label's field
// named SerialOptions::Field (the one numbered for it, else the row's). A
// GTIN-8, -12 or -13 is padded to 14 digits with zeros (GS1 General
// Specifications, 3.3.2); the codec checks its check digit.
struct EpcOptions {
  bool Enabled = false;
  std::string Scheme = "SGTIN-96";
  int Filter = 0;
  int CompanyPrefixLength = 0;
  std::string Gtin;
  std::string GtinColumn;
  std::string Field = "epc";
};

struct PlanOptions {
  // The column that tells a row's copies (0-100000; missing or empty: 1).
  // Empty: one copy of each row.
  std::string QuantityColumn;
  SerialOptions Serial;
  EpcOptions Epc;
};

// One label of the plan.
struct PlannedLabel {
  uint64_t Number = 0;  // in the batch, from 1
  uint64_t Row = 0;     // the data's row it is from (Row::Number)
  uint64_t Line = 0;    // the line that row starts on (0 for JSON)
  uint32_t Copy = 0;    // its copy of the row, 1..Copies
  uint32_t Copies = 0;  // the row's quantity
  // The row's fields, then the serial and the EPC where planned.
  std::vector<std::pair<std::string, std::string>> Fields;

  const std::string* Find(std::string_view name) const;
  bool operator==(const PlannedLabel& other) const = default;
};

class LabelPlan {
 public:
  // Throws DataError for options that cannot make a plan.
  LabelPlan(RowSource& source, PlanOptions options);

  // The next label into `label` (its storage reused), reading rows as
  // needed; false after the last. Throws DataError naming the row.
  bool Next(PlannedLabel& label);

  uint64_t RowsRead() const { return rowsRead_; }
  uint64_t LabelsPlanned() const { return labels_; }

 private:
  bool NextRow();
  uint32_t Quantity() const;
  std::string Serial(uint64_t index) const;
  std::string Gtin() const;
  [[noreturn]] void Refuse(const std::string& what) const;

  RowSource& source_;
  PlanOptions options_;
  Row row_;
  std::string gtin_;  // the row's GTIN-14, where EPCs are planned
  uint32_t copies_ = 0;
  uint32_t copy_ = 0;
  uint64_t rowsRead_ = 0;
  uint64_t rowsPrinted_ = 0;  // rows of at least one copy
  uint64_t labels_ = 0;
};

}  // namespace morvel::batch
