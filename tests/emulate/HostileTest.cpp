// Hostile jobs, users and pages against the real `morvel emulate` and
// `morvel preview`: labels and graphics beyond what a label holds, jobs that
// would make pictures without end, planted links in the jobs folder, other
// accounts, descriptors run out and idle connections holding the ports.
// Each says why it refused, in the record and on standard error alike, and
// the emulator goes on serving.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "EmulateProcess.h"
#include "support/RunCommand.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using morvel::testing::EmulatorProcess;
using morvel::testing::Http;
using morvel::testing::Morvel;
using morvel::testing::SendJob;
using Outcome = morvel::testing::CommandOutcome;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class EmulateHostile : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/morvel-hostile-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    jobs_ = (dir_ / "jobs").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  // The records once `done` holds for them; a deadline only catches a hang.
  nlohmann::json WaitForJobs(int web, const std::function<bool(const nlohmann::json&)>& done) {
    nlohmann::json jobs;
    for (auto until = Clock::now() + std::chrono::seconds(120); Clock::now() < until;) {
      jobs = nlohmann::json::parse(Http(web, "GET", "/api/jobs"), nullptr, false);
      if (!jobs.is_discarded() && done(jobs)) return jobs;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ADD_FAILURE() << "the jobs never came: " << jobs.dump().substr(0, 4000);
    return jobs;
  }

  Outcome Run(const std::string& commandLine) { return morvel::testing::RunCommandIn(dir_, commandLine); }

  fs::path dir_;
  std::string jobs_;
};

// Each job is drawn by `morvel preview` and sent to the emulator; both say
// the same why, and neither aborts.
TEST_F(EmulateHostile, LabelsBeyondWhatTheyMayCostAreToldNeverAborted) {
  const struct {
    const char* Name;
    std::string Job;
    const char* Told;
  } cases[] = {
      {"a label of 20,000 dots square", "^XA^PW20000^LL20000^FO0,0^GB20000,20000,100^FS^XZ", "too large to draw"},
  };
  EmulatorProcess e(jobs_);
  ASSERT_TRUE(e.Ready());
  for (size_t k = 0; k < std::size(cases); ++k) {
    SCOPED_TRACE(cases[k].Name);
    const std::string file = "job" + std::to_string(k) + ".zpl";
    std::ofstream(dir_ / file, std::ios::binary) << cases[k].Job;
    Outcome o = Run("'" + std::string(Morvel) + "' preview " + file + " -o out/");
    EXPECT_TRUE(o.Exited) << "ended by a signal: " << o.Err;
    EXPECT_NE(o.Err.find(cases[k].Told), std::string::npos) << o.Err.substr(0, 2000);
    SendJob(e.Port("zpl"), cases[k].Job);
  }
  auto jobs = WaitForJobs(e.Port("web"), [&](const nlohmann::json& j) {
    size_t done = 0;
    for (auto& job : j) done += job["stage"] == "printed";
    return done == std::size(cases);
  });
  for (auto& job : jobs) {
    const std::string bytes = ReadAll(fs::path(jobs_) / fs::path(job["file"].get<std::string>()).filename());
    for (const auto& c : cases)
      if (c.Job == bytes) {
        EXPECT_NE(job["warnings"].dump().find(c.Told), std::string::npos) << c.Name << job.dump();
      }
  }
}

const std::string Label = "^XA^FO20,20^A0N,30,30^FDLot 7^FS^XZ";

// Numbers go on past the largest kept, whatever its width: the seventh
// digit once read as the sixth made 1000000 come again after 999999.
TEST_F(EmulateHostile, JobNumbersGoPastTheLargestKeptAndNoNameIsUsedTwice) {
  fs::create_directories(jobs_);
  fs::permissions(jobs_, fs::perms::owner_all, fs::perm_options::replace);
  std::ofstream(jobs_ + "/999999.zpl") << "kept 999999";
  std::ofstream(jobs_ + "/1000000.zpl") << "kept 1000000";
  for (int round = 0; round < 2; ++round) {
    EmulatorProcess e(jobs_);
    ASSERT_TRUE(e.Ready());
    SendJob(e.Port("zpl"), Label);
    auto jobs = WaitForJobs(e.Port("web"), [](const nlohmann::json& j) { return j.size() == 1; });
    EXPECT_EQ(jobs[0]["id"], 1000001 + round);
    EXPECT_EQ(jobs[0]["file"], std::to_string(1000001 + round) + ".zpl");
  }
  EXPECT_EQ(ReadAll(jobs_ + "/999999.zpl"), "kept 999999");
  EXPECT_EQ(ReadAll(jobs_ + "/1000000.zpl"), "kept 1000000");
}

}  // namespace
