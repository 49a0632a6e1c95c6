// A real `morvel emulate` on loopback: jobs from the network and from
// `morvel run` kept and pictured, status asked by `morvel status` of every
// brand in every state, the buffer while the printer cannot print, cut
// jobs, garbage, half jobs, many connections at once, and a real cupsd raw
// queue whose device is the emulator.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>
#include <tuple>

#include "EmulateProcess.h"
#include "hosts/serve/Session.h"
#include "morvel/status.h"
#include "platform/services.h"
#include "support/CaptureListener.h"
#include "support/CupsServer.h"
#include "support/RunCommand.h"
#include "support/ScopedEnv.h"
#include "support/TempFolder.h"
#include "support/TestPrinters.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using morvel::testing::Connect;
using morvel::testing::EmulatorProcess;
using morvel::testing::Http;
using morvel::testing::Morvel;
using morvel::testing::SendAll;
using morvel::testing::SendJob;
using morvel::testing::SocketUri;

using Outcome = morvel::testing::CommandOutcome;

class EmulateTest : public ::testing::Test {
 protected:
  // A printer of each brand the emulator speaks for, on its port.
  void WritePrinters(EmulatorProcess& e, const std::string& more = "") {
    morvel::testing::WritePrinters(dir_,
                                   {{"ZDesigner GK420t", SocketUri(e.Port("zpl"))},
                                    {"SATO CL4NX 305dpi", SocketUri(e.Port("sbpl"))},
                                    {"Orx TE200", SocketUri(e.Port("tspl"))}},
                                   more);
  }

  Outcome Run(const std::string& args, const std::string& input = "", const std::string& env = "MORVEL_CUPS=0") {
    return morvel::testing::RunCommandIn(
        dir_, "MORVEL_PRINTERS='" + (dir_ / "printers.conf").string() + "' " + env + " '" + Morvel + "' " + args,
        input);
  }

  // Waits, with a deadline that only catches a hang, until `done` holds for the job list.
  nlohmann::json WaitForJobs(int web, const std::function<bool(const nlohmann::json&)>& done) {
    nlohmann::json jobs;
    for (auto until = Clock::now() + std::chrono::seconds(60); Clock::now() < until;) {
      jobs = nlohmann::json::parse(Http(web, "GET", "/api/jobs"), nullptr, false);
      if (!jobs.is_discarded() && done(jobs)) return jobs;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ADD_FAILURE() << "the jobs never came: " << jobs.dump();
    return jobs;
  }

  const morvel::testing::TempFolder temp_{"morvel-emulate"};
  const fs::path& dir_ = temp_.Path();
  const std::string jobs_ = (dir_ / "jobs").string();
};

std::string Script(const std::string& printer, const std::string& text) {
  return "SetPrint \"" + printer + "\"\nOpenPort \"" + printer + "\"\nInitPrint 60 40 4 10 2 1 0\nPrintFont 10 20 \"" +
         text + "\" 12 F1.TTF\nPrintLabel 1\nClosePort\n";
}

const std::string Label = "^XA^FO20,20^A0N,30,30^FDLot 7^FS^FO20,80^BCN,60,Y,N,N^FD12345678^FS^XZ";

TEST_F(EmulateTest, EveryBrandInEveryStateAsMorvelStatusTellsIt) {
  const struct {
    std::vector<std::string> Flags;
    const char* Zebra;
    const char* Sato;
    const char* Orx;
    int Exit;
  } cases[] = {
      {{}, "idle\tnone", "idle\tnone", "idle\tnone", 0},
      {{"--paper-out"}, "stopped\tmedia-empty", "stopped\tmedia-empty", "stopped\tmedia-empty", 4},
      {{"--head-open"}, "stopped\tcover-open", "stopped\tcover-open", "stopped\tcover-open", 4},
      {{"--ribbon-out"},
       "stopped\tmarker-supply-empty",
       "stopped\tmarker-supply-empty",
       "stopped\tmarker-supply-empty",
       4},
      {{"--paused"}, "stopped\tpaused", "stopped\toffline", "stopped\tpaused", 4},
      {{"--paper-out", "--head-open"},
       "stopped\tmedia-empty,cover-open",
       "stopped\tcover-open",
       "stopped\tcover-open,media-empty",
       4},
  };
  for (const auto& c : cases) {
    std::string shown;
    for (const auto& f : c.Flags) shown += f + " ";
    SCOPED_TRACE(shown);
    EmulatorProcess e(jobs_, c.Flags);
    ASSERT_TRUE(e.Ready());
    WritePrinters(e);
    Outcome o = Run("status");
    EXPECT_EQ(o.Status, c.Exit) << o.Err;
    EXPECT_EQ(o.Out, std::string("ZDesigner GK420t\t") + c.Zebra + "\nSATO CL4NX 305dpi\t" + c.Sato + "\nOrx TE200\t" +
                         c.Orx + "\n");
  }
}

// A printer that accepts and stays silent has timed out; one that is not
// there (nothing listens, its name is not known) is offline, with the cause.
TEST_F(EmulateTest, SilentPrinterTimesOutAbsentOnesAreOfflineAndMissingOneIsNamed) {
  morvel::testing::CaptureListener silent(morvel::testing::CaptureListener::Mode::NeverRead);
  morvel::testing::CaptureListener off(morvel::testing::CaptureListener::Mode::Refuse);
  ASSERT_TRUE(silent.Ready() && off.Ready());
  // A port past 65535 would wrap round to the silent one.
  std::ofstream(dir_ / "printers.conf") << "[ZDesigner silent]\nuri = socket://127.0.0.1:" << silent.Port()
                                        << "\n\n[Files]\nuri = file:" << dir_.string()
                                        << "\n\n[ZDesigner far]\nuri = socket://127.0.0.1:" << silent.Port() + 65536
                                        << "\n[ZDesigner off]\nuri = socket://127.0.0.1:" << off.Port() << "\n"
                                        << "[SATO gone]\nuri = socket://no-such-printer.invalid:9100\n"
                                        << "[Shelf EPL2]\nuri = socket://127.0.0.1:" << silent.Port() << "\n";
  const struct {
    const char* Args;
    int Exit;
    const char* Out;
  } cases[] = {
      {"status 'ZDesigner silent' --timeout 300", 4, "ZDesigner silent\tunknown\ttimed-out\n"},
      {"status Files", 0, "Files\tidle\tnone\n"},
      {"status Nobody", 4, "Nobody\tunknown\tother\n"},
      {"status 'ZDesigner off'", 4, "ZDesigner off\tstopped\toffline\n"},
      {"status 'SATO gone'", 4, "SATO gone\tstopped\toffline\n"},
      {"status 'ZDesigner far' --timeout 300", 4, "ZDesigner far\tunknown\tother\n"},
      // EPL2's guide gives no status query on a network port: nothing is asked.
      {"status 'Shelf EPL2' --timeout 300", 4, "Shelf EPL2\tunknown\tother\n"},
      {"status --timeout x", 2, ""},  // usage errors: 2, as every command's
      {"status --bogus", 2, ""},
  };
  for (const auto& c : cases) {
    Outcome o = Run(c.Args);
    EXPECT_EQ(o.Status, c.Exit) << c.Args << "\n" << o.Err;
    EXPECT_EQ(o.Out, c.Out) << c.Args;
    if (c.Exit == 2) continue;  // a usage error reads no printers
    EXPECT_NE(o.Err.find("printers.conf:8: uri 'socket://127.0.0.1:" + std::to_string(silent.Port() + 65536) +
                         "': the port must be 1..65535; printer 'ZDesigner far' left out"),
              std::string::npos)
        << o.Err;
  }
  Outcome json = Run("status 'ZDesigner silent' --json --timeout 200");
  auto line = nlohmann::json::parse(json.Out, nullptr, false);
  ASSERT_FALSE(line.is_discarded()) << json.Out;
  EXPECT_EQ(line["state"], "unknown");
  EXPECT_EQ(line["reasons"], nlohmann::json::array({"timed-out"}));
  EXPECT_FALSE(line.contains("cause"));
  for (auto [printer, cause] :
       {std::pair{"'ZDesigner off'", "connection refused"}, {"'SATO gone'", "name not found"}}) {
    line = nlohmann::json::parse(Run(std::string("status --json ") + printer).Out, nullptr, false);
    EXPECT_EQ(line["cause"], cause) << line.dump();
  }
}

TEST_F(EmulateTest, LabelsFromMorvelRunArePicturedAndBufferedWhilePaused) {
  EmulatorProcess e(jobs_, {"--paused"});
  ASSERT_TRUE(e.Ready());
  WritePrinters(e);
  const int web = e.Port("web");
  Outcome run = Run("run", Script("ZDesigner GK420t", "Lot 7"));
  ASSERT_EQ(run.Status, 0) << run.Out << run.Err;
  auto jobs = WaitForJobs(web, [](const nlohmann::json& j) { return j.size() == 1; });
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0]["stage"], "waiting");
  EXPECT_TRUE(jobs[0]["pictures"].empty());
  Outcome waiting = Run("status 'ZDesigner GK420t'");
  EXPECT_EQ(waiting.Out, "ZDesigner GK420t\tstopped\tpaused\n");

  // Printing again prints what waited.
  EXPECT_NE(Http(web, "POST", "/api/state", R"({"paused": false})").find("\"ready\":true"), std::string::npos);
  jobs = WaitForJobs(web, [](const nlohmann::json& j) { return j.size() == 1 && j[0]["stage"] == "printed"; });
  ASSERT_EQ(jobs[0]["pictures"].size(), 1u);
  // The records name files in the folder, never where the folder is.
  const std::string png = jobs[0]["pictures"][0];
  EXPECT_EQ(png, "000001-1.png");
  EXPECT_EQ(jobs[0]["file"], "000001.zpl");
  std::ifstream picture(jobs_ + "/" + png, std::ios::binary);
  char magic[8] = {};
  picture.read(magic, 8);
  EXPECT_EQ(std::string(magic, 8), "\x89PNG\r\n\x1a\n");
  EXPECT_EQ(Http(web, "GET", "/pictures/" + png).substr(0, 4), "\x89PNG");
  EXPECT_TRUE(fs::exists(jobs_ + "/000001.zpl"));
  EXPECT_TRUE(fs::exists(jobs_ + "/000001.json"));

  // Bad state bodies are refused, the state unchanged.
  for (const char* bad : {"[1]", R"({"paper_out": 1})", R"({"jam": true})", R"({"paper_out_after": -5})", "{"})
    EXPECT_NE(Http(web, "POST", "/api/state", bad).find("error"), std::string::npos) << bad;
  EXPECT_NE(Http(web, "GET", "/api/state").find("\"ready\":true"), std::string::npos);

  // Only the emulator's own page changes the state: a request a page
  // elsewhere can send without asking first is refused, as is a page of
  // another origin, or of a site's name that resolves here.
  const std::string own = "127.0.0.1:" + std::to_string(web);
  const struct {
    std::string Headers;
    const char* Status;
  } requests[] = {
      {"Content-Type: text/plain;application/json\r\n", "415"},
      {"Content-Type: application/jsonp\r\n", "415"},
      {"Content-Type: application/json\r\nOrigin: http://evil.example\r\n", "403"},
      {"Content-Type: application/json\r\nOrigin: null\r\n", "403"},
      {"Content-Type: application/json\r\nHost: evil.example:" + std::to_string(web) +
           "\r\nOrigin: http://evil.example:" + std::to_string(web) + "\r\n",
       "403"},
      {"Content-Type: Application/JSON; charset=utf-8\r\nOrigin: http://" + own + "\r\n", "200"},
      {"Content-Type: application/json\r\nHost: localhost:" + std::to_string(web) +
           "\r\nOrigin: http://localhost:" + std::to_string(web) + "\r\n",
       "200"},
  };
  for (const auto& r : requests) {
    const std::string reply = Http(web, "POST", "/api/state", R"({"paused": true})", r.Headers, true);
    EXPECT_EQ(reply.substr(9, 3), r.Status) << r.Headers;
    EXPECT_EQ(Http(web, "GET", "/api/state").find("\"paused\":true") != std::string::npos,
              std::string(r.Status) == "200")
        << r.Headers;
    Http(web, "POST", "/api/state", R"({"paused": false})");
  }
}

TEST_F(EmulateTest, PaperRunsOutAfterTheLabelsTold) {
  EmulatorProcess e(jobs_, {"--paper-out-after", "2"});
  ASSERT_TRUE(e.Ready());
  WritePrinters(e);
  const int web = e.Port("web");
  SendJob(e.Port("zpl"), Label + Label + Label);
  // The engine stops at the third label and puts the job back in the buffer.
  auto jobs = WaitForJobs(web, [](const nlohmann::json& j) {
    return j.size() == 1 && j[0]["stage"] == "waiting" && j[0]["labels_printed"] != 0;
  });
  EXPECT_EQ(jobs[0]["labels_printed"], 2);
  EXPECT_EQ(jobs[0]["labels"], 3);
  Outcome o = Run("status 'ZDesigner GK420t'");
  EXPECT_EQ(o.Out, "ZDesigner GK420t\tstopped\tmedia-empty\n");
  EXPECT_EQ(o.Status, 4);
  Http(web, "POST", "/api/state", R"({"paper_out": false})");
  jobs = WaitForJobs(web, [](const nlohmann::json& j) { return j.size() == 1 && j[0]["stage"] == "printed"; });
  EXPECT_EQ(jobs[0]["pictures"].size(), 3u);
}

// A printer loaded with RFID tags carries out each label's tag operations
// on the next tag of its roll. A tag that fails voids its label and the
// label is tried on the next, up to ^RS's labels to try; then the format is
// dropped (N), or the printer pauses (P) and tries the label again when it
// goes on. Each tag is in the job's record: the ground truth of results.
TEST_F(EmulateTest, RfidRollVoidsFailingTagsAsRsSays) {
  EmulatorProcess e(jobs_, {"--rfid", "--rfid-fail", "2,3,6,7,8,9,10"});
  ASSERT_TRUE(e.Ready());
  const int web = e.Port("web");
  auto label = [](int k) {
    return "^XA^FO20,20^A0N,30,30^FDCase " + std::to_string(k) + "^FS^RFW,H^FD30740000000000000000000" +
           std::to_string(k) + "^FS^XZ";
  };
  SendJob(e.Port("zpl"), "^XA^RS8,0,,3,N" + label(1).substr(3) + label(2) + label(3) + label(4));
  auto jobs = WaitForJobs(web, [](const nlohmann::json& j) { return j.size() == 1 && j[0]["stage"] == "printed"; });
  // Each tag: label, try, place in the roll, result, EPC.
  using Tag = std::tuple<int, int, int, std::string, std::string>;
  auto tags = [](const nlohmann::json& job) {
    std::vector<Tag> out;
    for (const auto& t : job["tags"]) out.emplace_back(t["label"], t["try"], t["place"], t["result"], t["epc"]);
    return out;
  };
  EXPECT_EQ(tags(jobs[0]), (std::vector<Tag>{{1, 1, 1, "written", "307400000000000000000001"},
                                             {2, 1, 2, "void", ""},
                                             {2, 2, 3, "void", ""},
                                             {2, 3, 4, "written", "307400000000000000000002"},
                                             {3, 1, 5, "written", "307400000000000000000003"},
                                             {4, 1, 6, "void", ""},
                                             {4, 2, 7, "void", ""},
                                             {4, 3, 8, "void", ""}}));
  EXPECT_EQ(jobs[0]["pictures"],
            nlohmann::json({"000001-1.png", "000001-2-void-1.png", "000001-2-void-2.png", "000001-2.png",
                            "000001-3.png", "000001-4-void-1.png", "000001-4-void-2.png", "000001-4-void-3.png"}));
  EXPECT_EQ(jobs[0]["warnings"], nlohmann::json({"label 4: its tag failed on 3 labels (^RS); the format was dropped"}));
  std::set<std::string> tids;
  for (const auto& t : jobs[0]["tags"]) tids.insert(t["tid"].get<std::string>());
  EXPECT_EQ(tids.size(), 8u) << "every tag of the roll has its own TID";

  // Pause on failure: places 9 and 10 fail, the printer pauses with the
  // label still to print, and prints it on place 11 when it goes on.
  SendJob(e.Port("zpl"), "^XA^RS8,0,,2,P^FO20,20^FDAgain^FS^RFW,H^FD3074000000000000000000AA^FS^XZ");
  jobs = WaitForJobs(web, [](const nlohmann::json& j) {
    return j.size() == 2 && j[0]["stage"] == "waiting" && j[0].contains("tags");
  });
  EXPECT_EQ(tags(jobs[0]), (std::vector<Tag>{{1, 1, 9, "void", ""}, {1, 2, 10, "void", ""}}));
  EXPECT_EQ(jobs[0]["labels_printed"], 0);
  EXPECT_EQ(nlohmann::json::parse(Http(web, "GET", "/api/state"))["paused"], true);
  Http(web, "POST", "/api/state", R"({"paused": false})");
  jobs = WaitForJobs(web, [](const nlohmann::json& j) { return j.size() == 2 && j[0]["stage"] == "printed"; });
  EXPECT_EQ(tags(jobs[0]),
            (std::vector<Tag>{
                {1, 1, 9, "void", ""}, {1, 2, 10, "void", ""}, {1, 1, 11, "written", "3074000000000000000000AA"}}));

  // SATO's EPC command takes a tag as well, by the default rules.
  SendJob(e.Port("sbpl"),
          "\x1b"
          "A\x1b"
          "IP0e:h,epc:3074257BF7194E4000001A85;\x1b"
          "V20\x1b"
          "H20\x1b"
          "FW0505H0100V0050\x1b"
          "Q1\x1b"
          "Z");
  jobs = WaitForJobs(web, [](const nlohmann::json& j) { return j.size() == 3 && j[0]["stage"] == "printed"; });
  EXPECT_EQ(tags(jobs[0]), (std::vector<Tag>{{1, 1, 12, "written", "3074257BF7194E4000001A85"}}));
}

// A job that gives no label size prints on the media loaded: 4 x 6 inches
// unless told, one size for every port, and a port's own after it.
TEST_F(EmulateTest, JobsWithoutASizePrintOnTheirPortsMedia) {
  EmulatorProcess e(jobs_, {"--media", "50x30", "--media", "sbpl:100x150.5"});
  ASSERT_TRUE(e.Ready());
  const int web = e.Port("web");
  SendJob(e.Port("zpl"), "^XA^FO20,20^GB100,50,50^FS^XZ");
  SendJob(e.Port("sbpl"),
          "\x1b"
          "A\x1b"
          "V20\x1b"
          "H20\x1b"
          "FW0505H0100V0050\x1b"
          "Q1\x1b"
          "Z");
  SendJob(e.Port("tspl"), "CLS\r\nBAR 20,20,100,50\r\nPRINT 1\r\n");
  auto jobs = WaitForJobs(web, [](const nlohmann::json& j) {
    return j.size() == 3 && std::all_of(j.begin(), j.end(), [](auto& r) { return r["stage"] == "printed"; });
  });
  std::map<std::string, std::pair<int, int>> sizes;
  for (const auto& job : jobs) {
    ASSERT_EQ(job["pictures"].size(), 1u) << job.dump();
    const std::string png = Http(web, "GET", "/pictures/" + job["pictures"][0].get<std::string>());
    ASSERT_GE(png.size(), 24u);
    auto word = [&png](size_t at) {
      return (static_cast<unsigned char>(png[at]) << 24) | (static_cast<unsigned char>(png[at + 1]) << 16) |
             (static_cast<unsigned char>(png[at + 2]) << 8) | static_cast<unsigned char>(png[at + 3]);
    };
    sizes[job["language"].get<std::string>()] = {word(16), word(20)};
  }
  // 203 dpi: 50 x 30 mm is 400 x 240 dots, 100 x 150.5 mm 799 x 1203.
  EXPECT_EQ(sizes["zpl"], std::make_pair(400, 240));
  EXPECT_EQ(sizes["tspl"], std::make_pair(400, 240));
  EXPECT_EQ(sizes["sbpl"], std::make_pair(799, 1203));
}

TEST_F(EmulateTest, CutGarbageHalfJobsAndManyConnections) {
  EmulatorProcess e(jobs_, {"--limit", "4096"});
  ASSERT_TRUE(e.Ready());
  const int web = e.Port("web");
  SendJob(e.Port("zpl"), "^XA^FO10,10^GFA,100000,100000,100," + std::string(200000, 'F') + "^FS^XZ");
  SendJob(e.Port("sbpl"),
          "\x1b"
          "A\x1bH0100\x1bV0100\x1bL0202\x1bXMhalf");  // cut short, never ended
  SendJob(e.Port("tspl"), std::string("\x01\xfe\xff garbage \x7f\r\n", 15));
  // Warnings that quote bytes which are not UTF-8: shown as \xHH in the
  // records, and the emulator goes on.
  SendJob(e.Port("zpl"), "^XA^\xaa\xaa^XZ");
  SendJob(e.Port("zpl"), "^XA^XGR:\xaa.GRF^FS^XZ");
  SendJob(e.Port("sbpl"),
          "\x1b"
          "A\x1b\xaa\xaa\x1bZ");
  auto jobs = WaitForJobs(web, [](const nlohmann::json& j) { return j.size() == 6; });
  size_t escaped = 0;
  for (auto& j : jobs) {
    const std::string warnings = j["warnings"].dump();
    escaped += warnings.find("\\\\xAA") != std::string::npos;
    const fs::path record = (fs::path(jobs_) / j["file"].get<std::string>()).replace_extension(".json");
    EXPECT_FALSE(nlohmann::json::parse(std::ifstream(record), nullptr, false).is_discarded()) << record;
  }
  EXPECT_EQ(escaped, 3u) << jobs.dump();
  std::map<std::string, nlohmann::json> byLanguage;
  for (auto& j : jobs)
    if (j["warnings"].dump().find("\\\\xAA") == std::string::npos) byLanguage[j["language"]] = j;
  EXPECT_TRUE(byLanguage["zpl"]["cut"]);
  EXPECT_GT(byLanguage["zpl"]["bytes"].get<uint64_t>(), 200000u);
  EXPECT_EQ(fs::file_size(jobs_ + "/" + byLanguage["zpl"]["file"].get<std::string>()), 4096u);
  for (const char* language : {"zpl", "sbpl", "tspl"}) {
    EXPECT_FALSE(byLanguage[language]["warnings"].empty()) << language;
    EXPECT_TRUE(byLanguage[language]["pictures"].empty()) << language;
  }

  // Fifty at once, each held open until all are connected.
  std::vector<int> fds;
  for (int k = 0; k < 50; ++k) {
    fds.push_back(Connect(e.Port(k % 2 ? "zpl" : "tspl")));
    ASSERT_GE(fds.back(), 0);
  }
  for (int k = 0; k < 50; ++k)
    SendAll(fds[k], k % 2 ? Label
                          : "SIZE 50 mm,30 mm\r\nCLS\r\nTEXT 10,10,\"3\",0,1,1,\"Lot " + std::to_string(k) +
                                "\"\r\nPRINT 1\r\n");
  // Each connection also asks the state, and is answered on it.
  for (int k = 0; k < 50; ++k) {
    SendAll(fds[k], k % 2 ? "~HS" : "\x1b!?");
    char answer[128];
    EXPECT_GT(recv(fds[k], answer, sizeof answer, 0), 0) << k;
  }
  for (int fd : fds) close(fd);
  jobs = WaitForJobs(web, [](const nlohmann::json& j) {
    size_t printed = 0;
    for (auto& job : j) printed += job["stage"] == "printed" && job["pictures"].size() == 1;
    // and the SBPL one whose warnings quote bytes; the two ZPL formats have
    // no field and print no label
    return printed == 50 + 1;
  });
  EXPECT_EQ(jobs.size(), 56u);
}

// A page asks through the bridge's protocol, a C++ program through
// QueryStatus; both say what the emulator's switches say.
TEST_F(EmulateTest, BridgeAndProgramsTellTheSameState) {
  EmulatorProcess e(jobs_);
  ASSERT_TRUE(e.Ready());
  morvel::testing::CaptureListener off(morvel::testing::CaptureListener::Mode::Refuse);
  ASSERT_TRUE(off.Ready());
  WritePrinters(e, "[ZDesigner off]\nuri = socket://127.0.0.1:" + std::to_string(off.Port()) + "\n");
  morvel::testing::ScopedEnv printers("MORVEL_PRINTERS", (dir_ / "printers.conf").string());
  morvel::testing::ScopedEnv noCups("MORVEL_CUPS", "0");
  morvel::platform::ScopedServices services(morvel::platform::LinuxServices());
  morvel::serve::Session session({}, [](std::string) {});
  const int web = e.Port("web");
  const struct {
    const char* Change;
    const char* Reasons;
    const char* State;
  } cases[] = {
      {R"({})", "[]", "idle"},
      {R"({"paper_out": true})", R"(["media-empty"])", "stopped"},
      {R"({"paper_out": false, "ribbon_out": true, "paused": true})", R"(["marker-supply-empty","paused"])", "stopped"},
  };
  for (const auto& c : cases) {
    Http(web, "POST", "/api/state", c.Change);
    auto answer = nlohmann::json::parse(session.Handle(R"({"id":1,"status":"ZDesigner GK420t"})"));
    EXPECT_EQ(answer["result"]["state"], c.State) << answer.dump();
    EXPECT_EQ(answer["result"]["reasons"].dump(), c.Reasons);
    EXPECT_NE(answer["result"]["raw"].get<std::string>().find("PRINTER STATUS"), std::string::npos);
    morvel::PrinterStatus direct = morvel::QueryStatus("ZDesigner GK420t");
    EXPECT_EQ(direct.State, c.State);
    EXPECT_EQ(nlohmann::json(direct.Reasons).dump(), c.Reasons);
  }
  // A printer that is not there: offline, and why.
  auto absent = nlohmann::json::parse(session.Handle(R"({"id":4,"status":"ZDesigner off"})"));
  EXPECT_EQ(absent["result"]["state"], "stopped") << absent.dump();
  EXPECT_EQ(absent["result"]["reasons"].dump(), R"(["offline"])");
  EXPECT_EQ(absent["result"]["cause"], "connection refused");
  for (const char* bad : {R"({"id":2,"status":5})", R"({"id":3,"status":"Orx TE200","timeout":0})"}) {
    auto answer = nlohmann::json::parse(session.Handle(bad));
    EXPECT_EQ(answer["error"]["number"], 5) << bad;
  }
}

// A usblp node stands here as a pseudo-terminal in raw mode: the query goes
// out on it and the answer comes back on its read channel.
TEST_F(EmulateTest, UsbPrinterAnswersOnTheNodesReadChannel) {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string node = ptsname(master);
  int slave = open(node.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  termios raw{};
  tcgetattr(slave, &raw);
  cfmakeraw(&raw);
  tcsetattr(slave, TCSANOW, &raw);
  morvel::testing::WritePrinters(dir_, {{"Orx TE200", "usb:" + node}});
  std::string query;
  std::thread printer([&] {
    pollfd p{master, POLLIN, 0};
    while (query.size() < 3 && poll(&p, 1, 20000) > 0) {
      char b[16];
      ssize_t n = read(master, b, sizeof b);
      if (n <= 0) break;
      query.append(b, static_cast<size_t>(n));
    }
    (void)!write(master, "\x04", 1);  // out of paper
  });
  Outcome o = Run("status 'Orx TE200'");
  printer.join();
  close(slave);
  close(master);
  EXPECT_EQ(query, "\x1b!?");
  EXPECT_EQ(o.Out, "Orx TE200\tstopped\tmedia-empty\n") << o.Err;
  EXPECT_EQ(o.Status, 4);
}

TEST_F(EmulateTest, PortInUseIsNamed) {
  morvel::testing::CaptureListener taken;
  ASSERT_TRUE(taken.Ready());
  Outcome o =
      Run("emulate --zpl " + std::to_string(taken.Port()) + " --sbpl 0 --tspl 0 --epl2 0 --jobs '" + jobs_ + "'");
  EXPECT_EQ(o.Status, 1);
  EXPECT_NE(o.Err.find("127.0.0.1:" + std::to_string(taken.Port()) + " for zpl"), std::string::npos) << o.Err;
}

TEST_F(EmulateTest, CupsRawQueueToTheEmulator) {
  morvel::testing::CupsServer cups;
  if (!cups.Ready()) GTEST_SKIP() << cups.Error();
  EmulatorProcess e(jobs_);
  ASSERT_TRUE(e.Ready());
  ASSERT_TRUE(cups.AddRawQueue("ZT410", e.Port("zpl"), "ZDesigner ZT410 queue")) << cups.Error();
  std::ofstream(dir_ / "printers.conf") << "";
  const std::string env = "CUPS_SERVER=" + cups.Address();
  const int web = e.Port("web");

  Outcome run = Run("run", Script("ZDesigner ZT410 queue", "Via CUPS"), env);
  ASSERT_EQ(run.Status, 0) << run.Out << run.Err;
  auto jobs = WaitForJobs(web, [](const nlohmann::json& j) { return j.size() == 1 && j[0]["stage"] == "printed"; });
  EXPECT_EQ(jobs[0]["pictures"].size(), 1u);
  ASSERT_TRUE(cups.WaitUntilIdle("ZT410"));

  const struct {
    const char* Change;
    bool StopQueue;
    const char* Expected;
  } cases[] = {
      {R"({})", false, "ZDesigner ZT410 queue\tidle\tnone\n"},
      {R"({"paper_out": true})", false, "ZDesigner ZT410 queue\tstopped\tmedia-empty\n"},
      {R"({"paper_out": false})", true, "ZDesigner ZT410 queue\tstopped\tpaused\n"},
  };
  for (const auto& c : cases) {
    Http(web, "POST", "/api/state", c.Change);
    if (c.StopQueue) {
      ASSERT_TRUE(cups.Stop("ZT410"));
    }
    Outcome o = Run("status 'ZDesigner ZT410 queue'", "", env);
    EXPECT_EQ(o.Out, c.Expected) << o.Err;
    EXPECT_EQ(o.Status, std::string(c.Expected).find("idle") != std::string::npos ? 0 : 4);
  }
}

}  // namespace
