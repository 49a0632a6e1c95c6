// What the RFID results tests of each brand share: `morvel run` of a
// script against one printer of the shared printers file, the "rfid:"
// lines it prints, and the virtual printer's jobs, oldest first.
#pragma once

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "EmulateProcess.h"
#include "support/RunCommand.h"
#include "support/TempFolder.h"
#include "support/TestPrinters.h"

namespace morvel::testing {

struct Reported {
  std::string State, Epc, Tid, Reason;
};

// The "rfid: label N STATE [EPC][<TAB>tid TID][<TAB>reason]" lines of a run, by label.
inline std::map<int, Reported> RfidLines(const std::string& out) {
  std::map<int, Reported> lines;
  std::istringstream in(out);
  static const std::regex line(
      R"(rfid: label (\d+) (written|void|unknown)(?: ([0-9A-F]+))?(?:\t([^\t]*))?(?:\ttid ([0-9A-F]+))?)");
  for (std::string text; std::getline(in, text);) {
    std::smatch m;
    if (!std::regex_match(text, m, line)) continue;
    Reported r{m[2], m[3], m[5], m[4]};
    // A written label's only tab field is its TID.
    if (r.Reason.rfind("tid ", 0) == 0 && r.Tid.empty()) r.Tid = r.Reason.substr(4), r.Reason.clear();
    lines[std::stoi(m[1])] = r;
  }
  return lines;
}

// The bytes of every file in `folder`, one after another.
inline std::string FolderBytes(const std::filesystem::path& folder) {
  std::string bytes;
  for (const auto& f : std::filesystem::directory_iterator(folder)) {
    std::ifstream in(f.path(), std::ios::binary);
    bytes += std::string(std::istreambuf_iterator<char>(in), {});
  }
  return bytes;
}

// A run on a printer that cannot answer: it went well, and each of its
// `labels` RFID labels is unknown, for that reason.
inline void ExpectUnanswered(const CommandOutcome& run, size_t labels) {
  EXPECT_EQ(run.Status, 0) << run.Err;
  const auto reported = RfidLines(run.Out);
  ASSERT_EQ(reported.size(), labels) << run.Out;
  for (const auto& [label, r] : reported) {
    EXPECT_EQ(r.State, "unknown");
    EXPECT_NE(r.Reason.find("carries no answer back"), std::string::npos) << r.Reason;
  }
}

class RfidRunTest : public ::testing::Test {
 protected:
  explicit RfidRunTest(std::string printer) : printer_(std::move(printer)) {}

  CommandOutcome Run(const std::string& script, const std::string& uri, const std::string& env) {
    WritePrinters(dir_, {{printer_, uri}});
    return RunCommandIn(
        dir_,
        "MORVEL_PRINTERS='" + (dir_ / "printers.conf").string() + "' MORVEL_CUPS=0 " + env + " '" + Morvel + "' run -",
        script);
  }

  // The emulator's jobs, oldest first, once `count` of them have come (and,
  // with `printed`, all printed); the deadline only catches a hang.
  nlohmann::json Jobs(int web, size_t count, bool printed = false) {
    nlohmann::json jobs;
    for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
         std::chrono::steady_clock::now() < until;) {
      jobs = nlohmann::json::parse(Http(web, "GET", "/api/jobs"), nullptr, false);
      if (!jobs.is_discarded() && jobs.size() >= count &&
          (!printed ||
           std::all_of(jobs.begin(), jobs.end(), [](const nlohmann::json& j) { return j["stage"] == "printed"; })))
        break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::reverse(jobs.begin(), jobs.end());
    return jobs;
  }

  const std::string printer_;
  const TempFolder temp_{"morvel-rfid"};
  const std::filesystem::path& dir_ = temp_.Path();
  const std::string jobs_ = (dir_ / "jobs").string();
};

}  // namespace morvel::testing
