// What the control makes of a printer it asks, once a label is sent, for
// its status until the label has printed and then for its last tag write:
// scripted printers, each row the Status 4 answers a printer gives (SBPL's
// own table) and its SOH RU answer, and the results and queries expected.
#include "drivers/shared/TagInquiry.h"

#include <algorithm>
#include <deque>
#include <optional>

#include <gtest/gtest.h>

#include "lang/Status.h"

namespace morvel::drivers {
namespace {

using Heard = platform::Spooler::Heard;
using O = TagResult::Outcome;

enum class Says { Idle, Printing, Paused, Garbled, Silent, Closes };

// A printer that answers each status query with the next of its script
// (the last one again when the script is over), and SOH RU with `Result`.
struct ScriptedPrinter {
  std::deque<Says> Script;
  std::string Result;
  std::vector<std::string> Sent;
  std::string Out;
  bool Closed = false;
  // SOH RB's answers in turn: none, silent.
  std::deque<std::optional<lang::TagCounts>> Counts;

  void Answer(const std::string& query) {
    Sent.push_back(query);
    if (query == lang::sbpl::TagWriteQuery) {
      Out += Result;
      return;
    }
    if (query == lang::sbpl::TagCountsQuery) {
      if (Counts.empty()) return;
      lang::Snapshot s;
      if (Counts.front()) s.Tags = *Counts.front(), Out += lang::sbpl::TagCountsAnswer(s);
      Counts.pop_front();
      return;
    }
    const Says says = Script.front();
    if (Script.size() > 1) Script.pop_front();
    lang::Snapshot s;
    s.FormatsInBuffer = says == Says::Printing || says == Says::Paused ? 1 : 0;
    s.LabelsRemaining = s.FormatsInBuffer;
    s.State.Paused = says == Says::Paused;
    switch (says) {
      case Says::Garbled: Out += std::string("\0\0\0\x05\x05\x02??\x03", 9); break;  // framed, too short
      case Says::Silent: break;
      case Says::Closes: Closed = true; break;
      default: Out += lang::sbpl::Status4(s);
    }
  }

  TagInquiryLink Link() {
    TagInquiryLink link;
    link.Read = [this](std::string& into, TagInquiryLink::Clock::time_point) {
      if (Out.empty()) return Closed ? Heard::Closed : Heard::Nothing;
      // A byte a read: answers come in pieces.
      into += Out.front();
      Out.erase(0, 1);
      return Heard::Bytes;
    };
    link.Send = [this](const std::string& bytes) { Answer(bytes); };
    link.StatusQuery = "\x05";
    link.StatusFrame = lang::sbpl::Status4Frame;
    link.ReadWork = [](std::string_view answer) {
      const lang::Reading r = lang::sbpl::ReadStatus4(answer);
      return !r.Understood             ? PrinterWork::Unclear
             : r.State == "stopped"    ? PrinterWork::Stopped
             : r.State == "processing" ? PrinterWork::Busy
                                       : PrinterWork::Printed;
    };
    link.ResultQuery = lang::sbpl::TagWriteQuery;
    link.ResultFrame = lang::sbpl::TagWriteFrame;
    link.ReadResult = [](std::string_view answer) {
      const lang::TagWriteStatus status = lang::sbpl::ReadTagWrite(answer);
      TagResult r;
      r.State = !status.Understood ? O::Unknown : status.Written ? O::Written : O::Void;
      r.Tid = status.Tid.value_or("");
      return r;
    };
    link.Pause = std::chrono::milliseconds(0);
    link.CountsQuery = lang::sbpl::TagCountsQuery;
    link.CountsFrame = lang::sbpl::TagCountsFrame;
    link.ReadCounts = lang::sbpl::ReadTagCounts;
    link.CountsWait = std::chrono::milliseconds(0);
    return link;
  }
};

struct Row {
  const char* Name;
  std::vector<Says> Script;
  std::string Result;
  int Copies;
  std::vector<O> Results;
  std::string ReasonHas;  // of the last result
  size_t StatusQueries;
  bool AskedResult;
};

TEST(TagInquiry, TheResultIsAskedOnceTheLabelHasPrinted) {
  const std::string written =
      "\x02"
      "25,1,N,ID:E200680612345678\r\n\x03";
  const std::string failed =
      "\x02"
      "9,0,E,ID:\r\n\x03";
  const Row rows[] = {
      {"printed at once, written", {Says::Idle}, written, 1, {O::Written}, "", 1, true},
      {"printing twice, then void", {Says::Printing, Says::Printing, Says::Idle}, failed, 1, {O::Void}, "", 3, true},
      {"three copies: the last told",
       {Says::Printing, Says::Idle},
       written,
       3,
       {O::Unknown, O::Unknown, O::Written},
       "",
       2,
       true},
      {"paused until the wait is over", {Says::Paused}, written, 1, {O::Unknown}, "stopped", 0, false},
      {"printing until the wait is over", {Says::Printing}, written, 1, {O::Unknown}, "had not printed", 0, false},
      {"status answers not understood", {Says::Garbled}, written, 1, {O::Unknown}, "not understood", 0, false},
      {"no status answer", {Says::Silent}, written, 1, {O::Unknown}, "did not answer its status", 1, false},
      {"the connection ends", {Says::Closes}, written, 1, {O::Unknown}, "connection", 1, false},
      {"printed, no answer to SOH RU", {Says::Idle}, "", 1, {O::Unknown}, "did not tell", 1, true},
      {"printed, an answer cut short",
       {Says::Idle},
       "\x02"
       "25,1,N",
       1,
       {O::Unknown},
       "did not tell",
       1,
       true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    ScriptedPrinter printer;
    printer.Script.assign(row.Script.begin(), row.Script.end());
    printer.Result = row.Result;
    TagInquiry inquiry;
    // The rows that never see the label printed ask until the wait is over:
    // a wait of 0 asks once.
    const bool waits = row.StatusQueries == 0;
    const auto got = inquiry.Ask(printer.Link(), row.Copies, std::chrono::milliseconds(waits ? 0 : 60000));
    ASSERT_EQ(got.size(), row.Results.size());
    for (size_t k = 0; k < got.size(); ++k) {
      SCOPED_TRACE(k);
      EXPECT_EQ(got[k].Label, k + 1);
      EXPECT_EQ(got[k].State, row.Results[k]) << got[k].Reason;
    }
    EXPECT_NE(got.back().Reason.find(row.ReasonHas), std::string::npos) << got.back().Reason;
    if (got.back().State == O::Written) {
      EXPECT_EQ(got.back().Tid, "E200680612345678");
    }
    const size_t statusQueries = printer.Sent.size() - (row.AskedResult ? 1 : 0);
    EXPECT_EQ(statusQueries, waits ? 1u : row.StatusQueries);
    // SOH RU is asked last, and only once the printer has printed the label.
    EXPECT_EQ(!printer.Sent.empty() && printer.Sent.back() == lang::sbpl::TagWriteQuery, row.AskedResult);
  }
}

// What the printer said before it was asked (a late answer to an earlier
// label) is no answer, and the labels are numbered on from one label to
// the next.
TEST(TagInquiry, StaleBytesAreDroppedAndLabelsNumberedOn) {
  ScriptedPrinter printer;
  printer.Script = {Says::Idle};
  printer.Result =
      "\x02"
      "9,0,E,ID:\r\n\x03";
  printer.Out =
      "\x02"
      "25,1,N,ID:E200680612345678\r\n\x03";
  TagInquiry inquiry;
  const auto none = inquiry.Unanswerable(2, "no way back");
  ASSERT_EQ(none.size(), 2u);
  EXPECT_EQ(none[1].Reason, "no way back");
  const auto got = inquiry.Ask(printer.Link(), 1, std::chrono::milliseconds(60000));
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].Label, 3u);
  EXPECT_EQ(got[0].State, O::Void) << got[0].Reason;
  EXPECT_EQ(printer.Sent, (std::vector<std::string>{"\x05", "\x01RU"}));
}

// The printer's RFID counters (SOH RB), asked before the label and after
// its result: their difference tells a single label's tries, and that every
// copy was written when the printer counts as many tags written as copies.
TEST(TagInquiry, TheCountersTellTriesAndWrittenCopies) {
  using Counts = std::optional<lang::TagCounts>;
  const std::string written =
      "\x02"
      "25,1,N,ID:E200680612345678\r\n\x03";
  const std::string failed =
      "\x02"
      "9,0,E,ID:\r\n\x03";
  struct CountRow {
    const char* Name;
    int Copies;
    std::string Result;
    Counts Before, After;
    std::vector<O> Results;
    uint32_t Tries;         // of the last result
    std::string ReasonHas;  // of the first result
  };
  const CountRow rows[] = {
      {"one label, written first time",
       1,
       written,
       lang::TagCounts{7, 1, 8},
       lang::TagCounts{8, 1, 9},
       {O::Written},
       1,
       ""},
      {"one label, written on its third tag",
       1,
       written,
       lang::TagCounts{7, 1, 8},
       lang::TagCounts{8, 3, 11},
       {O::Written},
       3,
       ""},
      {"one label, void after two tags",
       1,
       failed,
       lang::TagCounts{0, 0, 0},
       lang::TagCounts{0, 2, 2},
       {O::Void},
       2,
       ""},
      {"three copies all counted written",
       3,
       written,
       lang::TagCounts{5, 0, 5},
       lang::TagCounts{8, 1, 9},
       {O::Written, O::Written, O::Written},
       0,
       ""},
      {"three copies, two counted written",
       3,
       written,
       lang::TagCounts{5, 0, 5},
       lang::TagCounts{7, 2, 9},
       {O::Unknown, O::Unknown, O::Written},
       0,
       "counted 2 tags written and 2 failed for the job's 3 labels"},
      {"counters reset between",
       1,
       written,
       lang::TagCounts{900, 3, 903},
       lang::TagCounts{1, 0, 1},
       {O::Written},
       0,
       ""},
      {"silent after the label", 1, written, lang::TagCounts{1, 0, 1}, std::nullopt, {O::Written}, 0, ""},
      {"silent before the label",
       2,
       written,
       std::nullopt,
       lang::TagCounts{9, 0, 9},
       {O::Unknown, O::Written},
       0,
       "copy 1 of 2 is not known"},
  };
  for (const CountRow& row : rows) {
    SCOPED_TRACE(row.Name);
    ScriptedPrinter printer;
    printer.Script = {Says::Idle};
    printer.Result = row.Result;
    printer.Counts = {row.Before, row.After};
    TagInquiry inquiry;
    const TagInquiryLink link = printer.Link();
    const Counts before = inquiry.Count(link);
    const auto got = inquiry.Ask(link, row.Copies, std::chrono::milliseconds(60000), before);
    ASSERT_EQ(got.size(), row.Results.size());
    for (size_t k = 0; k < got.size(); ++k) EXPECT_EQ(got[k].State, row.Results[k]) << k << ": " << got[k].Reason;
    EXPECT_EQ(got.back().Tries, row.Tries);
    EXPECT_NE(got.front().Reason.find(row.ReasonHas), std::string::npos) << got.front().Reason;
    for (const TagResult& r : got)
      if (r.State == O::Written) {
        EXPECT_TRUE(r.Reason.empty()) << r.Reason;
      }
    // A printer that let a counters query go unanswered is not asked again.
    const size_t asked = std::count(printer.Sent.begin(), printer.Sent.end(), std::string(lang::sbpl::TagCountsQuery));
    EXPECT_EQ(asked, row.Before ? 2u : 1u);
  }
}

// SOH RB's answer as the guide lays it out: STX, the mode byte (02h: RFID
// on), four digits of length, the fields, ETX; the life counter is "Lc:".
TEST(TagInquiry, CountersAnswersAreReadByTheirShape) {
  lang::Snapshot s;
  s.Tags = {1234567, 12, 1234579};
  const std::string round = lang::sbpl::TagCountsAnswer(s);
  EXPECT_EQ(round, std::string("\x02\x02") + "0040Lc:234567,12,234579,Rc:234567,12,234579,\x03");
  const struct {
    std::string Answer;
    std::optional<lang::TagCounts> Counts;
  } rows[] = {
      {round, lang::TagCounts{234567, 12, 234579}},
      {std::string("\x02\x02") + "0013Ec:3,Lc:5,1,6\x03", lang::TagCounts{5, 1, 6}},  // Lc: later, no last comma
      {"\x02\x01\x03", std::nullopt},                                                 // RFID off
      {std::string("\x02\x02") + "0016Lc:5,1,6,\x03", std::nullopt},                  // length wrong
      {std::string("\x02\x02") + "0009Rc:5,1,6,\x03", std::nullopt},                  // no life counter
      {std::string("\x02\x02") + "0015Lc:5,1,1234567,\x03", std::nullopt},            // seven digits
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Answer);
    EXPECT_EQ(lang::sbpl::TagCountsFrame(row.Answer + "junk"), row.Answer.size());
    EXPECT_EQ(lang::sbpl::ReadTagCounts(row.Answer), row.Counts);
  }
}

}  // namespace
}  // namespace morvel::drivers
