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
#include "support/Sanitizers.h"
#include "support/TempFolder.h"

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

  const morvel::testing::TempFolder temp_{"morvel-hostile"};
  const fs::path& dir_ = temp_.Path();
  const std::string jobs_ = (dir_ / "jobs").string();
};

constexpr bool Sanitized = morvel::testing::UnderAddressSanitizer;

// Address space the programs get in these tests: what a job may cost fits
// well within it, and a job beyond the bounds would fail here rather than
// take the machine (the sanitizers' shadow memory needs far more).
constexpr rlim_t AddressSpace = 1500ull << 20;

std::string Repeat(const std::string& s, size_t n) {
  std::string out;
  out.reserve(s.size() * n);
  for (size_t k = 0; k < n; ++k) out += s;
  return out;
}

// The 54 bytes of a BMP file's header for a picture of w x h pixels, and no pixel.
std::string BmpHeader(uint32_t w, uint32_t h) {
  std::string b = "BM";
  for (uint32_t v : {54u + 3 * w * h, 0u, 54u, 40u, w, h}) b.append(reinterpret_cast<const char*>(&v), 4);
  for (uint16_t v : {1, 24}) b.append(reinterpret_cast<const char*>(&v), 2);
  return b + std::string(24, '\0');
}

// A graphic of 4,096 dots square from a few kilobytes: a row, then ':'
// (the row again) for every other row.
std::string Square(const std::string& head) { return head + "2097152,512," + "!" + std::string(4095, ':'); }

// Each job is drawn by `morvel preview` and sent to the emulator; both say
// the same why, and neither aborts nor runs out of memory.
TEST_F(EmulateHostile, JobsBeyondWhatTheyMayCostAreToldNeverAborted) {
  const struct {
    const char* Name;
    const char* Language;
    std::string Job;
    const char* Told;
  } cases[] = {
      {"a label of 20,000 dots square", "zpl", "^XA^PW20000^LL20000^FO0,0^GB20000,20000,100^FS^XZ",
       "too large to draw"},
      {"a graphic of 400 million dots from 45 bytes", "zpl", "^XA^FO0,0^GFA,50020000,50020000,2501,00^FS^XZ",
       "^GF of 20008 x 20000 dots is more than a graphic may be"},
      {"a graphic declaring more than its data fills", "zpl", "^XA^FO0,0^GFA,2000000,2000000,500,00^FS^XZ",
       "declares 2000000 bytes, more than its 2 bytes of data can fill"},
      {"one stored graphic drawn three times", "zpl",
       Square("~DGR:A.GRF,") + "^XA" + Repeat("^FO0,0^IMR:A.GRF^FS", 3) + "^XZ",
       "^IM of A.GRF would take the label's rasters past 33554432 dots"},
      {"three stored graphics", "zpl", Square("~DGR:A.GRF,") + Square("~DGR:B.GRF,") + Square("~DGR:C.GRF,"),
       "~DG C.GRF would take the job's stored graphics past 33554432 dots"},
      {"a megabyte of text in a field block", "zpl",
       "^XA^FO10,10^A0N,30,30^FB800,100,0,L^FD" + Repeat("word ", 200000) + "^FS^XZ",
       "text of 1000000 bytes cut to its first 3072"},
      {"a QR code of a megabyte", "zpl", "^XA^FO10,10^BQN,2,10^FDMA," + std::string(1000000, 'x') + "^FS^XZ",
       "(1000000 bytes) left out"},
      {"a BMP header of 30,000 pixels square", "sbpl",
       "\x1b"
       "A\x1bH0010\x1bV0010\x1bGM54," +
           BmpHeader(30000, 30000) + "\x1bQ1\x1bZ",
       "picture of 30000 x 30000 pixels is more than a graphic may be"},
      {"a small picture printed 1,001 times", "tspl",
       "SIZE 50 mm,30 mm\r\nCLS\r\nBITMAP 0,0,2,16,0," + std::string(32, '\0') + "\r\n" + Repeat("PRINT 1\r\n", 1001),
       "1001 labels: the first 1000 pictured, the other 1 counted"},
  };
  const std::function<void()> limited = [] {
    const rlimit space{AddressSpace, AddressSpace};
    if (!Sanitized) setrlimit(RLIMIT_AS, &space);
  };
  EmulatorProcess e(jobs_, {}, limited);
  ASSERT_TRUE(e.Ready());
  const std::string ulimit = Sanitized ? "" : "ulimit -v " + std::to_string(AddressSpace >> 10) + "; ";
  for (size_t k = 0; k < std::size(cases); ++k) {
    SCOPED_TRACE(cases[k].Name);
    const std::string file = "job" + std::to_string(k) + "." + cases[k].Language;
    std::ofstream(dir_ / file, std::ios::binary) << cases[k].Job;
    Outcome o = Run(ulimit + "'" + std::string(Morvel) + "' preview " + file + " -o out/ --language " +
                    (cases[k].Language == std::string("tspl") ? "orx" : cases[k].Language));
    EXPECT_TRUE(o.Exited) << "ended by a signal: " << o.Err.substr(0, 2000);
    EXPECT_NE(o.Err.find(cases[k].Told), std::string::npos) << o.Err.substr(0, 2000);
    SendJob(e.Port(cases[k].Language), cases[k].Job);
  }
  auto jobs = WaitForJobs(e.Port("web"), [&](const nlohmann::json& j) {
    size_t done = 0;
    for (auto& job : j) done += job["stage"] == "printed";
    return done == std::size(cases);
  });
  size_t told = 0;
  for (auto& job : jobs) {
    const std::string bytes = ReadAll(fs::path(jobs_) / job["file"].get<std::string>());
    for (const auto& c : cases)
      if (c.Job == bytes) {
        ++told;
        EXPECT_NE(job["warnings"].dump().find(c.Told), std::string::npos) << c.Name << job.dump().substr(0, 2000);
        // Records quote the start of a long field, never all of it.
        EXPECT_LT(job["warnings"].dump().size(), 4096u) << c.Name;
      }
  }
  EXPECT_EQ(told, std::size(cases));
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

// 300 labels of 100 serial copies each make 30,000 pictures from 13 KB:
// the first 1,000 are pictured, the rest counted, and a one-label job sent
// after it prints while it goes on, not after.
TEST_F(EmulateHostile, ManyPicturesAreBoundedAndASmallJobIsNotStarved) {
  EmulatorProcess e(jobs_, {"--paused"});
  ASSERT_TRUE(e.Ready());
  const int web = e.Port("web");
  SendJob(e.Port("zpl"), Repeat("^XA^FO10,10^A0N,30,30^SN001,1,Y^FS^PQ100^XZ", 300));
  WaitForJobs(web, [](const nlohmann::json& j) { return j.size() == 1; });
  SendJob(e.Port("zpl"), Label);
  WaitForJobs(web, [](const nlohmann::json& j) { return j.size() == 2; });
  Http(web, "POST", "/api/state", R"({"paused": false})");
  auto jobs = WaitForJobs(web, [](const nlohmann::json& j) {
    return j.size() == 2 && j[0]["stage"] == "printed" && j[1]["stage"] == "printed";
  });
  ASSERT_EQ(jobs.size(), 2u);
  const nlohmann::json& large = jobs[1];
  const nlohmann::json& small = jobs[0];
  EXPECT_EQ(large["labels"], 30000);
  EXPECT_EQ(large["labels_printed"], 30000);
  ASSERT_EQ(large["pictures"].size(), 1000u);
  EXPECT_NE(large["warnings"].dump().find("30000 labels: the first 1000 pictured, the other 29000 counted"),
            std::string::npos)
      << large["warnings"].dump();
  ASSERT_EQ(small["pictures"].size(), 1u);
  // The small job's picture was written before the large job's last one.
  EXPECT_LT(fs::last_write_time(fs::path(jobs_) / small["pictures"][0].get<std::string>()),
            fs::last_write_time(fs::path(jobs_) / large["pictures"][999].get<std::string>()));
}

// The jobs folder is the emulator's own: a folder others may write, or
// another user's, is refused; links planted in it lead nowhere.
TEST_F(EmulateHostile, JobsFolderOfOthersIsRefusedAndItsLinksLeadNowhere) {
  const struct {
    const char* Name;
    fs::perms Mode;
    uid_t Owner;
    const char* Told;
  } refused[] = {
      {"group may write", fs::perms(0770), getuid(), "may be written by its group or by others (mode 770)"},
      {"anyone may write", fs::perms(0777), getuid(), "may be written by its group or by others (mode 777)"},
      {"another user's", fs::perms(0700), 65534, "belongs to uid 65534, not to this user"},
  };
  for (const auto& r : refused) {
    SCOPED_TRACE(r.Name);
    const fs::path folder = dir_ / (std::string("refused-") + std::to_string(&r - refused));
    fs::create_directory(folder);
    fs::permissions(folder, r.Mode, fs::perm_options::replace);
    if (r.Owner != getuid() && chown(folder.c_str(), r.Owner, r.Owner) != 0) continue;  // not root: cannot give it away
    Outcome o = Run("'" + std::string(Morvel) + "' emulate --zpl 0 --sbpl off --tspl off --epl2 off --jobs '" +
                    folder.string() + "'");
    EXPECT_EQ(o.Status, 1) << o.Err;
    EXPECT_NE(o.Err.find(r.Told), std::string::npos) << o.Err;
  }

  EmulatorProcess e(jobs_);
  ASSERT_TRUE(e.Ready());
  const int web = e.Port("web");
  SendJob(e.Port("zpl"), Label);
  WaitForJobs(web, [](const nlohmann::json& j) { return j.size() == 1 && j[0]["stage"] == "printed"; });
  std::ofstream(dir_ / "secret") << "secret";
  std::ofstream(dir_ / "victim") << "victim";
  // A picture swapped for a link is not served; a link at the next job's
  // name, or its record's, is passed over or replaced, never written through.
  fs::remove(fs::path(jobs_) / "000001-1.png");
  fs::create_symlink(dir_ / "secret", fs::path(jobs_) / "000001-1.png");
  fs::create_symlink(dir_ / "victim", fs::path(jobs_) / "000002.zpl");
  fs::create_symlink(dir_ / "victim", fs::path(jobs_) / "000003.json");
  const std::string picture = Http(web, "GET", "/pictures/000001-1.png", "", "", true);
  EXPECT_EQ(picture.substr(9, 3), "404") << picture;
  EXPECT_EQ(picture.find("secret"), std::string::npos);
  SendJob(e.Port("zpl"), Label);
  auto jobs = WaitForJobs(web, [](const nlohmann::json& j) { return j.size() == 2 && j[0]["stage"] == "printed"; });
  EXPECT_EQ(jobs[0]["file"], "000003.zpl");
  EXPECT_EQ(ReadAll(dir_ / "victim"), "victim");
  EXPECT_EQ(ReadAll(dir_ / "secret"), "secret");
  EXPECT_FALSE(fs::is_symlink(fs::path(jobs_) / "000003.json"));
}

// Loopback is every account's: another one (nobody, uid 65534) is served
// neither the page, its pictures and state, nor the raw ports; the records
// name files, never where the folder is.
TEST_F(EmulateHostile, OtherAccountsAreNotServed) {
  if (getuid() != 0) GTEST_SKIP() << "runs a client as nobody, which needs root";
  EmulatorProcess e(jobs_);
  ASSERT_TRUE(e.Ready());
  const int web = e.Port("web");
  SendJob(e.Port("zpl"), Label);
  auto jobs = WaitForJobs(web, [](const nlohmann::json& j) { return j.size() == 1 && j[0]["stage"] == "printed"; });
  EXPECT_EQ(jobs.dump().find(jobs_), std::string::npos) << jobs.dump();
  const std::string w = std::to_string(web), z = std::to_string(e.Port("zpl"));
  const std::string head = " HTTP/1.1\r\nHost: 127.0.0.1:" + w + "\r\nConnection: close\r\n";
  const std::string body = R"({"paper_out_after": 7})";
  const struct {
    const char* Name;
    std::string Port, Request;
  } asks[] = {
      {"the jobs", w, "GET /api/jobs" + head + "\r\n"},
      {"a picture", w, "GET /pictures/000001-1.png" + head + "\r\n"},
      {"a change of state", w,
       "POST /api/state" + head + "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + body},
      {"the printer's status", z, "~HS"},
      {"a job", z, Label},
  };
  for (const auto& a : asks) {
    SCOPED_TRACE(a.Name);
    // bash's /dev/tcp as the client, the request on its standard input;
    // timeout ends a read that gets nothing.
    const std::string client = "bash -c 'exec 3<>/dev/tcp/127.0.0.1/" + a.Port + " && cat >&3 && timeout 2 cat <&3'";
    const std::string before = Http(web, "GET", "/api/state");
    Outcome theirs = morvel::testing::RunCommandIn(dir_, "runuser -u nobody -- " + client, a.Request);
    EXPECT_TRUE(theirs.Out.empty()) << theirs.Out.substr(0, 500);
    EXPECT_EQ(Http(web, "GET", "/api/state"), before);
    Outcome mine = morvel::testing::RunCommandIn(dir_, client, a.Request);
    if (a.Name != std::string("a job")) {
      EXPECT_NE(mine.Out.find(a.Port == w ? "200 OK" : "\x02"), std::string::npos) << mine.Out.substr(0, 300);
    }
  }
  jobs = WaitForJobs(web, [](const nlohmann::json& j) { return j.size() == 2 && j[0]["stage"] == "printed"; });
  EXPECT_EQ(jobs.size(), 2u);  // mine; theirs never came
  EXPECT_NE(Http(web, "GET", "/api/state").find("\"paper_out_after\":6"), std::string::npos);  // my change, my label
}

// CPU seconds a process has used, from /proc.
double CpuSeconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string field;
  for (int k = 1; k <= 13 && stat >> field; ++k) {
  }
  long user = 0, system = 0;
  stat >> user >> system;
  return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// With its descriptors run out (64 of them) by idle connections to the
// page and the raw ports, the emulator waits rather than giving up or
// spinning, and serves again once they have gone.
TEST_F(EmulateHostile, DescriptorsRunOutAndServingComesBack) {
  // UBSan's type check of an exception makes a pipe to test memory it
  // reads; with no descriptor left that fails, and it reports a fault.
  if (Sanitized) GTEST_SKIP() << "the sanitizers need descriptors of their own";
  EmulatorProcess e(jobs_, {}, [] {
    const rlimit few{64, 64};
    setrlimit(RLIMIT_NOFILE, &few);
  });
  ASSERT_TRUE(e.Ready());
  const int web = e.Port("web");
  std::vector<int> idle;
  for (int k = 0; k < 120; ++k)
    for (const char* port : {"web", "zpl"}) idle.push_back(morvel::testing::Connect(e.Port(port)));
  const double before = CpuSeconds(e.Pid());
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const double spent = CpuSeconds(e.Pid()) - before;
  for (int fd : idle)
    if (fd >= 0) close(fd);
  // Waiting costs next to nothing; a loop that spins takes a core (2 s).
  EXPECT_LT(spent, 1.0);
  SendJob(e.Port("zpl"), Label);
  auto jobs = WaitForJobs(web, [](const nlohmann::json& j) { return j.size() == 1 && j[0]["stage"] == "printed"; });
  EXPECT_EQ(jobs.size(), 1u);
}

// 300 idle connections to the ZPL port once filled a bound all languages
// shared: each port now has its places, a newcomer takes the place of the
// connection silent longest, and silence past --idle ends a connection.
TEST_F(EmulateHostile, IdleConnectionsNeverLockAPortOut) {
  EmulatorProcess e(jobs_, {"--idle", "3"});
  ASSERT_TRUE(e.Ready());
  std::vector<int> idle;
  for (int k = 0; k < 300; ++k) {
    idle.push_back(morvel::testing::Connect(e.Port("zpl")));
    ASSERT_GE(idle.back(), 0) << k;
  }
  const struct {
    const char* Port;
    std::string Query;
  } asks[] = {{"zpl", "~HS"}, {"sbpl", "\x05"}, {"tspl", "\x1b!?"}};
  for (const auto& a : asks) {
    SCOPED_TRACE(a.Port);
    const int fd = morvel::testing::Connect(e.Port(a.Port));
    ASSERT_GE(fd, 0);
    morvel::testing::SendAll(fd, a.Query);
    char answer[256];
    EXPECT_GT(recv(fd, answer, sizeof answer, 0), 0);
    close(fd);
  }
  // The oldest gave way at once; the newest is ended by its silence.
  char byte;
  EXPECT_EQ(recv(idle.front(), &byte, 1, 0), 0);
  EXPECT_EQ(recv(idle.back(), &byte, 1, 0), 0);
  for (int fd : idle) close(fd);
}

}  // namespace
