// A batch's labels, planned from its rows as they are read.
#include "hosts/batch/Labels.h"

#include <algorithm>

#include "codec/epc/Epc.h"

namespace morvel::batch {
namespace {

bool AllDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A GTIN-8, -12, -13 or -14 as the 14 digits of AI (01), zeros in front
// (GS1 General Specifications, 3.3.2); empty for anything else.
std::string Gtin14(std::string_view gtin) {
  if (!AllDigits(gtin) || (gtin.size() != 8 && gtin.size() != 12 && gtin.size() != 13 && gtin.size() != 14)) return {};
  return std::string(14 - gtin.size(), '0') + std::string(gtin);
}

}  // namespace

const std::string* PlannedLabel::Find(std::string_view name) const {
  for (const auto& [field, value] : Fields)
    if (field == name) return &value;
  return nullptr;
}

LabelPlan::LabelPlan(RowSource& source, PlanOptions options) : source_(source), options_(std::move(options)) {
  const SerialOptions& serial = options_.Serial;
  if (serial.Enabled) {
    if (serial.Step == 0) throw DataError("a serial step of 0 would give every label the same serial");
    if (serial.Width < 0 || serial.Width > 20)
      throw DataError("a serial width of " + std::to_string(serial.Width) + " is not 0-20 digits");
    if (serial.Field.empty()) throw DataError("the serials' field needs a name");
  }
  const EpcOptions& epc = options_.Epc;
  if (!epc.Enabled) return;
  if (epc.Field.empty()) throw DataError("the EPCs' field needs a name");
  if (serial.Enabled && epc.Field == serial.Field)
    throw DataError("the EPCs and the serials cannot share the field \"" + epc.Field + "\"");
  if (epc.Gtin.empty() == epc.GtinColumn.empty())
    throw DataError("an EPC needs a GTIN, or the column that holds each row's: one of the two");
  if (!epc.Gtin.empty()) {
    gtin_ = Gtin14(epc.Gtin);
    if (gtin_.empty()) throw DataError("the GTIN \"" + epc.Gtin + "\" is not 8, 12, 13 or 14 digits");
  }
}

bool LabelPlan::Next(PlannedLabel& label) {
  while (copy_ >= copies_)
    if (!NextRow()) return false;
  ++copy_;
  label.Number = ++labels_;
  label.Row = row_.Number;
  label.Line = row_.Line;
  label.Copy = copy_;
  label.Copies = copies_;
  label.Fields.assign(row_.Fields.begin(), row_.Fields.end());
  const SerialOptions& serial = options_.Serial;
  if (serial.Enabled) label.Fields.emplace_back(serial.Field, Serial(serial.PerRow ? rowsPrinted_ - 1 : labels_ - 1));
  const EpcOptions& epc = options_.Epc;
  if (!epc.Enabled) return true;
  const std::string* number = label.Find(serial.Field);
  if (number == nullptr) Refuse("no field \"" + serial.Field + "\" to take the EPC's serial from");
  const std::string element = "(01)" + gtin_ + "(21)" + *number;
  try {
    label.Fields.emplace_back(epc.Field, epc::Encode(epc.Scheme, epc.Filter, epc.CompanyPrefixLength, element).Hex());
  } catch (const epc::Refused& refused) {
    Refuse("no EPC for " + element + ": " + refused.what());
  }
  return true;
}

// Reads the next row; false at the data's end.
bool LabelPlan::NextRow() {
  if (!source_.Next(row_)) return false;
  ++rowsRead_;
  copy_ = 0;
  copies_ = Quantity();
  const SerialOptions& serial = options_.Serial;
  const EpcOptions& epc = options_.Epc;
  const auto taken = [&](const std::string& name, const char* what) {
    if (row_.Find(name) != nullptr)
      Refuse("the data has a field \"" + name + "\" already, where the " + what + " planned here would go");
  };
  if (serial.Enabled) taken(serial.Field, "serials");
  if (epc.Enabled) taken(epc.Field, "EPCs");
  if (copies_ == 0) return true;
  ++rowsPrinted_;
  if (epc.Enabled && !epc.GtinColumn.empty()) gtin_ = Gtin();
  return true;
}

uint32_t LabelPlan::Quantity() const {
  if (options_.QuantityColumn.empty()) return 1;
  const std::string* text = row_.Find(options_.QuantityColumn);
  if (text == nullptr || text->empty()) return 1;
  bool whole = AllDigits(*text);
  uint64_t quantity = 0;
  for (size_t i = 0; whole && i < text->size(); ++i) {
    quantity = quantity * 10 + static_cast<uint64_t>((*text)[i] - '0');
    whole = quantity <= MaxQuantity;
  }
  if (!whole)
    Refuse("the quantity \"" + *text + "\" (" + options_.QuantityColumn + ") is not a whole number 0-" +
           std::to_string(MaxQuantity));
  return static_cast<uint32_t>(quantity);
}

// The serial of the label (or row) numbered `index` from 0.
std::string LabelPlan::Serial(uint64_t index) const {
  const SerialOptions& serial = options_.Serial;
  uint64_t step = 0, value = 0;
  if (__builtin_mul_overflow(serial.Step, index, &step) || __builtin_add_overflow(serial.Start, step, &value))
    Refuse("its serial, " + std::to_string(serial.Start) + " + " + std::to_string(index) + " x " +
           std::to_string(serial.Step) + ", is over 2^64-1");
  std::string text = std::to_string(value);
  const auto width = static_cast<size_t>(serial.Width);
  if (width > 0 && text.size() > width)
    Refuse("its serial " + text + " does not fit in " + std::to_string(width) + " digits");
  if (text.size() < width) text.insert(0, width - text.size(), '0');
  return text;
}

std::string LabelPlan::Gtin() const {
  const std::string* text = row_.Find(options_.Epc.GtinColumn);
  if (text == nullptr || text->empty()) Refuse("no GTIN in the column \"" + options_.Epc.GtinColumn + "\"");
  std::string gtin = Gtin14(*text);
  if (gtin.empty()) Refuse("the GTIN \"" + *text + "\" is not 8, 12, 13 or 14 digits");
  return gtin;
}

void LabelPlan::Refuse(const std::string& what) const {
  std::string where = source_.Name() + ", row " + std::to_string(row_.Number);
  if (row_.Line > 0) where += " (line " + std::to_string(row_.Line) + ")";
  throw DataError(where + ": " + what);
}

}  // namespace morvel::batch
