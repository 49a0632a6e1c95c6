// Each SATO RFID label's result as `morvel run` reports it (the printer
// asked SOH RU once the label has printed, and its counters, SOH RB, before
// and after), against the virtual printer's
// own record of every tag it took: failing tags at chosen and random
// places of the roll, copies, a paused printer and a printer that cannot
// answer. A label reported written must be one whose last tag the printer
// wrote, holding what was asked, with that tag's TID; a void one must be
// one whose tags all failed.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "RfidRun.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using morvel::testing::EmulatorProcess;
using morvel::testing::Http;
using morvel::testing::Morvel;
using morvel::testing::Reported;
using morvel::testing::RfidLines;
using morvel::testing::SocketUri;

constexpr const char* Printer = "SATO CL4NX 305dpi";

// The text label k writes (OpRFID), twelve bytes: 96 bits of EPC.
std::string Data(int k) {
  char text[16];
  std::snprintf(text, sizeof text, "SATO%08d", k);
  return text;
}

// What its EPC holds: the text's bytes in hexadecimal.
std::string Epc(int k) {
  std::string hex;
  char two[3];
  for (unsigned char c : Data(k)) {
    std::snprintf(two, sizeof two, "%02X", c);
    hex += two;
  }
  return hex;
}

// `labels` RFID labels, each with its own EPC, `copies` of each.
std::string Script(int labels, int copies = 1) {
  std::string s = "SetPrint \"" + std::string(Printer) + "\"\nOpenPort \"" + Printer + "\"\n";
  for (int k = 1; k <= labels; ++k)
    s += "InitPrint 20 10 4 10 0 0 0\nPrintFont 10 10 \"Case " + std::to_string(k) + "\" 8 F1.TTF\nOpRFID W " +
         Data(k) + " H \"\" \"\" \"\"\nPrintLabel " + std::to_string(copies) + "\n";
  return s + "ClosePort\n";
}

class SatoRfidResultsTest : public morvel::testing::RfidRunTest {
 protected:
  SatoRfidResultsTest() : RfidRunTest(Printer) {}
  morvel::testing::CommandOutcome Run(const std::string& script, const std::string& uri,
                                      const std::string& env = "MORVEL_RFID_WAIT_MS=20000") {
    return RfidRunTest::Run(script, uri, env);
  }
  nlohmann::json Jobs(int web, size_t count) { return RfidRunTest::Jobs(web, count, true); }
};

// Chosen failing places (the printer tries a label on three tags, then
// drops it) and random ones at a rate: each label a job, each result as
// that job's record has its last tag.
TEST_F(SatoRfidResultsTest, EveryLabelAsTheRecordsHaveIt) {
  const struct {
    const char* Name;
    std::vector<std::string> Roll;
    int Labels;
    std::vector<std::string> Expected;  // "written" / "void", a label each
  } rows[] = {
      {"chosen places", {"--rfid-fail", "2,5,6,7"}, 5, {"written", "written", "written", "void", "written"}},
      {"every tag fails", {"--rfid-fail", "1,2,3"}, 1, {"void"}},
      {"random places, a fifth of the tags", {"--rfid-fail-rate", "20", "--rfid-seed", "38"}, 20, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    std::vector<std::string> flags = {"--rfid"};
    flags.insert(flags.end(), row.Roll.begin(), row.Roll.end());
    EmulatorProcess e(jobs_ + "-" + std::to_string(&row - rows), flags);
    ASSERT_TRUE(e.Ready());
    const auto run = Run(Script(row.Labels), SocketUri(e.Port("sbpl")));
    EXPECT_EQ(run.Status, 0) << run.Err;
    const auto reported = RfidLines(run.Out);
    const auto jobs = Jobs(e.Port("web"), static_cast<size_t>(row.Labels));
    ASSERT_EQ(reported.size(), static_cast<size_t>(row.Labels)) << run.Out;
    ASSERT_EQ(jobs.size(), static_cast<size_t>(row.Labels)) << jobs.dump();
    for (int k = 1; k <= row.Labels; ++k) {
      SCOPED_TRACE("label " + std::to_string(k));
      const nlohmann::json& tags = jobs[static_cast<size_t>(k - 1)]["tags"];
      ASSERT_FALSE(tags.empty());
      const nlohmann::json& last = tags.back();
      const Reported& r = reported.at(k);
      EXPECT_EQ(r.State, last["result"] == "written" ? "written" : "void") << r.Reason;
      if (r.State == "written") {
        EXPECT_EQ(r.Epc, Epc(k));
        EXPECT_EQ(last["epc"], Epc(k));
        EXPECT_EQ(r.Tid, last["tid"]);
      } else {
        for (const auto& t : tags) EXPECT_EQ(t["result"], "void");
        EXPECT_NE(r.Reason.find("the EPC could not be written (error E)"), std::string::npos) << r.Reason;
      }
      if (static_cast<size_t>(k) <= row.Expected.size()) {
        EXPECT_EQ(r.State, row.Expected[static_cast<size_t>(k - 1)]);
      }
    }
    // The printer was asked to keep the write's status, just before the write.
    std::ifstream in(fs::path(jobs_ + "-" + std::to_string(&row - rows)) / jobs[0]["file"].get<std::string>(),
                     std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    EXPECT_NE(bytes.find("\x1bRU1\x1bIP0e:h,epc:" + Epc(1) + ";"), std::string::npos) << bytes;
  }
}

// The printer tells the last write only, and counts its tags (SOH RB):
// copies before the last are written when it counts a tag written for each
// copy, else unknown, with what it counted.
TEST_F(SatoRfidResultsTest, CopiesAreWrittenWhenThePrinterCountsEveryOne) {
  const struct {
    const char* Fail;
    std::vector<std::string> States;  // of the three copies
    size_t Tags;                      // the printer took
    const char* ReasonHas;            // of the first two, when unknown
  } rows[] = {
      {"2", {"written", "written", "written"}, 4, ""},  // copy 2 voided once, then written
      {"2,3,4", {"unknown", "unknown", "void"}, 4, "counted 1 tag written and 3 failed for the job's 3 labels"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Fail);
    const std::string folder = jobs_ + "-" + row.Fail;
    EmulatorProcess e(folder, {"--rfid", "--rfid-fail", row.Fail});
    ASSERT_TRUE(e.Ready());
    const auto run = Run(Script(1, 3), SocketUri(e.Port("sbpl")));
    const auto reported = RfidLines(run.Out);
    ASSERT_EQ(reported.size(), 3u) << run.Out << run.Err;
    const auto jobs = Jobs(e.Port("web"), 1);
    ASSERT_EQ(jobs.size(), 1u);
    const nlohmann::json& tags = jobs[0]["tags"];
    ASSERT_EQ(tags.size(), row.Tags) << tags.dump();
    for (int k = 1; k <= 3; ++k) {
      SCOPED_TRACE(k);
      const Reported& r = reported.at(k);
      EXPECT_EQ(r.State, row.States[static_cast<size_t>(k - 1)]) << r.Reason;
      if (r.State == "written") {
        EXPECT_EQ(r.Epc, Epc(1));
      }
      if (r.State == "unknown") {
        EXPECT_NE(r.Reason.find(row.ReasonHas), std::string::npos) << r.Reason;
      }
    }
    // The last copy's TID is the one the printer read from its last tag.
    if (reported.at(3).State == "written") {
      EXPECT_EQ(reported.at(3).Tid, tags.back()["tid"]);
    }
  }
}

// A paused printer holds the label: it is unknown once the wait is over,
// and printed with its tag when the printer goes on.
TEST_F(SatoRfidResultsTest, APausedPrinterLeavesItsLabelUnknown) {
  EmulatorProcess e(jobs_, {"--rfid"});
  ASSERT_TRUE(e.Ready());
  const int web = e.Port("web");
  Http(web, "POST", "/api/state", R"({"paused": true})");
  const auto run = Run(Script(1), SocketUri(e.Port("sbpl")), "MORVEL_RFID_WAIT_MS=1000");
  const auto reported = RfidLines(run.Out);
  ASSERT_EQ(reported.size(), 1u) << run.Out << run.Err;
  EXPECT_EQ(reported.at(1).State, "unknown");
  EXPECT_NE(reported.at(1).Reason.find("stopped"), std::string::npos) << reported.at(1).Reason;
  Http(web, "POST", "/api/state", R"({"paused": false})");
  const auto jobs = Jobs(web, 1);
  ASSERT_EQ(jobs.size(), 1u);
  ASSERT_EQ(jobs[0]["tags"].size(), 1u);
  EXPECT_EQ(jobs[0]["tags"][0]["epc"], Epc(1));
}

// A printer that cannot answer (a file:) gets the label's bytes as ever,
// and its labels are unknown at once.
TEST_F(SatoRfidResultsTest, APrinterThatCannotAnswerGetsTheLabelAsEver) {
  const auto run = Run(Script(2), "file:out", "MORVEL_RFID_WAIT_MS=60000");
  morvel::testing::ExpectUnanswered(run, 2);
  const std::string bytes = morvel::testing::FolderBytes(dir_ / "out");
  EXPECT_NE(bytes.find("\x1bIP0e:h,epc:" + Epc(1) + ";"), std::string::npos) << bytes;
  EXPECT_EQ(bytes.find("\x1bRU"), std::string::npos) << "no write status asked of a printer that cannot answer";
}

}  // namespace
