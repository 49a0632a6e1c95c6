// Each RFID label's result as `morvel run` reports it, against the virtual
// RFID printer's own record of every tag it took: failing tags at chosen
// and random places of the roll, under ^RS's drop and pause rules, and a
// printer that cannot answer. A label reported written must be one whose
// tag the printer wrote, holding what was asked; a void one must be one it
// voided on every try.
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

constexpr const char* Printer = "ZDesigner ZT410R-300dpi ZPL";

// The EPC of label k: an SGTIN-96 with k for its serial.
std::string Epc(int k) {
  char serial[16];
  std::snprintf(serial, sizeof serial, "%010X", k);
  return std::string("3074257BF7194E") + serial;
}

// `labels` RFID labels, each with its own EPC; `rules`, when given, is the
// ^RS every label carries (labels to try, what to do then).
std::string Script(int labels, const std::string& rules = "") {
  std::string s = "SetPrint \"" + std::string(Printer) + "\"\nOpenPort \"" + Printer + "\"\n";
  for (int k = 1; k <= labels; ++k) {
    s += "InitPrint 20 10 4 10 0 0 0\nPrintFont 10 10 \"Case " + std::to_string(k) + "\" 8 F1.TTF\n";
    if (!rules.empty()) s += "SendCmd \"" + rules + "\"\n";
    s += "OpRFID W " + Epc(k) + " H \"\" \"\" \"\"\nPrintLabel 1\n";
  }
  return s + "ClosePort\n";
}

class RfidResultsTest : public morvel::testing::RfidRunTest {
 protected:
  RfidResultsTest() : RfidRunTest(Printer) {}
  morvel::testing::CommandOutcome Run(const std::string& script, const std::string& uri,
                                      const std::string& env = "MORVEL_RFID_RETRY_WAIT_MS=1500") {
    return RfidRunTest::Run(script, uri, env);
  }

  // Each reported label against the record of the job that printed it
  // (a job a label, in order): written only when one of its tags was
  // written with what was asked; void only when every try was voided.
  void CheckAgainstRecords(const std::map<int, Reported>& reported, const nlohmann::json& jobs, int labels) {
    ASSERT_EQ(reported.size(), static_cast<size_t>(labels));
    ASSERT_EQ(jobs.size(), static_cast<size_t>(labels)) << jobs.dump();
    for (int k = 1; k <= labels; ++k) {
      SCOPED_TRACE("label " + std::to_string(k));
      const nlohmann::json& job = jobs[static_cast<size_t>(k - 1)];
      std::string written;
      size_t voids = 0;
      for (const auto& t : job["tags"]) {
        if (t["result"] == "written") written = t["epc"];
        voids += t["result"] == "void" ? 1 : 0;
      }
      const Reported& r = reported.at(k);
      if (!written.empty()) {
        EXPECT_EQ(r.State, "written") << r.Reason;
        EXPECT_EQ(r.Epc, "00" + Epc(k));
        EXPECT_EQ(written, "00" + Epc(k));
      } else {
        EXPECT_EQ(r.State, "void") << r.Reason;
        EXPECT_EQ(voids, job["tags"].size());
        EXPECT_NE(r.Reason.find("dropped the format"), std::string::npos) << r.Reason;
      }
    }
  }
};

// Chosen failing places under the default rules (3 labels to try, then
// the format is dropped), and random ones at a rate.
TEST_F(RfidResultsTest, EveryLabelAsTheRecordsHaveIt) {
  const struct {
    const char* Name;
    std::vector<std::string> Roll;
    int Labels;
    std::string Rules;
    std::vector<std::string> Expected;  // "written" / "void", a label each
  } rows[] = {
      {"chosen places", {"--rfid-fail", "2,5,6,7"}, 5, "", {"written", "written", "written", "void", "written"}},
      {"two labels to try", {"--rfid-fail", "1,3,4"}, 3, "^RS8,0,,2,N", {"written", "void", "written"}},
      {"random places, a fifth of the tags", {"--rfid-fail-rate", "20", "--rfid-seed", "38"}, 30, "", {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    std::vector<std::string> flags = {"--rfid"};
    flags.insert(flags.end(), row.Roll.begin(), row.Roll.end());
    EmulatorProcess e(jobs_ + "-" + std::to_string(&row - rows), flags);
    ASSERT_TRUE(e.Ready());
    const auto run = Run(Script(row.Labels, row.Rules), SocketUri(e.Port("zpl")));
    EXPECT_EQ(run.Status, 0) << run.Err;
    const auto reported = RfidLines(run.Out);
    CheckAgainstRecords(reported, Jobs(e.Port("web"), static_cast<size_t>(row.Labels)), row.Labels);
    for (size_t k = 0; k < row.Expected.size(); ++k)
      EXPECT_EQ(reported.at(static_cast<int>(k + 1)).State, row.Expected[k]);
  }
}

// A printer that pauses when a tag keeps failing (^RS with P) holds the
// label: it is unknown when the printer goes quiet, and the label after it,
// printed once the printer goes on, is not taken for it.
TEST_F(RfidResultsTest, APausedPrinterLeavesItsLabelUnknown) {
  EmulatorProcess e(jobs_, {"--rfid", "--rfid-fail", "1,2"});
  ASSERT_TRUE(e.Ready());
  const int web = e.Port("web");
  std::jthread resume([&] {
    for (auto until = Clock::now() + std::chrono::seconds(60); Clock::now() < until;) {
      auto state = nlohmann::json::parse(Http(web, "GET", "/api/state"), nullptr, false);
      if (!state.is_discarded() && state["paused"] == true) {
        // Past the control's wait for another try, so it has asked.
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        Http(web, "POST", "/api/state", R"({"paused": false})");
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  const auto run = Run(Script(2, "^RS8,0,,2,P"), SocketUri(e.Port("zpl")), "MORVEL_RFID_RETRY_WAIT_MS=1000");
  resume.join();
  const auto reported = RfidLines(run.Out);
  ASSERT_EQ(reported.size(), 2u) << run.Out << run.Err;
  EXPECT_EQ(reported.at(1).State, "unknown");
  EXPECT_NE(reported.at(1).Reason.find("stopped"), std::string::npos) << reported.at(1).Reason;
  EXPECT_EQ(reported.at(2).State, "written");
  EXPECT_EQ(reported.at(2).Epc, "00" + Epc(2));
  // The record: label 1 voided twice, then written once the printer went on.
  const auto jobs = Jobs(web, 2);
  ASSERT_EQ(jobs.size(), 2u);
  ASSERT_EQ(jobs[0]["tags"].size(), 3u);
  EXPECT_EQ(jobs[0]["tags"][2]["result"], "written");
}

// A printer that cannot answer (a file:) gets the label's bytes as ever,
// and its labels are unknown at once.
TEST_F(RfidResultsTest, APrinterThatCannotAnswerLeavesLabelsUnknown) {
  const auto run = Run(Script(2), "file:out", "MORVEL_RFID_WAIT_MS=60000");
  morvel::testing::ExpectUnanswered(run, 2);
  const std::string bytes = morvel::testing::FolderBytes(dir_ / "out");
  EXPECT_NE(bytes.find("^RFW,H,,,^FD00" + Epc(1) + "^FS"), std::string::npos) << bytes;
  EXPECT_EQ(bytes.find("^HV"), std::string::npos) << "no echo asked of a printer that cannot answer";
}

// With results off, a printer that could answer is not asked: the label
// goes as it always did (one job for the connection, no ^HV), unknown.
TEST_F(RfidResultsTest, ResultsOffAskNothing) {
  EmulatorProcess e(jobs_, {"--rfid"});
  ASSERT_TRUE(e.Ready());
  const auto run = Run(Script(2), SocketUri(e.Port("zpl")), "MORVEL_RFID_RESULTS=0");
  EXPECT_EQ(run.Status, 0) << run.Err;
  const auto reported = RfidLines(run.Out);
  ASSERT_EQ(reported.size(), 2u) << run.Out;
  for (const auto& [label, r] : reported) {
    EXPECT_EQ(r.State, "unknown");
    EXPECT_NE(r.Reason.find("results are off"), std::string::npos) << r.Reason;
  }
  const auto jobs = Jobs(e.Port("web"), 1, true);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0]["tags"].size(), 2u);
  EXPECT_FALSE(jobs[0].contains("answers"));
}

}  // namespace
