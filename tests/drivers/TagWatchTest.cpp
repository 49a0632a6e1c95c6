// What the control makes of a printer's tag echoes: scripted answers, each
// row a label's echoes as a printer would send them, and the results the
// watch must report. The status answer a late try asks for is the ZPL
// table's own ~HS answer.
#include "drivers/shared/TagWatch.h"

#include <deque>
#include <optional>

#include <gtest/gtest.h>

#include "lang/Status.h"

namespace morvel::drivers {
namespace {

using Heard = platform::Spooler::Heard;

// A printer that says what its script says, a piece a read, and then
// nothing (or closes); asked its status, it answers paused or not.
struct ScriptedPrinter {
  std::deque<std::string> Pieces;
  bool ClosesAtEnd = false;
  bool Paused = false;
  std::vector<std::string> Sent;

  TagLink Link() {
    TagLink link;
    link.Read = [this](std::string& into, TagLink::Clock::time_point) {
      if (Pieces.empty()) return ClosesAtEnd ? Heard::Closed : Heard::Nothing;
      into += Pieces.front();
      Pieces.pop_front();
      return Heard::Bytes;
    };
    link.Send = [this](const std::string& bytes) {
      Sent.push_back(bytes);
      lang::Snapshot s;
      s.State.Paused = Paused;
      Pieces.push_back(lang::zpl::HostStatus(s));
    };
    link.StatusQuery = "~HS\r\n";
    link.StatusFrame = lang::zpl::HostStatusFrame;
    link.ReadWork = [](std::string_view a) { return WorkOf(lang::zpl::ReadHostStatus(a)); };
    return link;
  }
};

struct Expect {
  TagResult::Outcome State;
  uint32_t Tries;
  std::string Epc;
  std::string ReasonHas;
};

struct Row {
  const char* Name;
  std::vector<std::string> Pieces;
  int Copies;
  bool Paused, Closes;
  std::vector<Expect> Results;
  int StatusQueries;
};

using O = TagResult::Outcome;

TEST(TagWatch, EchoesBecomeEachLabelsResult) {
  const std::string asked = "003034257BF7194E4000001A85";
  const std::string written = "RFID:" + asked + "\r\n";
  const Row rows[] = {
      {"written at once", {written}, 1, false, false, {{O::Written, 1, asked, ""}}, 0},
      {"echo in lower case, cut anywhere",
       {"RFI", "D:003034257bf7194e", "4000001a85\r", "\n"},
       1,
       false,
       false,
       {{O::Written, 1, "003034257bf7194e4000001a85", ""}},
       0},
      {"one void, then written", {"RFID:\r\n", written}, 1, false, false, {{O::Written, 2, asked, ""}}, 0},
      {"another answer between echoes is no echo",
       {"EPC[12345678]\r\nRFID:\r\n", "RFID:" + asked + "\n"},
       1,
       false,
       false,
       {{O::Written, 2, asked, ""}},
       0},
      {"what the tag holds is not what was asked: void",
       {"RFID:003034257BF7194E4000001A86\r\n"},
       1,
       false,
       false,
       {{O::Void, 1, "", "dropped the format"}},
       1},
      {"three voids and silence: the format was dropped",
       {"RFID:\r\nRFID:\r\nRFID:\r\n"},
       1,
       false,
       false,
       {{O::Void, 3, "", "failed on 3 labels"}},
       1},
      {"voids and a paused printer: not known yet",
       {"RFID:\r\nRFID:\r\n"},
       1,
       true,
       false,
       {{O::Unknown, 2, "", "stopped"}},
       1},
      {"silence", {}, 1, false, false, {{O::Unknown, 0, "", "said nothing"}}, 0},
      {"the connection ends", {}, 1, false, true, {{O::Unknown, 0, "", "connection"}}, 0},
      {"two copies, the second dropped",
       {written, "RFID:\r\nRFID:\r\n"},
       2,
       false,
       false,
       {{O::Written, 1, asked, ""}, {O::Void, 2, "", "dropped"}},
       1},
      {"three copies, the first dropped: the others never print",
       {"RFID:\r\n"},
       3,
       false,
       false,
       {{O::Void, 1, "", "dropped"}, {O::Void, 0, "", "not printed"}, {O::Void, 0, "", "not printed"}},
       1},
      {"three copies, the printer silent after the first",
       {written},
       3,
       false,
       false,
       {{O::Written, 1, asked, ""}, {O::Unknown, 0, "", "said nothing"}, {O::Unknown, 0, "", "said nothing"}},
       0},
  };
  TagWaits waits{std::chrono::milliseconds(1), std::chrono::milliseconds(1)};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    ScriptedPrinter printer;
    printer.Pieces.assign(row.Pieces.begin(), row.Pieces.end());
    printer.Paused = row.Paused;
    printer.ClosesAtEnd = row.Closes;
    TagWatch watch;
    const auto got = watch.Await(printer.Link(), TagExpectation{"RFID:", asked, row.Copies}, waits);
    ASSERT_EQ(got.size(), row.Results.size());
    for (size_t k = 0; k < got.size(); ++k) {
      SCOPED_TRACE(k);
      EXPECT_EQ(got[k].Label, k + 1);
      EXPECT_EQ(got[k].State, row.Results[k].State) << got[k].Reason;
      EXPECT_EQ(got[k].Tries, row.Results[k].Tries);
      EXPECT_EQ(got[k].Epc, row.Results[k].Epc);
      EXPECT_NE(got[k].Reason.find(row.Results[k].ReasonHas), std::string::npos) << got[k].Reason;
    }
    EXPECT_EQ(printer.Sent.size(), static_cast<size_t>(row.StatusQueries));
  }
}

// A printer still at work on its formats after a void (a slow try) has not
// dropped the label: its try is waited for, and the label written.
TEST(TagWatch, APrinterStillAtWorkIsWaitedFor) {
  ScriptedPrinter printer;
  printer.Pieces = {"RFID:\r\n"};
  TagLink link = printer.Link();
  int asked = 0;
  link.Send = [&](const std::string& bytes) {
    printer.Sent.push_back(bytes);
    lang::Snapshot s;
    s.FormatsInBuffer = ++asked < 3 ? 1 : 0;
    printer.Pieces.push_back(lang::zpl::HostStatus(s));
    if (asked == 2) printer.Pieces.push_back("RFID:00AB\r\n");
  };
  TagWatch watch;
  TagWaits waits{std::chrono::milliseconds(1000), std::chrono::milliseconds(1)};
  auto got = watch.Await(link, TagExpectation{"RFID:", "00AB", 1}, waits);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].State, O::Written) << got[0].Reason;
  EXPECT_EQ(got[0].Tries, 2u);
  EXPECT_EQ(asked, 2);
}

// A late try's echo that comes with the status answer still counts, and the
// next label's echo is left for it.
TEST(TagWatch, ALateTryAndTheNextLabelKeepTheirEchoes) {
  ScriptedPrinter printer;
  printer.Pieces = {"RFID:\r\n"};
  TagLink link = printer.Link();
  auto send = link.Send;
  link.Send = [&](const std::string& bytes) {
    printer.Pieces.push_back("RFID:00AB\r\n");
    send(bytes);
    printer.Pieces.push_back("RFID:00CD\r\n");
  };
  TagWatch watch;
  TagWaits waits{std::chrono::milliseconds(1), std::chrono::milliseconds(1)};
  auto first = watch.Await(link, TagExpectation{"RFID:", "00AB", 1}, waits);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].State, O::Written);
  EXPECT_EQ(first[0].Tries, 2u);
  auto second = watch.Await(link, TagExpectation{"RFID:", "00CD", 1}, waits);
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(second[0].Label, 2u);
  EXPECT_EQ(second[0].State, O::Written);
  EXPECT_EQ(second[0].Tries, 1u);
}

// The RFID odometers (SGD getvar answers, a count in quotes and no line
// end) read before and after a label, whatever echoes come around them;
// what they counted against what the echoes told.
TEST(TagWatch, OdometersAreReadBesideTheEchoesAndComparedWithThem) {
  const std::string asked = "003034257BF7194E4000001A85";
  struct CountRow {
    const char* Name;
    std::deque<std::string> Before, After;  // what the printer says to each pair of queries
    std::vector<std::string> Echoes;
    int Copies;
    std::vector<O> States;
    std::string Note;       // CompareCounts's, empty when they agree
    std::string ReasonHas;  // of the last result
  };
  const CountRow rows[] = {
      {"they agree: a void, then written",
       {"\"10\"", "\"2\""},
       {"\"11\"", "\"3\""},
       {"RFID:\r\n", "RFID:" + asked + "\r\n"},
       1,
       {O::Written},
       "",
       ""},
      {"an echo before the count's answer",
       {"\"10\"", "\"2\""},
       {"RFID:" + asked + "\r\n\"11\"", "\"2\""},
       {},
       1,
       {O::Written},
       "",
       ""},
      {"a late count on the echo's line",
       {"\"10\"", "\"2\""},
       {"\"11\"", "\"2\""},
       {"\"99\"RFID:" + asked + "\r\n"},
       1,
       {O::Written},
       "",
       ""},
      {"no echo, but counted",
       {"\"10\"", "\"2\""},
       {"\"12\"", "\"2\""},
       {},
       2,
       {O::Unknown, O::Unknown},
       "counted 2 written and 0 void, its echoes told 0 written and 0 void",
       "counted 2 written and 0 void"},
      {"odometers reset between", {"\"10\"", "\"2\""}, {"\"0\"", "\"0\""}, {}, 1, {O::Unknown}, "", "said nothing"},
  };
  for (const CountRow& row : rows) {
    SCOPED_TRACE(row.Name);
    // Each odometer query takes the next answer of its pair; other sends
    // (the status query) are answered by the scripted printer.
    std::deque<std::string> answers = row.Before;
    answers.insert(answers.end(), row.After.begin(), row.After.end());
    ScriptedPrinter printer;
    TagLink link = printer.Link();
    const auto status = link.Send;
    link.Send = [&](const std::string& bytes) {
      if (bytes.find("getvar") == std::string::npos) return status(bytes);
      printer.Sent.push_back(bytes);
      printer.Pieces.push_back(answers.front());
      answers.pop_front();
    };
    link.CountQueries = {std::string(lang::zpl::ValidTagsQuery), std::string(lang::zpl::VoidTagsQuery)};
    link.CountFrame = lang::zpl::QuotedFrame;
    link.ReadCount = lang::zpl::ReadQuotedCount;
    TagWatch watch;
    const auto before = watch.Count(link);
    ASSERT_TRUE(before.has_value());
    for (const std::string& echo : row.Echoes) printer.Pieces.push_back(echo);
    TagWaits waits;
    waits.FirstEcho = waits.NextTry = std::chrono::milliseconds(0);
    // The echo that comes with the count's answer is read after it.
    std::vector<TagResult> got;
    std::optional<lang::TagCounts> after;
    if (row.Echoes.empty() && row.States.front() == O::Written) {
      after = watch.Count(link);
      got = watch.Await(link, {"RFID:", asked, row.Copies}, waits);
    } else {
      got = watch.Await(link, {"RFID:", asked, row.Copies}, waits);
      after = watch.Count(link);
    }
    ASSERT_TRUE(after.has_value());
    ASSERT_EQ(got.size(), row.States.size());
    for (size_t k = 0; k < got.size(); ++k) EXPECT_EQ(got[k].State, row.States[k]) << got[k].Reason;
    const std::string note = CompareCounts(*before, *after, got);
    EXPECT_NE(note.find(row.Note), std::string::npos) << note;
    EXPECT_EQ(note.empty(), row.Note.empty()) << note;
    EXPECT_NE(got.back().Reason.find(row.ReasonHas), std::string::npos) << got.back().Reason;
  }
}

// The virtual printer's answers to the odometer queries read back.
TEST(TagWatch, OdometerAnswersHaveTheirShape) {
  lang::Snapshot s;
  s.Tags = {41, 3, 44};
  EXPECT_EQ(lang::zpl::ValidTagsAnswer(s), "\"41\"");
  EXPECT_EQ(lang::zpl::VoidTagsAnswer(s), "\"3\"");
  const struct {
    std::string Answer;
    size_t Frame;
    std::optional<long> Count;
  } rows[] = {
      {"\"41\"", 4, 41},         {"\r\n\"7\"junk", 5, 7},   {"\"?\"", 3, std::nullopt},
      {"\"\"", 2, std::nullopt}, {"\"12", 0, std::nullopt}, {std::string(600, 'x'), 600, std::nullopt},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Answer);
    EXPECT_EQ(lang::zpl::QuotedFrame(row.Answer), row.Frame);
    EXPECT_EQ(lang::zpl::ReadQuotedCount(row.Answer), row.Count);
  }
}

}  // namespace
}  // namespace morvel::drivers
