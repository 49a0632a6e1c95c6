// The journal of one station in one SQLite file.
//
// Durability: the file is in WAL mode with synchronous=FULL. A commit
// appends the changed pages to the write-ahead log and fsyncs the log before
// it returns, so a label marked sent or confirmed is on the disk when Move
// returns and stays there through a power cut; a commit cut short is not
// one (its frames lack the commit record and are ignored on the next
// open). WAL=NORMAL would skip that fsync and could lose the last commits
// on a power cut; journal_mode=DELETE with FULL is as safe but writes and
// fsyncs a rollback journal, the database and the folder on each commit,
// where WAL fsyncs the log alone. WAL needs the file on a local disk (its
// -shm index is shared memory): a journal on a network share is not
// supported.
#include "hosts/batch/SqliteJournal.h"

#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <limits>
#include <optional>
#include <random>
#include <utility>

#include "hosts/batch/Sqlite.h"

namespace morvel::batch {
namespace {

using sqlite::Scoped;
using sqlite::Statement;

constexpr uint64_t Largest = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());

// Each statement once; `state` texts are NameOf's words, so that an
// operator reading the file with sqlite3 reads the summaries' words.
constexpr const char* SchemaSql = R"(
CREATE TABLE batch (
  id TEXT NOT NULL, template_path TEXT NOT NULL, template_hash TEXT NOT NULL,
  data_path TEXT NOT NULL, data_hash TEXT NOT NULL, printer TEXT NOT NULL,
  options TEXT NOT NULL, mode TEXT NOT NULL CHECK (mode IN ('confirmed', 'sent')), created INTEGER NOT NULL);
CREATE TABLE labels (
  number INTEGER PRIMARY KEY, data_row INTEGER NOT NULL, copy INTEGER NOT NULL,
  serial TEXT NOT NULL, epc TEXT NOT NULL, fields TEXT NOT NULL,
  state TEXT NOT NULL CHECK (state IN ('planned', 'sent', 'confirmed', 'void', 'uncertain', 'done')),
  tries INTEGER NOT NULL, detail TEXT NOT NULL, planned INTEGER NOT NULL, changed INTEGER NOT NULL);
CREATE INDEX labels_by_state ON labels (state, number);
CREATE TABLE changes (label INTEGER NOT NULL, state TEXT NOT NULL, detail TEXT NOT NULL, at INTEGER NOT NULL);
CREATE INDEX changes_by_label ON changes (label);
CREATE TABLE counters (name TEXT PRIMARY KEY, next INTEGER NOT NULL);
CREATE TABLE blocks (counter TEXT NOT NULL, first INTEGER NOT NULL, count INTEGER NOT NULL, at INTEGER NOT NULL);
)";

constexpr const char* LabelColumns =
    "number, data_row, copy, serial, epc, fields, state, tries, detail, planned, changed";

int64_t SystemMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string NewId() {
  std::random_device random;
  static constexpr char Hex[] = "0123456789abcdef";
  std::string id;
  for (int k = 0; k < 32; ++k) id += Hex[random() & 15];
  return id;
}

std::string Word(LabelState state) { return std::string(NameOf(state)); }

// The statements, prepared once when the journal opens and reused for
// every change.
struct Statements {
  explicit Statements(sqlite::Connection& db)
      : begin(db, "BEGIN IMMEDIATE"),
        beginRead(db, "BEGIN"),
        commit(db, "COMMIT"),
        rollback(db, "ROLLBACK"),
        lastPlanned(db, "SELECT coalesce(max(number), 0) FROM labels"),
        insertLabel(db,
                    "INSERT INTO labels (number, data_row, copy, serial, epc, fields, state, tries, detail, planned, "
                    "changed) VALUES (?1, ?2, ?3, ?4, ?5, ?6, 'planned', 0, '', ?7, ?7)"),
        stateOf(db, "SELECT state FROM labels WHERE number = ?1"),
        update(db,
               "UPDATE labels SET state = ?2, tries = tries + ?3, detail = iif(?4 = '', detail, ?4), changed = ?5 "
               "WHERE number = ?1"),
        insertChange(db, "INSERT INTO changes (label, state, detail, at) VALUES (?1, ?2, ?3, ?4)"),
        label(db, (std::string("SELECT ") + LabelColumns + " FROM labels WHERE number = ?1").c_str()),
        labelsIn(db, (std::string("SELECT ") + LabelColumns + " FROM labels WHERE state = ?1 ORDER BY number").c_str()),
        numbersIn(db, "SELECT number FROM labels WHERE state = ?1 ORDER BY number"),
        history(db, "SELECT state, detail, at FROM changes WHERE label = ?1 ORDER BY rowid"),
        counts(db, "SELECT state, count(*) FROM labels GROUP BY state"),
        firstUnfinished(db, "SELECT min(number) FROM labels WHERE state NOT IN ('confirmed', 'done')"),
        counterNext(db, "SELECT next FROM counters WHERE name = ?1"),
        counterSet(db, "INSERT INTO counters (name, next) VALUES (?1, ?2) ON CONFLICT (name) DO UPDATE SET next = ?2"),
        insertBlock(db, "INSERT INTO blocks (counter, first, count, at) VALUES (?1, ?2, ?3, ?4)") {}

  Statement begin, beginRead, commit, rollback;
  Statement lastPlanned, insertLabel, stateOf, update, insertChange;
  Statement label, labelsIn, numbersIn, history, counts, firstUnfinished;
  Statement counterNext, counterSet, insertBlock;

  sqlite::Transaction Write() { return sqlite::Transaction(begin, commit, rollback); }
  sqlite::Transaction Read() { return sqlite::Transaction(beginRead, commit, rollback); }
};

}  // namespace

struct SqliteJournal::Store {
  Store(const std::string& path, bool create) : db(path, create) { sqlite3_busy_timeout(db.Handle(), BusyTimeout); }
  // WAL and synchronous=FULL (at the top of this file); set on each open,
  // once the file is known to be a journal (a pragma would change another
  // application's database).
  void Durable() {
    db.Text("PRAGMA journal_mode = WAL");
    db.Execute("PRAGMA synchronous = FULL");
  }

  sqlite::Connection db;
  std::optional<Statements> st;
};

template <typename Work>
auto SqliteJournal::Guarded(const std::string& what, Work&& work) -> decltype(work()) {
  try {
    return work();
  } catch (const sqlite::SqliteFailure& failure) {
    throw JournalError(path_ + ": " + what + ": " + failure.what());
  }
}

SqliteJournal::SqliteJournal(std::string path, Clock clock)
    : path_(std::move(path)), clock_(clock ? std::move(clock) : Clock(SystemMilliseconds)) {}

SqliteJournal::~SqliteJournal() = default;

std::unique_ptr<SqliteJournal> SqliteJournal::Create(const std::string& path, BatchInfo info, Clock clock) {
  std::error_code error;
  if (std::filesystem::exists(path, error))
    throw JournalError(path + ": the file exists already; a new batch's journal is a new file");
  std::unique_ptr<SqliteJournal> journal(new SqliteJournal(path, std::move(clock)));
  if (info.Id.empty()) info.Id = NewId();
  info.Created = journal->clock_();
  journal->Guarded("cannot create the journal", [&] {
    auto& store = *(journal->store_ = std::make_unique<Store>(path, true));
    Statement begin(store.db, "BEGIN IMMEDIATE"), commit(store.db, "COMMIT"), rollback(store.db, "ROLLBACK");
    sqlite::Transaction transaction(begin, commit, rollback);
    // Another process may have made the file since the look above.
    if (store.db.Number("SELECT count(*) FROM sqlite_schema") != 0)
      throw JournalError(path + ": the file exists already; a new batch's journal is a new file");
    store.db.Execute(SchemaSql);
    Statement insert(store.db,
                     "INSERT INTO batch (id, template_path, template_hash, data_path, data_hash, printer, options, "
                     "mode, created) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
    insert.Bind(1, info.Id).Bind(2, info.TemplatePath).Bind(3, info.TemplateHash).Bind(4, info.DataPath);
    insert.Bind(5, info.DataHash).Bind(6, info.Printer).Bind(7, info.Options).Bind(8, NameOf(info.Mode));
    insert.Bind(9, info.Created).Run();
    store.db.Execute(("PRAGMA application_id = " + std::to_string(ApplicationId) +
                      "; PRAGMA user_version = " + std::to_string(Schema))
                         .c_str());
    transaction.Commit();
    // WAL once the file is ours: a file another process made meanwhile is
    // left as it was.
    store.Durable();
    store.st.emplace(store.db);
  });
  journal->info_ = std::move(info);
  return journal;
}

std::unique_ptr<SqliteJournal> SqliteJournal::Open(const std::string& path, Clock clock) {
  std::error_code error;
  if (!std::filesystem::exists(path, error)) throw JournalError(path + ": no such journal");
  // SQLite takes an empty file for an empty database; it is no journal.
  if (std::filesystem::file_size(path, error) == 0 && !error)
    throw JournalError(path + ": not a Morvel journal (an empty file)");
  std::unique_ptr<SqliteJournal> journal(new SqliteJournal(path, std::move(clock)));
  auto& store = *(journal->store_ = journal->Guarded("cannot open the journal",
                                                     [&] { return std::make_unique<Store>(path, false); }));
  int64_t id = 0, version = 0;
  try {
    id = store.db.Number("PRAGMA application_id");
    version = store.db.Number("PRAGMA user_version");
  } catch (const sqlite::SqliteFailure& failure) {
    if (failure.Code() != SQLITE_NOTADB) throw JournalError(path + ": cannot read the journal: " + failure.what());
    throw JournalError(path + ": not a Morvel journal (not an SQLite database)");
  }
  if (id != ApplicationId) throw JournalError(path + ": not a Morvel journal (an SQLite database of another kind)");
  if (version > Schema)
    throw JournalError(path + ": a journal of schema " + std::to_string(version) + ", written by a newer Morvel; " +
                       "this one reads schema " + std::to_string(Schema) + " and older");
  if (version < 1) throw JournalError(path + ": not a Morvel journal (no schema)");
  journal->Guarded("cannot open the journal", [&] {
    store.Durable();
    Statement batch(store.db,
                    "SELECT id, template_path, template_hash, data_path, data_hash, printer, options, mode, created "
                    "FROM batch");
    if (!batch.Step()) throw JournalError(path + ": the journal holds no batch");
    auto& info = journal->info_;
    info = {batch.Text(0), batch.Text(1), batch.Text(2),        batch.Text(3), batch.Text(4),
            batch.Text(5), batch.Text(6), BatchMode::Confirmed, batch.Int(8)};
    if (!ModeNamed(batch.Text(7), info.Mode))
      throw JournalError(path + ": the batch's mode '" + batch.Text(7) + "' is none of confirmed, sent");
    store.st.emplace(store.db);
  });
  return journal;
}

void SqliteJournal::CheckPlan(const std::vector<LabelKey>& labels, uint64_t last) const {
  for (size_t k = 0; k < labels.size(); ++k) {
    const auto& key = labels[k];
    if (key.Number != last + 1 + k)
      throw JournalError(path_ + ": label " + std::to_string(key.Number) + " cannot be planned: the next is " +
                         std::to_string(last + 1 + k));
    if (key.Number > Largest || key.Row > Largest)
      throw JournalError(path_ + ": label " + std::to_string(key.Number) + " cannot be planned: its number or " +
                         "row is past the journal's " + std::to_string(Largest));
  }
}

void SqliteJournal::Plan(const std::vector<LabelKey>& labels) {
  if (labels.empty()) return;
  Guarded("cannot plan labels " + std::to_string(labels.front().Number) + " to " + std::to_string(labels.back().Number),
          [&] {
            auto& st = *store_->st;
            auto transaction = st.Write();
            Scoped last(st.lastPlanned);
            last->Step();
            CheckPlan(labels, static_cast<uint64_t>(last->Int(0)));
            const int64_t now = clock_();
            for (const auto& key : labels) {
              st.insertLabel.Bind(1, static_cast<int64_t>(key.Number)).Bind(2, static_cast<int64_t>(key.Row));
              st.insertLabel.Bind(3, static_cast<int64_t>(key.Copy)).Bind(4, key.Serial).Bind(5, key.Epc);
              st.insertLabel.Bind(6, key.Fields).Bind(7, now).Run();
            }
            transaction.Commit();
          });
}

void SqliteJournal::MoveOne(uint64_t number, LabelState to, std::string_view detail, int64_t now) {
  auto& st = *store_->st;
  const std::string label = "label " + std::to_string(number);
  LabelState from = LabelState::Planned;
  {
    Scoped state(st.stateOf);
    state->Bind(1, static_cast<int64_t>(number > Largest ? 0 : number));
    if (number == 0 || number > Largest || !state->Step()) throw JournalError(path_ + ": " + label + " is not planned");
    if (!StateNamed(state->Text(0), from))
      throw JournalError(path_ + ": " + label + " has the unknown state '" + state->Text(0) + "'");
  }
  if (from == to) throw JournalError(path_ + ": " + label + " is " + Word(from) + " already");
  if (!MayMove(from, to))
    throw JournalError(path_ + ": " + label + " is " + Word(from) + "; it cannot become " + Word(to));
  st.update.Bind(1, static_cast<int64_t>(number)).Bind(2, NameOf(to)).Bind(3, int64_t{to == LabelState::Sent});
  st.update.Bind(4, detail).Bind(5, now).Run();
  st.insertChange.Bind(1, static_cast<int64_t>(number)).Bind(2, NameOf(to)).Bind(3, detail).Bind(4, now).Run();
}

void SqliteJournal::Move(const std::vector<uint64_t>& numbers, LabelState to, std::string_view detail) {
  if (numbers.empty()) return;
  const std::string which = numbers.size() == 1
                                ? "label " + std::to_string(numbers[0])
                                : std::to_string(numbers.size()) + " labels from " + std::to_string(numbers[0]);
  Guarded("cannot mark " + which + " " + Word(to), [&] {
    auto transaction = store_->st->Write();
    const int64_t now = clock_();
    for (uint64_t number : numbers) MoveOne(number, to, detail, now);
    transaction.Commit();
  });
}

std::vector<uint64_t> SqliteJournal::SentToUncertain(std::string_view detail) {
  return Guarded("cannot mark the sent labels uncertain", [&] {
    auto& st = *store_->st;
    auto transaction = st.Write();
    std::vector<uint64_t> numbers;
    {
      Scoped sent(st.numbersIn);
      sent->Bind(1, NameOf(LabelState::Sent));
      while (sent->Step()) numbers.push_back(static_cast<uint64_t>(sent->Int(0)));
    }
    const int64_t now = clock_();
    for (uint64_t number : numbers) MoveOne(number, LabelState::Uncertain, detail, now);
    transaction.Commit();
    return numbers;
  });
}

namespace {

// The row of a statement that selects LabelColumns.
LabelRecord RecordOf(const Statement& row, const std::string& where) {
  LabelRecord record;
  record.Key = {static_cast<uint64_t>(row.Int(0)),
                static_cast<uint64_t>(row.Int(1)),
                static_cast<uint32_t>(row.Int(2)),
                row.Text(3),
                row.Text(4),
                row.Text(5)};
  if (!StateNamed(row.Text(6), record.State))
    throw JournalError(where + ": label " + std::to_string(record.Key.Number) + " has the unknown state '" +
                       row.Text(6) + "'");
  record.Tries = static_cast<uint32_t>(row.Int(7));
  record.Detail = row.Text(8);
  record.Planned = row.Int(9);
  record.Changed = row.Int(10);
  return record;
}

}  // namespace

std::optional<LabelRecord> SqliteJournal::Label(uint64_t number) {
  if (number == 0 || number > Largest) return std::nullopt;
  return Guarded("cannot read label " + std::to_string(number), [&]() -> std::optional<LabelRecord> {
    Scoped label(store_->st->label);
    label->Bind(1, static_cast<int64_t>(number));
    if (!label->Step()) return std::nullopt;
    return RecordOf(*label, path_);
  });
}

std::vector<LabelRecord> SqliteJournal::Labels(LabelState state) {
  return Guarded("cannot read the " + Word(state) + " labels", [&] {
    std::vector<LabelRecord> records;
    Scoped labels(store_->st->labelsIn);
    labels->Bind(1, NameOf(state));
    while (labels->Step()) records.push_back(RecordOf(*labels, path_));
    return records;
  });
}

std::vector<LabelChange> SqliteJournal::History(uint64_t number) {
  auto record = Label(number);
  if (!record) return {};
  return Guarded("cannot read label " + std::to_string(number) + "'s changes", [&] {
    std::vector<LabelChange> changes{{LabelState::Planned, "", record->Planned}};
    Scoped history(store_->st->history);
    history->Bind(1, static_cast<int64_t>(number));
    while (history->Step()) {
      LabelChange change{LabelState::Planned, history->Text(1), history->Int(2)};
      if (!StateNamed(history->Text(0), change.State))
        throw JournalError(path_ + ": label " + std::to_string(number) + " has a change to the unknown state '" +
                           history->Text(0) + "'");
      changes.push_back(std::move(change));
    }
    return changes;
  });
}

Progress SqliteJournal::Status() {
  return Guarded("cannot read the batch's progress", [&] {
    auto& st = *store_->st;
    auto transaction = st.Read();  // one snapshot for all four
    Progress progress;
    {
      Scoped last(st.lastPlanned);
      last->Step();
      progress.LastPlanned = static_cast<uint64_t>(last->Int(0));
    }
    {
      Scoped first(st.firstUnfinished);
      first->Step();
      progress.FirstUnfinished = first->IsNull(0) ? progress.LastPlanned + 1 : static_cast<uint64_t>(first->Int(0));
    }
    {
      Scoped sent(st.numbersIn);
      sent->Bind(1, NameOf(LabelState::Sent));
      while (sent->Step()) progress.SentUnconfirmed.push_back(static_cast<uint64_t>(sent->Int(0)));
    }
    Scoped counts(st.counts);
    LabelState state = LabelState::Planned;
    while (counts->Step())
      if (StateNamed(counts->Text(0), state)) progress.Counts[static_cast<size_t>(state)] = counts->Int(1);
    transaction.Commit();
    return progress;
  });
}

uint64_t SqliteJournal::Reserve(std::string_view counter, uint64_t count, uint64_t first) {
  const std::string what =
      "cannot reserve " + std::to_string(count) + " from the counter '" + std::string(counter) + "'";
  if (count == 0 || count > Largest || first > Largest)
    throw JournalError(path_ + ": " + what + ": a block counts 1 to " + std::to_string(Largest) +
                       " numbers from 0 to " + std::to_string(Largest));
  return Guarded(what, [&] {
    auto& st = *store_->st;
    auto transaction = st.Write();
    uint64_t base = first;
    {
      Scoped next(st.counterNext);
      next->Bind(1, counter);
      if (next->Step()) base = static_cast<uint64_t>(next->Int(0));
    }
    if (base > Largest - count)
      throw JournalError(path_ + ": " + what + ": the counter is at " + std::to_string(base) + "; the block would " +
                         "pass " + std::to_string(Largest));
    const int64_t now = clock_();
    st.counterSet.Bind(1, counter).Bind(2, static_cast<int64_t>(base + count)).Run();
    st.insertBlock.Bind(1, counter).Bind(2, static_cast<int64_t>(base)).Bind(3, static_cast<int64_t>(count));
    st.insertBlock.Bind(4, now).Run();
    transaction.Commit();
    return base;
  });
}

}  // namespace morvel::batch
