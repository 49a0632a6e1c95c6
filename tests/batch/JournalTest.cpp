// The SQLite journal: a batch kept and given back, the label transitions
// it takes and refuses, the progress a resumed run starts from, a writer
// killed in the middle of its commits, two processes taking serial blocks
// from one file, and the files it refuses to read.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "hosts/batch/SqliteJournal.h"
#include "support/TempFolder.h"

namespace morvel::batch {
namespace {

using S = LabelState;

constexpr int64_t Start = 1'700'000'000'000;

BatchInfo SampleInfo() {
  return {"", "shelf.zpl", "sha256:9f86d0", "items.csv", "sha256:e3b0c4", "zebra-1", R"({"copies":2})", BatchMode::Sent,
          0};
}

LabelKey Key(uint64_t number) {
  return {number,
          (number + 1) / 2,
          static_cast<uint32_t>(2 - number % 2),
          "SN" + std::to_string(1000 + number),
          "3034257BF7194E4000001A8" + std::to_string(number % 10),
          "sku=A" + std::to_string(number)};
}

// A process of its own running `body`; exits 0 when it returns, 2 on a throw.
pid_t Child(const std::function<void()>& body) {
  const pid_t pid = fork();
  if (pid == 0) {
    try {
      body();
    } catch (...) {
      _exit(2);
    }
    _exit(0);
  }
  return pid;
}

int ExitOf(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Everything a pipe holds until its writers are gone, as 64-bit numbers.
std::vector<uint64_t> ReadAll(int fd) {
  std::vector<uint64_t> values;
  uint64_t value;
  while (read(fd, &value, sizeof value) == sizeof value) values.push_back(value);
  return values;
}

class JournalTest : public ::testing::Test {
 protected:
  std::unique_ptr<SqliteJournal> Create() { return SqliteJournal::Create(path_, SampleInfo(), clock_); }
  std::unique_ptr<SqliteJournal> Open() { return SqliteJournal::Open(path_, clock_); }

  testing::TempFolder folder_{"morvel-journal"};
  const std::string path_ = (folder_ / "run.journal").string();
  int64_t now_ = Start;
  SqliteJournal::Clock clock_ = [this] { return now_ += 1000; };
};

TEST_F(JournalTest, KeepsTheBatchAndItsLabelsAcrossAnOpen) {
  {
    auto journal = Create();
    EXPECT_EQ(journal->Info().Id.size(), 32u);
    journal->Plan({Key(1), Key(2), Key(3)});
  }
  // The SQLite file format's header (§1.3): its magic, the user version at
  // offset 60 and the application id at 68, both big-endian.
  const std::string bytes = folder_.Read("run.journal");
  ASSERT_GE(bytes.size(), 100u);
  EXPECT_EQ(bytes.substr(0, 16), std::string("SQLite format 3\0", 16));
  EXPECT_EQ(bytes.substr(60, 4), std::string("\0\0\0\1", 4));
  EXPECT_EQ(bytes.substr(68, 4), "MRVJ");

  auto journal = Open();
  BatchInfo expected = SampleInfo();
  expected.Id = journal->Info().Id;
  expected.Created = Start + 1000;
  const auto& info = journal->Info();
  EXPECT_EQ(std::tie(info.Id, info.TemplatePath, info.TemplateHash, info.DataPath, info.DataHash, info.Printer,
                     info.Options, info.Mode, info.Created),
            std::tie(expected.Id, expected.TemplatePath, expected.TemplateHash, expected.DataPath, expected.DataHash,
                     expected.Printer, expected.Options, expected.Mode, expected.Created));
  for (uint64_t n : {1, 2, 3}) {
    auto label = journal->Label(n);
    ASSERT_TRUE(label);
    EXPECT_EQ(label->Key, Key(n));
    EXPECT_EQ(label->State, S::Planned);
    EXPECT_EQ(label->Planned, Start + 2000);
  }
  EXPECT_FALSE(journal->Label(4));
  EXPECT_THROW(SqliteJournal::Create(path_, SampleInfo()), JournalError);
}

// Each state, reached from planned; then every transition out of it.
const std::vector<std::pair<S, std::vector<S>>> Paths = {
    {S::Planned, {}},
    {S::Sent, {S::Sent}},
    {S::Confirmed, {S::Sent, S::Confirmed}},
    {S::Void, {S::Sent, S::Void}},
    {S::Uncertain, {S::Sent, S::Uncertain}},
    {S::Done, {S::Sent, S::Void, S::Done}},
};

struct Transition {
  S From;
  std::vector<S> Allowed;
};
const Transition Transitions[] = {
    {S::Planned, {S::Sent}},       {S::Sent, {S::Confirmed, S::Void, S::Uncertain}},          {S::Confirmed, {}},
    {S::Void, {S::Sent, S::Done}}, {S::Uncertain, {S::Sent, S::Confirmed, S::Void, S::Done}}, {S::Done, {}},
};
const S AllStates[] = {S::Planned, S::Sent, S::Confirmed, S::Void, S::Uncertain, S::Done};

TEST_F(JournalTest, TakesTheTransitionsOfTheTableAndRefusesTheRest) {
  auto journal = Create();
  std::vector<std::tuple<uint64_t, S, S, bool>> cases;  // label, from, to, allowed
  for (const auto& [from, allowed] : Transitions)
    for (S to : AllStates)
      cases.emplace_back(cases.size() + 1, from, to, std::count(allowed.begin(), allowed.end(), to) != 0);
  for (const auto& c : cases) journal->Plan(Key(std::get<0>(c)));
  for (const auto& [n, from, to, allowed] : cases) {
    for (const auto& [state, path] : Paths)
      if (state == from)
        for (S step : path) journal->Move(n, step, "on the way");
    const auto before = journal->History(n).size();
    const std::string name = std::string(NameOf(from)) + " -> " + std::string(NameOf(to));
    try {
      if (to == S::Planned)
        journal->Plan(Key(n));
      else
        journal->Move(n, to, "printer: " + name);
      EXPECT_TRUE(allowed) << name << " was taken";
    } catch (const JournalError& e) {
      EXPECT_FALSE(allowed) << name << ": " << e.what();
      EXPECT_NE(std::string(e.what()).find(path_ + ": label " + std::to_string(n)), std::string::npos) << e.what();
    }
    EXPECT_EQ(journal->Label(n)->State, allowed ? to : from) << name;
    EXPECT_EQ(journal->History(n).size(), before + allowed) << name;
  }
  journal.reset();
  journal = Open();
  for (const auto& [n, from, to, allowed] : cases) EXPECT_EQ(journal->Label(n)->State, allowed ? to : from);
  EXPECT_THROW(journal->Sent(cases.size() + 1), JournalError);  // never planned
  EXPECT_THROW(journal->Sent(0), JournalError);
}

TEST_F(JournalTest, CountsTriesAndKeepsEachChangeWithItsDetailAndTime) {
  auto journal = Create();
  journal->Plan(Key(1));
  journal->Sent(1);
  journal->Void(1, "RFID: tag not written");
  journal->Sent(1);
  auto label = journal->Label(1);
  EXPECT_EQ(label->Tries, 2u);
  EXPECT_EQ(label->Detail, "RFID: tag not written");  // a send keeps the printer's last word
  journal->Confirmed(1, "odometer 1204");
  label = journal->Label(1);
  EXPECT_EQ(label->Detail, "odometer 1204");
  EXPECT_EQ(label->Changed, Start + 6000);
  const auto history = journal->History(1);
  const std::vector<S> states = {S::Planned, S::Sent, S::Void, S::Sent, S::Confirmed};
  ASSERT_EQ(history.size(), states.size());
  for (size_t k = 0; k < states.size(); ++k) {
    EXPECT_EQ(history[k].State, states[k]);
    EXPECT_EQ(history[k].At, Start + 2000 + 1000 * static_cast<int64_t>(k));
  }
  EXPECT_EQ(history[2].Detail, "RFID: tag not written");
}

TEST_F(JournalTest, PlansAndMovesAGroupWholeOrNotAtAll) {
  auto journal = Create();
  journal->Plan({Key(1), Key(2), Key(3)});
  const std::vector<std::vector<uint64_t>> refused = {{3}, {5}, {4, 6}, {4, 4}, {0}};
  for (const auto& numbers : refused) {
    std::vector<LabelKey> keys;
    for (uint64_t n : numbers) keys.push_back(Key(n));
    EXPECT_THROW(journal->Plan(keys), JournalError) << numbers.front();
    EXPECT_EQ(journal->Status().LastPlanned, 3u) << "a refused chunk left a label behind";
  }
  journal->Move({1, 2}, S::Sent, "");
  EXPECT_THROW(journal->Move({3, 1}, S::Sent, ""), JournalError);
  EXPECT_EQ(journal->Label(3)->State, S::Planned) << "a refused group moved a label";
  EXPECT_EQ(journal->Label(1)->Tries, 1u);
}

TEST_F(JournalTest, GivesAResumedRunItsStartingPoint) {
  EXPECT_EQ(Create()->Status().FirstUnfinished, 1u);
  {
    auto journal = Open();
    std::vector<LabelKey> keys;
    for (uint64_t n = 1; n <= 8; ++n) keys.push_back(Key(n));
    journal->Plan(keys);
    const std::vector<std::vector<S>> ways = {{S::Sent, S::Confirmed}, {S::Sent, S::Confirmed},
                                              {S::Sent, S::Void},      {S::Sent},
                                              {S::Sent, S::Uncertain}, {S::Sent}};
    for (uint64_t n = 1; n <= ways.size(); ++n)
      for (S to : ways[n - 1]) journal->Move(n, to, "");
  }
  auto journal = Open();
  auto progress = journal->Status();
  EXPECT_EQ(progress.LastPlanned, 8u);
  EXPECT_EQ(progress.FirstUnfinished, 3u);
  EXPECT_EQ(progress.SentUnconfirmed, (std::vector<uint64_t>{4, 6}));
  EXPECT_EQ(progress.Counts, (std::array<uint64_t, 6>{2, 2, 2, 1, 1, 0}));
  const auto voided = journal->Labels(S::Void);
  ASSERT_EQ(voided.size(), 1u);
  EXPECT_EQ(voided[0].Key, Key(3));

  EXPECT_EQ(journal->SentToUncertain("resumed: no word before the stop"), (std::vector<uint64_t>{4, 6}));
  progress = journal->Status();
  EXPECT_TRUE(progress.SentUnconfirmed.empty());
  EXPECT_EQ(progress.Count(S::Uncertain), 3u);
  EXPECT_EQ(journal->Label(6)->Detail, "resumed: no word before the stop");
  journal->Done(3, "operator: skipped");
  for (uint64_t n : {4, 5, 6}) journal->Done(n, "operator: printed");
  for (uint64_t n : {7, 8}) {
    journal->Sent(n);
    journal->Confirmed(n, "");
  }
  EXPECT_EQ(journal->Status().FirstUnfinished, 9u);
}

// The steps a writer takes, label after label: planned, sent, confirmed;
// every fifth voided once and sent again first.
std::vector<std::pair<uint64_t, S>> Steps(size_t count) {
  std::vector<std::pair<uint64_t, S>> steps;
  for (uint64_t n = 1; steps.size() < count; ++n) {
    steps.emplace_back(n, S::Planned);
    steps.emplace_back(n, S::Sent);
    if (n % 5 == 0) steps.insert(steps.end(), {{n, S::Void}, {n, S::Sent}});
    steps.emplace_back(n, S::Confirmed);
  }
  steps.resize(count);
  return steps;
}

TEST_F(JournalTest, KeepsEveryCommitOfAWriterKilledMidRun) {
  Create().reset();
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  const auto steps = Steps(200000);
  const pid_t writer = Child([&] {
    close(pipe_fds[0]);
    auto journal = SqliteJournal::Open(path_);
    for (uint64_t k = 0; k < steps.size(); ++k) {
      const auto& [n, state] = steps[k];
      if (state == S::Planned)
        journal->Plan(Key(n));
      else
        journal->Move(n, state, "step " + std::to_string(k));
      if (write(pipe_fds[1], &k, sizeof k) != sizeof k) _exit(3);
    }
  });
  close(pipe_fds[1]);
  uint64_t reported = 0, k;
  while (reported < 600 && read(pipe_fds[0], &k, sizeof k) == sizeof k) ++reported;
  kill(writer, SIGKILL);
  EXPECT_EQ(ExitOf(writer), 128 + SIGKILL);
  reported += ReadAll(pipe_fds[0]).size();
  close(pipe_fds[0]);
  ASSERT_GE(reported, 600u);

  // The journal holds the first `reported` steps, or one more: the one
  // committed when the kill came before its report.
  // Each label as its changes, its state and its tries.
  auto journal = Open();
  const uint64_t last = journal->Status().LastPlanned;
  std::vector<std::string> held(last + 2);
  for (uint64_t n = 1; n <= last; ++n) {
    for (const auto& change : journal->History(n)) held[n] += std::string(NameOf(change.State)) + " ";
    const auto label = journal->Label(n);
    held[n] += "| " + std::string(NameOf(label->State)) + " " + std::to_string(label->Tries);
  }
  bool matched = false;
  for (size_t taken : {reported, reported + 1}) {
    std::vector<std::vector<S>> states(last + 2);
    for (size_t s = 0; s < taken; ++s)
      if (steps[s].first <= last + 1) states[steps[s].first].push_back(steps[s].second);
    std::vector<std::string> expected(last + 2);
    for (uint64_t n = 1; n < states.size(); ++n) {
      for (S state : states[n]) expected[n] += std::string(NameOf(state)) + " ";
      if (!states[n].empty())
        expected[n] += "| " + std::string(NameOf(states[n].back())) + " " +
                       std::to_string(std::count(states[n].begin(), states[n].end(), S::Sent));
    }
    matched = matched || expected == held;
  }
  EXPECT_TRUE(matched) << reported << " steps reported, " << last << " labels planned";
}

TEST_F(JournalTest, TwoProcessesNeverTakeTheSameNumbers) {
  Create().reset();
  std::vector<std::pair<pid_t, int>> takers;
  for (int taker = 0; taker < 2; ++taker) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    takers.emplace_back(
        Child([&, taker] {
          close(fds[0]);
          auto journal = SqliteJournal::Open(path_);
          for (uint64_t k = 0; k < 150; ++k) {
            const uint64_t block[2] = {journal->Reserve("serial", 1 + (k + taker) % 7, 5000), 1 + (k + taker) % 7};
            if (write(fds[1], block, sizeof block) != sizeof block) _exit(3);
          }
        }),
        fds[0]);
    close(fds[1]);
  }
  std::vector<std::pair<uint64_t, uint64_t>> blocks;
  for (const auto& [pid, fd] : takers) {
    const auto values = ReadAll(fd);
    close(fd);
    EXPECT_EQ(ExitOf(pid), 0);
    ASSERT_EQ(values.size(), 300u);
    for (size_t k = 0; k < values.size(); k += 2) blocks.emplace_back(values[k], values[k + 1]);
  }
  std::sort(blocks.begin(), blocks.end());
  uint64_t next = 5000;
  for (const auto& [first, count] : blocks) {
    EXPECT_EQ(first, next) << "a gap or an overlap";
    next = first + count;
  }
  EXPECT_EQ(Open()->Reserve("serial", 1, 1), next);
}

TEST_F(JournalTest, ReservesFromEachCounterOnItsOwnAndRefusesWhatWouldOverflow) {
  constexpr uint64_t Max = std::numeric_limits<int64_t>::max();
  auto journal = Create();
  EXPECT_EQ(journal->Reserve("serial", 10, 1000), 1000u);
  EXPECT_EQ(journal->Reserve("epc", 3, 0), 0u);
  EXPECT_EQ(journal->Reserve("serial", 5, 1), 1010u);
  EXPECT_EQ(journal->Reserve("top", 1, Max - 2), Max - 2);
  EXPECT_EQ(journal->Reserve("top", 1, 1), Max - 1);
  const struct {
    const char* Counter;
    uint64_t Count, First;
  } refused[] = {{"serial", 0, 1}, {"top", 1, 1}, {"new", Max, 1}, {"new", 1, Max + 1}};
  for (const auto& r : refused) EXPECT_THROW(journal->Reserve(r.Counter, r.Count, r.First), JournalError) << r.Counter;
  journal.reset();
  EXPECT_EQ(Open()->Reserve("serial", 1, 1), 1015u);
}

// Writes `value` big-endian at `offset` of the file.
void Patch(const std::string& path, long offset, uint32_t value) {
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  const char bytes[4] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
  file.seekp(offset);
  file.write(bytes, 4);
}

TEST_F(JournalTest, RefusesFilesItCannotRead) {
  const struct {
    const char* Name;
    std::function<void(const std::string&)> Make;
    const char* Says;
  } cases[] = {
      {"missing", [](const std::string&) {}, "no such journal"},
      {"empty", [this](const std::string&) { folder_.Write("run.journal"); }, "not a Morvel journal (an empty file)"},
      {"text", [this](const std::string&) { folder_.Write("run.journal", "sku,serial\nA1,1000\n"); },
       "not a Morvel journal (not an SQLite database)"},
      // The SQLite file format (§1.3): the application id at offset 68, the user version at 60.
      {"other",
       [this](const std::string& path) {
         Create().reset();
         Patch(path, 68, 0);
       },
       "another kind"},
      {"newer",
       [this](const std::string& path) {
         Create().reset();
         Patch(path, 60, 2);
       },
       "a journal of schema 2, written by a newer Morvel"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(path_);
    c.Make(path_);
    const std::string before = folder_.Read("run.journal");
    try {
      Open();
      ADD_FAILURE() << c.Name << " was opened";
    } catch (const JournalError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(path_ + ": ", 0), 0u) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.Says), std::string::npos) << c.Name << ": " << e.what();
    }
    EXPECT_EQ(folder_.Read("run.journal"), before) << c.Name << " was changed";
  }
}

}  // namespace
}  // namespace morvel::batch
