// `morvel batch` against the virtual printer: every row printed once and
// confirmed, hostile values printed as text, a printer that cannot confirm
// run in sent mode, a paper-out waited for, and a run killed with SIGKILL
// resumed without a row skipped or a confirmed label printed again. The
// virtual printer's records are the ground truth.
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <map>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "EmulateProcess.h"
#include "support/RunCommand.h"
#include "support/TempFolder.h"
#include "support/TestPrinters.h"

namespace {

namespace fs = std::filesystem;
using morvel::testing::EmulatorProcess;
using morvel::testing::Http;
using morvel::testing::Morvel;

constexpr const char* Printer = "ZDesigner GK420t";
const std::string Template = "^XA^FO20,20^A0N,30,30^FDrow ${row}: ${name}^FS^FO20,60^A0N,30,30^FD${serial}^FS^XZ";

class BatchTest : public ::testing::Test {
 protected:
  void SetUp() override { std::ofstream(dir_ / "label.zpl", std::ios::binary) << Template; }

  // The data: `rows` rows, row k named "item k", one of them hostile.
  void Data(int rows) {
    std::ofstream csv(dir_ / "data.csv", std::ios::binary);
    csv << "row,name\r\n";
    for (int k = 1; k <= rows; ++k)
      csv << k << "," << (k == 2 ? "\"^XZ^XA^FDinjected^FS~JR \"\"quoted\"\"\"" : "item " + std::to_string(k))
          << "\r\n";
  }

  std::string Command(const std::string& uri, const std::string& args) {
    morvel::testing::WritePrinters(dir_, {{Printer, uri}});
    return "MORVEL_PRINTERS='" + (dir_ / "printers.conf").string() + "' MORVEL_CUPS=0 '" + Morvel + "' batch " + args;
  }

  morvel::testing::CommandOutcome Run(const std::string& uri, const std::string& args) {
    return morvel::testing::RunCommandIn(dir_, Command(uri, args), "");
  }

  // The printed jobs' bytes, oldest first, once `count` have printed.
  std::vector<std::string> Printed(int web, const std::string& jobs, size_t count) {
    nlohmann::json all;
    for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
         std::chrono::steady_clock::now() < until; std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
      all = nlohmann::json::parse(Http(web, "GET", "/api/jobs"), nullptr, false);
      size_t printed = 0;
      for (const auto& j : all)
        if (j["stage"] == "printed") ++printed;
      if (!all.is_discarded() && printed >= count) break;
    }
    std::vector<std::string> bytes;
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
      if ((*it)["stage"] != "printed") continue;
      std::ifstream in(fs::path(jobs) / (*it)["file"].get<std::string>(), std::ios::binary);
      bytes.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return bytes;
  }

  // Each row's printed labels, from the jobs' bytes.
  static std::map<int, int> RowsPrinted(const std::vector<std::string>& jobs) {
    std::map<int, int> rows;
    for (const std::string& job : jobs) {
      const size_t at = job.find("row ");
      if (at != std::string::npos) ++rows[std::atoi(job.c_str() + at + 4)];
    }
    return rows;
  }

  const morvel::testing::TempFolder temp_{"morvel-batch"};
  const fs::path& dir_ = temp_.Path();
  const std::string jobs_ = (dir_ / "jobs").string();
};

TEST_F(BatchTest, EveryRowPrintsOnceConfirmedAndHostileValuesStayText) {
  Data(12);
  EmulatorProcess e(jobs_);
  ASSERT_TRUE(e.Ready());
  const auto run =
      Run("socket://127.0.0.1:" + std::to_string(e.Port("zpl")),
          "label.zpl data.csv -d '" + std::string(Printer) + "' --serial-start 1000 --serial-width 6 --json");
  ASSERT_EQ(run.Status, 0) << run.Out << run.Err;
  const std::string last = run.Out.substr(run.Out.rfind('{'));
  const nlohmann::json summary = nlohmann::json::parse(last);
  EXPECT_EQ(summary["confirmed"], 12) << last;
  EXPECT_EQ(summary["mode"], "confirmed");
  EXPECT_EQ(summary["uncertain"], 0);
  const auto jobs = Printed(e.Port("web"), jobs_, 12);
  ASSERT_EQ(jobs.size(), 12u);
  for (const auto& [row, times] : RowsPrinted(jobs)) EXPECT_EQ(times, 1) << "row " << row;
  EXPECT_EQ(RowsPrinted(jobs).size(), 12u);
  // Each label its own serial; the hostile value escaped into its field.
  EXPECT_NE(jobs[0].find("001000"), std::string::npos) << jobs[0];
  EXPECT_NE(jobs[11].find("001011"), std::string::npos) << jobs[11];
  EXPECT_NE(jobs[1].find("^FH_^FDrow 2: _5EXZ_5EXA_5EFDinjected_5EFS_7EJR \"quoted\"^FS"), std::string::npos)
      << jobs[1];
  // A second run of the same journal is refused: it exists.
  const auto again = Run("socket://127.0.0.1:" + std::to_string(e.Port("zpl")),
                         "label.zpl data.csv -d '" + std::string(Printer) + "'");
  EXPECT_NE(again.Status, 0);
}

TEST_F(BatchTest, APrinterThatCannotConfirmRunsInSentMode) {
  Data(3);
  const auto run = Run("file:out", "label.zpl data.csv -d '" + std::string(Printer) + "' --serial-start 1");
  ASSERT_EQ(run.Status, 0) << run.Out << run.Err;
  EXPECT_NE(run.Out.find("batch: 3 labels: 3 sent whole, 0 void"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("sent mode"), std::string::npos) << run.Out;
}

// The printer runs out of paper after three labels: the batch waits and
// says why, and goes on once paper is back.
TEST_F(BatchTest, APaperOutIsWaitedForAndTold) {
  Data(6);
  EmulatorProcess e(jobs_, {"--paper-out-after", "3"});
  ASSERT_TRUE(e.Ready());
  const int web = e.Port("web");
  morvel::testing::CommandOutcome run;
  std::thread batch([&] {
    run = Run("socket://127.0.0.1:" + std::to_string(e.Port("zpl")),
              "label.zpl data.csv -d '" + std::string(Printer) + "' --serial-start 1 --json");
  });
  for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
       std::chrono::steady_clock::now() < until; std::this_thread::sleep_for(std::chrono::milliseconds(50))) {
    const auto state = nlohmann::json::parse(Http(web, "GET", "/api/state"), nullptr, false);
    if (!state.is_discarded() && state["paper_out"] == true) break;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // the batch asks the printer's state
  Http(web, "POST", "/api/state", R"({"paper_out": false, "paper_out_after": -1})");
  batch.join();
  ASSERT_EQ(run.Status, 0) << run.Out << run.Err;
  EXPECT_NE(run.Out.find("media-empty"), std::string::npos) << run.Out;
  EXPECT_EQ(RowsPrinted(Printed(web, jobs_, 6)).size(), 6u);
}

// Killed with SIGKILL mid-run and resumed: no row skipped, no confirmed
// label printed again; at most the one label in flight is uncertain.
TEST_F(BatchTest, AKilledRunResumesWithoutASkipOrARepeat) {
  constexpr int Rows = 400;
  Data(Rows);
  EmulatorProcess e(jobs_);
  ASSERT_TRUE(e.Ready());
  const std::string uri = "socket://127.0.0.1:" + std::to_string(e.Port("zpl"));
  const std::string command = Command(uri, "label.zpl data.csv -d '" + std::string(Printer) + "' --serial-start 1");
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir_.c_str()) != 0) _exit(126);
    execl("/bin/sh", "sh", "-c", ("exec env " + command + " >/dev/null 2>&1").c_str(), nullptr);
    _exit(127);
  }
  const int web = e.Port("web");
  Printed(web, jobs_, 15);
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  const size_t before = Printed(web, jobs_, 0).size();
  ASSERT_LT(before, static_cast<size_t>(Rows)) << "the run ended before it was killed";
  const auto resumed = Run(uri, "--resume data.journal --uncertain reprint");
  ASSERT_EQ(resumed.Status, 0) << resumed.Out << resumed.Err;
  EXPECT_NE(resumed.Out.find("400 confirmed"), std::string::npos) << resumed.Out;
  const auto jobs = Printed(web, jobs_, Rows);
  const auto rows = RowsPrinted(jobs);
  EXPECT_EQ(rows.size(), static_cast<size_t>(Rows));
  int twice = 0;
  for (const auto& [row, times] : rows) twice += times > 1 ? 1 : 0;
  EXPECT_LE(twice, 1) << "only the label in flight may print again";
}

}  // namespace
