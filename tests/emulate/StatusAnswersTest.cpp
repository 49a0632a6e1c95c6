// The status answers of the virtual printer and the readers of printers'
// answers. The virtual printer's answers are rows of status-answers.golden,
// laid out as the programming guides give them (ZPL ~HS and ~HQES, SBPL
// Status 4, TSPL ESC !? and ESC !S); the answers read here follow the same
// layouts (Status 4: G on-line printing besides the states there).
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>

#include "control/status/Answers.h"
#include "hosts/emulate/Emulator.h"
#include "morvel/status.h"
#include "morvel/version.h"
#include "support/Golden.h"

namespace {

using namespace morvel;
using lang::PrinterState;
using lang::Snapshot;

std::string Sbpl(const std::string& body) {
  std::string length = {0, 0, 0, static_cast<char>(body.size())};
  return length + body;
}

struct StateCase {
  const char* Name;  // its answers are the rows NAME/~HS, ~HQES, Status 4, ESC !? and ESC !S
  PrinterState State;
  int Formats;
  const char* Reading;  // what every reader makes of it: STATE REASONS
};

morvel::testing::GoldenFile& Golden() {
  static morvel::testing::GoldenFile golden(MORVEL_SOURCE_DIR "/tests/emulate/status-answers.golden");
  return golden;
}

TEST(StatusAnswers, EveryStateInEveryLanguageAndBack) {
  const StateCase cases[] = {
      {"ready", {}, 0, "idle none"},
      {"paper out", {.PaperOut = true}, 0, "stopped media-empty"},
      {"head open", {.HeadOpen = true}, 0, "stopped cover-open"},
      {"ribbon out", {.RibbonOut = true}, 0, "stopped marker-supply-empty"},
      {"paused with a job waiting", {.Paused = true}, 1, "stopped paused"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Snapshot s;
    s.State = c.State;
    s.FormatsInBuffer = c.Formats;
    s.LabelsRemaining = c.Formats ? 2 : 0;
    s.JobId = "07";
    s.JobName = "LOT7";
    const std::string row = c.Name;
    const std::string hs = lang::zpl::HostStatus(s);
    Golden().Expect(row + "/~HS", hs);
    const std::string hq = lang::zpl::HostQuery(s);
    Golden().Expect(row + "/~HQES", hq);
    const std::string sbpl = lang::sbpl::Status4(s);
    Golden().Expect(row + "/Status 4", sbpl);
    Golden().Expect(row + "/ESC !?", lang::tspl::StatusByte(s));
    Golden().Expect(row + "/ESC !S", lang::tspl::ExtendedStatus(s));

    // Each answer read back, framed whole, says the same.
    auto said = [](const lang::Reading& r) {
      std::string reasons;
      for (const auto& x : lang::NamesOf(r.Reasons)) reasons += (reasons.empty() ? "" : ",") + x;
      return r.State + " " + (reasons.empty() ? "none" : reasons);
    };
    EXPECT_EQ(lang::zpl::HostStatusFrame(hs), hs.size());
    EXPECT_EQ(lang::zpl::HostQueryFrame(hq), hq.size());
    EXPECT_EQ(lang::sbpl::Status4Frame(sbpl), sbpl.size());
    EXPECT_EQ(lang::tspl::ExtendedFrame(lang::tspl::ExtendedStatus(s)), 8u);
    const std::string expected = c.Reading;
    const std::string zpl = said(status::Combine(lang::zpl::ReadHostQuery(hq), lang::zpl::ReadHostStatus(hs)));
    EXPECT_EQ(zpl, expected == "stopped paused" ? "stopped paused" : expected);
    // A paused SATO printer is off-line.
    EXPECT_EQ(said(lang::sbpl::ReadStatus4(sbpl)), expected == "stopped paused" ? "stopped offline" : expected);
    EXPECT_EQ(said(lang::tspl::ReadStatusByte(lang::tspl::StatusByte(s))), expected);
    // The four-byte status has no head-open flag: a printer error.
    EXPECT_EQ(said(lang::tspl::ReadExtended(lang::tspl::ExtendedStatus(s))),
              expected == "stopped cover-open" ? "stopped other" : expected);
    // Every answer of every language's table, those above and the rest, is
    // whole to its own framer, and its reader understands it.
    for (lang::Language language : lang::AllLanguages)
      for (const lang::StatusQuery& q : lang::StatusOf(language).Queries) {
        SCOPED_TRACE(q.Name);
        const std::string answer = q.Answer(s);
        EXPECT_EQ(q.Frame(answer), answer.size());
        if (q.Read) {
          EXPECT_TRUE(q.Read(answer).Understood);
        }
      }
  }
  Golden().ExpectEveryRowUsed("");
}

// ~HI: model, firmware version (the build's), dots per millimetre, memory.
TEST(StatusAnswers, IdentificationNamesTheVersionAndTheResolution) {
  for (auto [dpi, dotsPerMm] : {std::pair{203, "8"}, {300, "12"}, {600, "24"}}) {
    Snapshot s;
    s.Dpi = dpi;
    EXPECT_EQ(lang::zpl::HostIdentification(s),
              "\x02MORVEL EMULATE,V" MORVEL_VERSION "," + std::string(dotsPerMm) + ",8192KB\x03\r\n");
  }
}

TEST(StatusAnswers, ReadersOfAnswersAsPrintersSendThem) {
  struct Case {
    const char* Name;
    lang::Reading (*Read)(std::string_view);
    std::string Answer;
    const char* State;
    std::vector<std::string> Reasons;
  } cases[] = {
      // The guide's ~HQES example: media out and head open together.
      {"~HQES media out, head open",
       lang::zpl::ReadHostQuery,
       "\x02\r\n PRINTER STATUS\r\n   ERRORS:         1 00000000 00000005\r\n   WARNINGS:       0 00000000 "
       "00000000\r\n\x03\r\n",
       "stopped",
       {"media-empty", "cover-open"}},
      {"~HQES cutter fault",
       lang::zpl::ReadHostQuery,
       "\x02\r\n PRINTER STATUS\r\n   ERRORS:         1 00000000 00000008\r\n   WARNINGS:       0 00000000 "
       "00000000\r\n\x03\r\n",
       "stopped",
       {"other"}},
      {"~HQES paper near end warning",
       lang::zpl::ReadHostQuery,
       "\x02\r\n PRINTER STATUS\r\n   ERRORS:         0 00000000 00000000\r\n   WARNINGS:       1 00000000 "
       "00000008\r\n\x03\r\n",
       "idle",
       {"media-low"}},
      {"~HQES cut short",
       lang::zpl::ReadHostQuery,
       "\x02\r\n PRINTER STATUS\r\n   ERRORS:         1 0000",
       "unknown",
       {}},
      {"~HS printing a batch",
       lang::zpl::ReadHostStatus,
       "\x02"
       "030,0,0,1218,002,0,0,0,000,0,0,0\x03\r\n\x02"
       "001,0,0,0,1,2,6,0,00000015,1,000\x03\r\n\x02"
       "1234,0\x03\r\n",
       "processing",
       {}},
      {"~HS over temperature",
       lang::zpl::ReadHostStatus,
       "\x02"
       "030,0,0,1218,000,0,0,0,000,0,0,1\x03\r\n\x02"
       "001,0,0,0,1,2,6,0,00000000,1,000\x03\r\n\x02"
       "1234,0\x03\r\n",
       "stopped",
       {"other"}},
      {"~HS a field short",
       lang::zpl::ReadHostStatus,
       "\x02"
       "030,0,0,1218,000,0,0,0,000,0,0\x03\r\n\x02"
       "001,0,0,0,1,2,6,0,00000000,1,000\x03\r\n",
       "unknown",
       {}},
      {"Status 4 serial form, printing, ribbon near end",
       lang::sbpl::ReadStatus4,
       "\x02"
       "05H000098SATO            \x03",
       "processing",
       {"marker-supply-low"}},
      {"Status 4 media error",
       lang::sbpl::ReadStatus4,
       Sbpl("\x05\x02  e000000                \x03"),
       "stopped",
       {"media-jam"}},
      {"Status 4 cutter error",
       lang::sbpl::ReadStatus4,
       Sbpl("\x05\x02  j000000                \x03"),
       "stopped",
       {"other"}},
      {"Status 4 no data", lang::sbpl::ReadStatus4, Sbpl("\x05\x02   000000                \x03"), "idle", {}},
      {"Status 4 wrong length", lang::sbpl::ReadStatus4, Sbpl("\x05\x02  A00000\x03"), "unknown", {}},
      {"ESC !? paper jam", lang::tspl::ReadStatusByte, "\x02", "stopped", {"media-jam"}},
      {"ESC !? printing", lang::tspl::ReadStatusByte, "\x20", "processing", {}},
      {"ESC !? other error and head", lang::tspl::ReadStatusByte, "\x81", "stopped", {"cover-open", "other"}},
      {"ESC !S printing batch", lang::tspl::ReadExtended, "\x02P@@@\x03\r\n", "processing", {}},
      {"ESC !S cutter jam",
       lang::tspl::ReadExtended,
       "\x02"
       "E@H@\x03\r\n",
       "stopped",
       {"other"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    lang::Reading r = c.Read(c.Answer);
    EXPECT_EQ(r.State, c.State);
    EXPECT_EQ(lang::NamesOf(r.Reasons), c.Reasons);
  }
}

TEST(StatusAnswers, FramesComeWholeHoweverTheyAreCut) {
  Snapshot s;
  s.State.PaperOut = true;
  const struct {
    std::string Answer;
    size_t (*Frame)(std::string_view);
  } cases[] = {{lang::zpl::HostStatus(s), lang::zpl::HostStatusFrame},
               {lang::zpl::HostQuery(s), lang::zpl::HostQueryFrame},
               {lang::sbpl::Status4(s), lang::sbpl::Status4Frame},
               {lang::tspl::ExtendedStatus(s), lang::tspl::ExtendedFrame}};
  for (const auto& c : cases) {
    for (size_t cut = 0; cut < c.Answer.size(); ++cut)
      EXPECT_EQ(c.Frame(std::string_view(c.Answer).substr(0, cut)), 0u)
          << "cut at " << cut << " of " << c.Answer.size();
    EXPECT_EQ(c.Frame(c.Answer + "more"), c.Answer.size());
  }
  // Babble with no frame in it is whole once it is long, so nobody waits for it.
  EXPECT_EQ(lang::zpl::HostQueryFrame(std::string(600, 'x')), 600u);
  EXPECT_EQ(lang::sbpl::Status4Frame(std::string("\xff\xff\xff\xff", 4)), 4u);
}

TEST(StatusAnswers, ScannerTakesQueriesOutWhereverTheChunksEnd) {
  const struct {
    lang::Language Language;
    std::string Stream;
    std::string Job;
    std::vector<std::string_view> Queries;
  } cases[] = {
      {lang::Language::Zpl, "~HQES^XA^FO10,10^FDa~b^FS^XZ~hs~HI", "^XA^FO10,10^FDa~b^FS^XZ", {"~HQES", "~HS", "~HI"}},
      {lang::Language::Zpl, "~HQ~JA^XA^XZ", "~HQ~JA^XA^XZ", {}},
      // ENQ inside ESC A .. ESC Z is data; outside it is the query.
      {lang::Language::Sbpl,
       "\x05\x1b"
       "A\x1bH10\x05\x1bZ\x18",
       "\x1b"
       "A\x1bH10\x05\x1bZ",
       {"ENQ", "CAN"}},
      {lang::Language::Tspl,
       "SIZE 50 mm,30 mm\r\n\x1b!?CLS\r\n\x1b!SPRINT 1\r\n\x1b!R",
       "SIZE 50 mm,30 mm\r\nCLS\r\nPRINT 1\r\n\x1b!R",
       {"ESC !?", "ESC !S"}},
  };
  for (const auto& c : cases) {
    for (size_t piece = 1; piece <= c.Stream.size(); ++piece) {
      emulate::QueryScanner scanner(c.Language);
      std::string job;
      std::vector<emulate::Query> queries;
      for (size_t at = 0; at < c.Stream.size(); at += piece)
        scanner.Feed(std::string_view(c.Stream).substr(at, piece), job, queries);
      scanner.Finish(job);
      std::vector<std::string_view> names;
      for (emulate::Query q : queries) names.push_back(q->Name);
      EXPECT_EQ(job, c.Job) << "pieces of " << piece;
      EXPECT_EQ(names, c.Queries) << "pieces of " << piece;
    }
  }
}

TEST(StatusAnswers, CupsStateAndReasons) {
  const struct {
    int State;
    std::vector<std::string> Reasons;
    const char* Expected;
    std::vector<std::string> ExpectedReasons;
  } cases[] = {
      {3, {"none"}, "idle", {}},
      {4, {"media-low-warning"}, "processing", {"media-low"}},
      {5, {"paused"}, "stopped", {"paused"}},
      {5, {}, "stopped", {"paused"}},
      {3, {"media-empty-error", "cups-missing-filter-warning"}, "stopped", {"media-empty"}},
      {4, {"com.vendor.jam-error"}, "stopped", {"other"}},
      {4, {"connecting-to-device"}, "processing", {}},
      // CUPS's words for ours; its keywords outside our list are other only as errors.
      {3, {"door-open-warning", "media-needed"}, "stopped", {"cover-open", "media-empty"}},
      {4, {"none-error", "other-report", "shutdown-error", "offline-report"}, "stopped", {"other", "offline"}},
  };
  for (const auto& c : cases) {
    lang::Reading r = status::ReadCups(c.State, c.Reasons);
    EXPECT_EQ(r.State, c.Expected);
    EXPECT_EQ(lang::NamesOf(r.Reasons), c.ExpectedReasons);
  }
}

// The Windows spooler's Status bits (PRINTER_INFO_2), its work-offline
// attribute and its job count, as the spooler sets them together.
TEST(StatusAnswers, SpoolerStatusBitsAttributesAndJobs) {
  constexpr uint32_t Paused = 0x1, Error = 0x2, PaperJam = 0x8, PaperOut = 0x10, Offline = 0x80, Printing = 0x400,
                     BinFull = 0x800, WarmingUp = 0x10000, TonerLow = 0x20000, NoToner = 0x40000,
                     Intervention = 0x100000, DoorOpen = 0x400000, Unknown = 0x800000, PowerSave = 0x1000000;
  constexpr uint32_t WorkOffline = 0x400;
  const struct {
    uint32_t Status, Attributes, Jobs;
    const char* State;
    std::vector<std::string> Reasons;
  } cases[] = {
      {0, 0, 0, "idle", {}},
      {0, 0, 3, "processing", {}},
      {Printing, 0, 0, "processing", {}},
      {Paused, 0, 2, "stopped", {"paused"}},
      {PaperOut | Printing, 0, 1, "stopped", {"media-empty"}},
      // The spooler sets the error bit beside the fault it names: the fault says it all.
      {PaperJam | Error, 0, 0, "stopped", {"media-jam"}},
      {Error, 0, 0, "stopped", {"other"}},
      {Intervention | TonerLow, 0, 0, "stopped", {"marker-supply-low", "other"}},
      {Offline, WorkOffline, 0, "stopped", {"offline"}},
      {0, WorkOffline, 1, "stopped", {"offline"}},
      {TonerLow, 0, 0, "idle", {"marker-supply-low"}},
      {NoToner, 0, 0, "stopped", {"marker-supply-empty"}},
      {DoorOpen, 0, 0, "stopped", {"door-open"}},
      {BinFull | Paused, 0, 0, "stopped", {"paused", "output-area-full"}},
      {WarmingUp, 0, 0, "processing", {}},
      {PowerSave, 0, 0, "idle", {}},
      {Unknown, 0, 0, "unknown", {"other"}},
      {Unknown | PaperOut, 0, 0, "stopped", {"media-empty", "other"}},
      {0x80000000u, 0, 0, "idle", {}},  // a bit no Windows names yet says nothing
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << "Status 0x" << c.Status << " Attributes 0x" << c.Attributes
                                      << std::dec << " cJobs " << c.Jobs);
    lang::Reading r = status::ReadSpooler(c.Status, c.Attributes, c.Jobs);
    EXPECT_TRUE(r.Understood);
    EXPECT_EQ(r.State, c.State);
    EXPECT_EQ(lang::NamesOf(r.Reasons), c.Reasons);
  }
}

}  // namespace

// Every mix of the virtual printer's conditions, answered in each language
// and read back: each code the answer writes is the one its reader knows.
TEST(StatusAnswers, EveryMixOfConditionsReadsBackAsTheLanguageTellsIt) {
  for (unsigned mix = 0; mix < 16; ++mix) {
    Snapshot s;
    s.State = {
        .Paused = (mix & 1) != 0, .PaperOut = (mix & 2) != 0, .HeadOpen = (mix & 4) != 0, .RibbonOut = (mix & 8) != 0};
    const PrinterState& p = s.State;
    SCOPED_TRACE(::testing::Message() << "paused " << p.Paused << " paper out " << p.PaperOut << " head open "
                                      << p.HeadOpen << " ribbon out " << p.RibbonOut);
    auto set = [](const lang::Reading& r) {
      std::vector<std::string> names = lang::NamesOf(r.Reasons);
      std::sort(names.begin(), names.end());
      return names;
    };
    std::vector<std::string> all;  // each condition its own reason, sorted
    if (p.HeadOpen) all.push_back("cover-open");
    if (p.RibbonOut) all.push_back("marker-supply-empty");
    if (p.PaperOut) all.push_back("media-empty");
    if (p.Paused) all.push_back("paused");
    // ZPL and the status byte tell every condition.
    EXPECT_EQ(set(status::Combine(lang::zpl::ReadHostQuery(lang::zpl::HostQuery(s)),
                                  lang::zpl::ReadHostStatus(lang::zpl::HostStatus(s)))),
              all);
    EXPECT_EQ(set(lang::tspl::ReadStatusByte(lang::tspl::StatusByte(s))), all);
    // Status 4 tells the gravest: head, paper, ribbon, then the pause as off-line.
    const char* gravest = p.HeadOpen    ? "cover-open"
                          : p.PaperOut  ? "media-empty"
                          : p.RibbonOut ? "marker-supply-empty"
                          : p.Paused    ? "offline"
                                        : nullptr;
    EXPECT_EQ(lang::NamesOf(lang::sbpl::ReadStatus4(lang::sbpl::Status4(s)).Reasons),
              gravest ? std::vector<std::string>{gravest} : std::vector<std::string>{});
    EXPECT_EQ(lang::sbpl::CancelReply(s), p.Faulted() ? "\x15" : "\x06");
    // The four-byte status: paper and ribbon in the media byte; a head open
    // alone is a printer error; a pause shows only without a fault.
    std::vector<std::string> extended;
    if (p.RibbonOut) extended.push_back("marker-supply-empty");
    if (p.PaperOut) extended.push_back("media-empty");
    if (p.HeadOpen && extended.empty()) extended.push_back("other");
    if (p.Paused && !p.Faulted()) extended.push_back("paused");
    EXPECT_EQ(set(lang::tspl::ReadExtended(lang::tspl::ExtendedStatus(s))), extended);
  }
}

// Reasons become keywords at PrinterStatus, and back for its verdicts.
TEST(StatusAnswers, KeywordsOfEveryReasonAndTheVerdictsOnThem) {
  std::set<std::string_view> keywords;
  for (const lang::ReasonName& row : lang::ReasonNames) {
    SCOPED_TRACE(row.Keyword);
    EXPECT_EQ(lang::ReasonNamed(lang::NameOf(row.Of)), row.Of);
    EXPECT_TRUE(keywords.insert(row.Keyword).second);
  }
  for (const char* text : {"", "Media-Empty", "media-empty-error", "toner-low", "none"}) {
    EXPECT_EQ(lang::ReasonNamed(text), std::nullopt) << text;
  }
  const struct {
    const char* State;
    std::vector<std::string> Reasons;
    const char* Error;
    bool Ready;
    const char* Cause;
  } cases[] = {
      {"idle", {}, "", true, ""},
      {"processing", {"media-low", "marker-supply-low"}, "", true, ""},
      {"idle", {"timed-out"}, "", false, ""},
      {"idle", {"toner-low"}, "", false, ""},  // not a keyword of ours
      {"stopped", {"paused"}, "", false, ""},
      {"unknown", {}, "", false, ""},
      {"stopped", {"offline"}, "socket://p:9100: connection refused", false, "connection refused"},
      {"stopped", {"offline", "other"}, "socket://p:9100: connection refused", false, ""},
      {"stopped", {"offline"}, "", false, ""},
  };
  for (const auto& c : cases) {
    PrinterStatus s;
    s.State = c.State;
    s.Reasons = c.Reasons;
    s.Error = c.Error;
    SCOPED_TRACE(s.State + " " + s.ReasonsText());
    EXPECT_EQ(s.Ready(), c.Ready);
    EXPECT_EQ(s.Cause(), c.Cause);
  }
}

// SOH RU's answer, the status of a SATO printer's last RFID write: the
// guide's three examples first, then answers it would not send.
TEST(StatusAnswers, TagWriteStatusAsTheGuideLaysItOut) {
  const std::string Stx = "\x02", Etx = "\x03";
  const struct {
    const char* Name;
    std::string Answer;
    bool Understood, Written;
    char Error;
    std::optional<std::string> Epc, Tid;
  } rows[] = {
      {"guide: written, TID read",
       Stx + "25,1,N,ID:E200680612345678\r\n" + Etx,
       true,
       true,
       'N',
       {},
       "E200680612345678"},
      {"guide: written, TID not read", Stx + "9,1,T,ID:\r\n" + Etx, true, true, 'T', {}, ""},
      {"guide: EPC write failed", Stx + "9,0,E,ID:\r\n" + Etx, true, false, 'E', {}, ""},
      {"EPC and TID", Stx + "31,1,N,EP:3034257BF7,ID:E2801105\r\n" + Etx, true, true, 'N', "3034257BF7", "E2801105"},
      {"the EPC only, no line end", Stx + "11,1,N,EP:00AB" + Etx, true, true, 'N', "00AB", {}},
      {"chip error", Stx + "9,0,M,EP:\r\n" + Etx, true, false, 'M', "", {}},
      {"a count short of the data", Stx + "8,1,N,ID:\r\n" + Etx, false, false, 'N', {}, {}},
      {"a count of six digits", Stx + "000009,0,E,ID:\r\n" + Etx, false, false, 'N', {}, {}},
      {"a result neither 0 nor 1", Stx + "9,2,E,ID:\r\n" + Etx, false, false, 'N', {}, {}},
      {"a field it does not know", Stx + "11,1,N,XX:12\r\n" + Etx, false, true, 'N', {}, {}},
      {"no frame", "25,1,N,ID:E200680612345678\r\n", false, false, 'N', {}, {}},
      {"two frames", Stx + "9,0,E,ID:\r\n" + Etx + Stx + "9,0,E,ID:\r\n" + Etx, false, false, 'N', {}, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    const lang::TagWriteStatus read = lang::sbpl::ReadTagWrite(row.Answer);
    EXPECT_EQ(read.Understood, row.Understood);
    if (!row.Understood) continue;
    EXPECT_EQ(read.Written, row.Written);
    EXPECT_EQ(read.Error, row.Error);
    EXPECT_EQ(read.Epc, row.Epc);
    EXPECT_EQ(read.Tid, row.Tid);
  }
  // Framed at its ETX, wherever the pieces end.
  const std::string whole =
      "\x02"
      "25,1,N,ID:E200680612345678\r\n\x03";
  for (size_t cut = 0; cut < whole.size(); ++cut) EXPECT_EQ(lang::sbpl::TagWriteFrame(whole.substr(0, cut)), 0u);
  EXPECT_EQ(lang::sbpl::TagWriteFrame(whole + "\x02"), whole.size());
  // The virtual printer's answers read back as they were kept; without a
  // write, failure.
  lang::Snapshot s;
  EXPECT_EQ(lang::sbpl::TagWriteAnswer(s),
            "\x02"
            "6,0,N,\r\n\x03");
  for (const lang::TagWriteStatus& kept :
       {lang::TagWriteStatus{true, true, 'N', "3034257BF7194E4000001A85", "E2801105AB12CD3400000007"},
        lang::TagWriteStatus{true, false, 'E', "", ""}}) {
    s.LastTagWrite = kept;
    const lang::TagWriteStatus read = lang::sbpl::ReadTagWrite(lang::sbpl::TagWriteAnswer(s));
    EXPECT_TRUE(read.Understood);
    EXPECT_EQ(read.Written, kept.Written);
    EXPECT_EQ(read.Error, kept.Error);
    EXPECT_EQ(read.Epc, kept.Epc);
    EXPECT_EQ(read.Tid, kept.Tid);
  }
  EXPECT_EQ(lang::sbpl::TagErrorWords('E'), "the EPC could not be written");
  EXPECT_NE(lang::sbpl::TagErrorWords('Q').find("error Q"), std::string::npos);
}
