// The words a batch is made of, shared by its data sources, its journal and
// its runner: a row of the data, and the states a label goes through.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace morvel::batch {

// Data that cannot be read as a batch's rows; what() names the place
// ("data.csv, line 12: row 11 has 4 fields, the header 5").
class DataError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One row of the data: its fields by name, in the order the data gives them.
struct Row {
  std::vector<std::pair<std::string, std::string>> Fields;
  uint64_t Number = 0;  // the data's rows from 1, the header not counted
  uint64_t Line = 0;    // the source's line the row starts on; 0 where lines mean nothing (JSON)

  // The value of the field named so, or null.
  const std::string* Find(std::string_view name) const;
};

// A label's way through a batch. Planned: the journal holds it, nothing
// sent. Sent: on its way, or printed without the printer's word yet.
// Confirmed: the printer said it printed (its echo, its count). Void: the
// printer voided it (its RFID tag failed). Uncertain: sent before a crash or
// a lost connection, with no word from the printer since; it waits for the
// operator: reprinted, or marked done (Done).
enum class LabelState : uint8_t { Planned, Sent, Confirmed, Void, Uncertain, Done };

// "planned", "sent", "confirmed", "void", "uncertain", "done": the words
// the journal stores and the summaries print.
std::string_view NameOf(LabelState state);
// The state named so, false when no state is.
bool StateNamed(std::string_view name, LabelState& state);

}  // namespace morvel::batch
