// The journal of one station, in one SQLite file ("run.journal"): the
// batch, its labels, each label's changes, the counters and the blocks
// taken from them. Several processes may open the same file; each change
// waits for the others' up to the busy timeout.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "hosts/batch/Journal.h"

namespace morvel::batch {

class SqliteJournal final : public Journal {
 public:
  // The journal's clock: milliseconds since 1970 (UTC). The system's when
  // none is given.
  using Clock = std::function<int64_t()>;
  // The schema this code writes, kept in the file's PRAGMA user_version;
  // a file of a newer schema is refused.
  static constexpr int64_t Schema = 1;
  // The file's PRAGMA application_id: "MRVJ".
  static constexpr int64_t ApplicationId = 0x4D52564A;
  // How long a change waits for another process's (milliseconds).
  static constexpr int BusyTimeout = 10000;

  // Begins a batch's journal at `path`, a file that must not exist yet.
  // `info.Created` is set from the clock and `info.Id` made when empty.
  static std::unique_ptr<SqliteJournal> Create(const std::string& path, BatchInfo info, Clock clock = {});
  // Opens the journal at `path`; refuses a file that is not a Morvel
  // journal and one of a newer schema.
  static std::unique_ptr<SqliteJournal> Open(const std::string& path, Clock clock = {});
  ~SqliteJournal() override;

  const BatchInfo& Info() const override { return info_; }
  const std::string& Where() const override { return path_; }
  void Plan(const std::vector<LabelKey>& labels) override;
  using Journal::Plan;
  void Move(const std::vector<uint64_t>& numbers, LabelState to, std::string_view detail) override;
  using Journal::Move;
  std::vector<uint64_t> SentToUncertain(std::string_view detail) override;
  std::optional<LabelRecord> Label(uint64_t number) override;
  std::vector<LabelRecord> Labels(LabelState state) override;
  std::vector<LabelChange> History(uint64_t number) override;
  Progress Status() override;
  uint64_t Reserve(std::string_view counter, uint64_t count, uint64_t first) override;

 private:
  struct Store;
  SqliteJournal(std::string path, Clock clock);
  // Runs `work`; a failure of SQLite becomes a JournalError naming the file
  // and `what` ("cannot mark label 5 sent: database is locked").
  template <typename Work>
  auto Guarded(const std::string& what, Work&& work) -> decltype(work());
  void CheckPlan(const std::vector<LabelKey>& labels, uint64_t last) const;
  // Moves one label within the caller's transaction.
  void MoveOne(uint64_t number, LabelState to, std::string_view detail, int64_t now);

  std::string path_;
  Clock clock_;
  BatchInfo info_;
  std::unique_ptr<Store> store_;
};

}  // namespace morvel::batch
