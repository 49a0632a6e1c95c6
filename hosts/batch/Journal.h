// A batch's journal: what the batch is (its template, data, printer,
// options), every label it plans and each label's way from planned to
// confirmed, and the counters its serials and EPCs are drawn from. Every
// change is committed before the call returns, so that after a crash, a
// power cut or a pulled cable the journal says exactly which labels the
// printer confirmed, which ones left without a word (uncertain), and where
// to go on; no label is printed twice, none is skipped.
//
// Journal is the interface a runner works with; SqliteJournal.h is the
// journal of one station in one file. A journal object is used from one
// thread; several processes may share the file behind it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "hosts/batch/Batch.h"

namespace morvel::batch {

// A journal that cannot be created, opened, read or changed, or a change the
// journal refuses (a confirmed label sent again). what() names the journal
// and what failed: "run.journal: label 17 is confirmed; it cannot become
// sent".
class JournalError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What the printer's word means for a batch. Confirmed: the printer says
// each label printed (its echo, its counts). Sent: the printer cannot say;
// a label is confirmed once its bytes have left whole, and the journal's
// detail says so.
enum class BatchMode : uint8_t { Confirmed, Sent };
// "confirmed" and "sent", as the journal stores them.
std::string_view NameOf(BatchMode mode);
bool ModeNamed(std::string_view name, BatchMode& mode);

// What a batch is: what makes a resume safe. The journal stores it when the
// batch begins and gives it back on every open; the runner compares it
// with what it is about to print and refuses a resume that differs.
struct BatchInfo {
  std::string Id;            // the batch's identity; made at creation when empty
  std::string TemplatePath;  //
  std::string TemplateHash;  // of the template's bytes
  std::string DataPath;      //
  std::string DataHash;      // of the data read, or its size and time ("1234@1700000000")
  std::string Printer;       // the printer's name
  std::string Options;       // the run's options as a JSON text
  BatchMode Mode = BatchMode::Confirmed;
  int64_t Created = 0;  // milliseconds since 1970 (UTC); the journal's clock at creation
};

// What makes label N that label: a resumed run checks that its label N
// still has the same row, copy, serial, EPC and fields.
struct LabelKey {
  uint64_t Number = 0;  // the batch's labels from 1, in printing order
  uint64_t Row = 0;     // the data's row (Row::Number)
  uint32_t Copy = 1;    // copies of one row from 1
  std::string Serial;   // empty when the label has none
  std::string Epc;      // the tag's EPC in hex; empty when none
  std::string Fields;   // a short text of the row's fields, or their hash

  bool operator==(const LabelKey& other) const = default;
};

// A label as the journal holds it.
struct LabelRecord {
  LabelKey Key;
  LabelState State = LabelState::Planned;
  uint32_t Tries = 0;   // times sent
  std::string Detail;   // the last change's detail that had one (the printer's reason)
  int64_t Planned = 0;  // when it was planned (milliseconds since 1970)
  int64_t Changed = 0;  // when it last changed state
};

// One change of a label's state, with its detail and time.
struct LabelChange {
  LabelState State = LabelState::Planned;
  std::string Detail;
  int64_t At = 0;
};

// What a resumed run needs to know.
struct Progress {
  uint64_t LastPlanned = 0;               // the highest label number planned; 0 when none
  uint64_t FirstUnfinished = 1;           // the lowest label neither confirmed nor done (LastPlanned + 1 when all are)
  std::vector<uint64_t> SentUnconfirmed;  // sent with no word from the printer, in order
  std::array<uint64_t, 6> Counts{};       // labels in each state, indexed by LabelState

  uint64_t Count(LabelState state) const { return Counts[static_cast<size_t>(state)]; }
};

// Whether a label may go from one state to the other. Planned → sent;
// sent → confirmed, void or uncertain; void or uncertain → sent again (a
// reprint); uncertain → confirmed or void (the printer's word came after
// all); void or uncertain → done (the operator's choice). Confirmed and done
// are final: a label confirmed twice is a defect.
bool MayMove(LabelState from, LabelState to);

class Journal {
 public:
  virtual ~Journal() = default;

  // The batch, as stored when it began.
  virtual const BatchInfo& Info() const = 0;
  // The journal's place, for messages (a file's path).
  virtual const std::string& Where() const = 0;

  // Plans labels, numbered on from the last one planned (the first is
  // LastPlanned() + 1, the rest follow without a gap): all in one commit.
  virtual void Plan(const std::vector<LabelKey>& labels) = 0;
  void Plan(const LabelKey& label) { Plan(std::vector<LabelKey>{label}); }

  // The transitions, each committed before it returns; a transition MayMove
  // refuses throws JournalError and changes nothing. A runner marks a label
  // sent before its bytes leave, confirmed as soon as the printer says so.
  void Sent(uint64_t number) { Move(number, LabelState::Sent, {}); }
  void Confirmed(uint64_t number, std::string_view detail) { Move(number, LabelState::Confirmed, detail); }
  void Void(uint64_t number, std::string_view detail) { Move(number, LabelState::Void, detail); }
  void Uncertain(uint64_t number, std::string_view detail) { Move(number, LabelState::Uncertain, detail); }
  void Done(uint64_t number, std::string_view detail) { Move(number, LabelState::Done, detail); }
  // Moves label `number` to `to` with `detail` (kept unless empty); sent
  // counts a try.
  void Move(uint64_t number, LabelState to, std::string_view detail) {
    Move(std::vector<uint64_t>{number}, to, detail);
  }
  // Moves the labels together, in one commit: all of them, or none when
  // one may not move. A run that sends several labels at once marks them
  // sent in one commit (one disk flush) before their bytes leave.
  virtual void Move(const std::vector<uint64_t>& numbers, LabelState to, std::string_view detail) = 0;
  // Every label sent without a word becomes uncertain, in one commit (a
  // resumed run's first step); returns their numbers.
  virtual std::vector<uint64_t> SentToUncertain(std::string_view detail) = 0;

  // The label numbered so; nothing when it is not planned.
  virtual std::optional<LabelRecord> Label(uint64_t number) = 0;
  // The labels in `state`, in order (the void and uncertain ones for a
  // summary).
  virtual std::vector<LabelRecord> Labels(LabelState state) = 0;
  // Label `number`'s changes from its planning on.
  virtual std::vector<LabelChange> History(uint64_t number) = 0;
  // Where the batch stands: what a resumed run starts from.
  virtual Progress Status() = 0;

  // Takes a block of `count` numbers from the counter named so and returns
  // the first; no two blocks of one counter ever overlap, whichever
  // process takes them. A counter's first block starts at `first` (later
  // calls' `first` is not looked at); later blocks follow the last one
  // taken.
  virtual uint64_t Reserve(std::string_view counter, uint64_t count, uint64_t first) = 0;
};

}  // namespace morvel::batch
