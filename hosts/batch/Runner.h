// A batch run: the data's rows planned into labels, each label filled into
// the template, journalled sent before its bytes leave and confirmed on the
// printer's word (its echo of the label's token), one label in flight at a
// time, so a crash leaves at most one label uncertain. A resumed run
// re-plans the same labels, checks that each one the journal holds is still
// that label, skips the finished ones and asks what to do with the
// uncertain ones: reprint them or mark them done, never either silently.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "hosts/batch/Data.h"
#include "hosts/batch/Journal.h"
#include "hosts/batch/Labels.h"
#include "hosts/batch/PrinterLink.h"

namespace morvel::batch {

// What to do with the labels a run left uncertain.
enum class UncertainChoice { Ask, Reprint, Done };

struct RunOptions {
  std::string TemplatePath;
  std::string DataPath;  // "-": standard input (a run that cannot be resumed)
  std::string Printer;
  DataOptions Data;
  PlanOptions Plan;
  UncertainChoice Uncertain = UncertainChoice::Ask;
  PrinterLink::Waits Waits;
};

// What a run tells as it goes: one event a change.
struct Event {
  enum class Kind { Started, Printed, Printer, Uncertain, Stopped, Finished };
  Kind What = Kind::Started;
  uint64_t Label = 0, Row = 0;
  uint64_t Done = 0;   // labels finished (confirmed, void, done), this run and before
  uint64_t Total = 0;  // labels in the batch; 0 while unknown (standard input)
  std::string Detail;
};

struct Summary {
  bool Finished = false;  // every label planned and finished
  std::string Stopped;    // why the run stopped short; empty when it did not
  std::string Mode;       // "confirmed" or "sent"
  std::string Why;        // why the printer cannot confirm, in "sent" mode
  uint64_t Confirmed = 0, Void = 0, Uncertain = 0, Done = 0, Total = 0;
  std::vector<uint64_t> UncertainRows, VoidRows;
};

struct RunHooks {
  std::function<void(const Event&)> Told;
  // Asked, label by label, what to do with an uncertain label when the
  // choice is Ask: true to reprint it, false to mark it done. Null: a run
  // that meets uncertain labels stops and says how to choose.
  std::function<bool(const LabelRecord&)> AskUncertain;
  // Set (by Ctrl+C) to stop after the label in flight; set twice, at once.
  const std::atomic<int>* Interrupts = nullptr;
};

// The options a journal keeps, as JSON, and back.
std::string OptionsJson(const RunOptions& options);
RunOptions OptionsFromJson(const BatchInfo& info);
// What a resume compares: a file's bytes (FNV-1a, 64 bits, hexadecimal).
std::string HashOfFile(const std::string& path);

// Begins the batch in a new journal at `journalPath`; throws DataError,
// JournalError, lang::TemplateError or std::runtime_error (the printer)
// before a label is sent when the batch cannot run.
Summary StartBatch(const RunOptions& options, const std::string& journalPath, const RunHooks& hooks);
// Goes on with the batch of the journal at `journalPath`, as its options
// say, with `uncertain` for the labels it left uncertain.
Summary ResumeBatch(const std::string& journalPath, UncertainChoice uncertain, const RunHooks& hooks);

}  // namespace morvel::batch
