// ^HV on a real `morvel emulate` over loopback: the host keeps its
// connection open and reads each RFID label's tag result as the printer
// sends it, the header, what the field holds (cut to its bytes) and the
// termination. What it reads must be what the job's tag records say: a
// VOID's empty read, each copy's, the dropped format's voids and nothing
// more, a paused label's voids then its answer once the printer goes on.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "EmulateProcess.h"
#include "hosts/emulate/Emulator.h"
#include "support/TempFolder.h"

namespace {

using morvel::testing::Connect;
using morvel::testing::EmulatorProcess;
using morvel::testing::Http;
using morvel::testing::SendAll;
using Json = nlohmann::json;

// Waits, with a deadline that only catches a hang, until `done` holds for
// the job list (newest first).
Json WaitForJobs(int web, const std::function<bool(const Json&)>& done) {
  Json jobs;
  for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
       std::chrono::steady_clock::now() < until;) {
    jobs = Json::parse(Http(web, "GET", "/api/jobs"), nullptr, false);
    if (!jobs.is_discarded() && done(jobs)) return jobs;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ADD_FAILURE() << "the jobs never came: " << jobs.dump();
  return jobs;
}

// What came on the connection before the answer to a ~HS sent now: the
// printer answers in order, so nothing sent before it is still to come.
std::string ReadUpToStatus(int fd) {
  SendAll(fd, "~HS");
  std::string got;
  auto lines = [&] {  // of the status answer: ~HS gives three, each framed by STX and ETX
    size_t n = 0;
    for (size_t k = got.find('\x02'); k != std::string::npos && (k = got.find("\x03\r\n", k)) != std::string::npos;
         k += 3)
      ++n;
    return n;
  };
  char buffer[4096];
  while (lines() < 3) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) {
      ADD_FAILURE() << "the connection ended or went silent; so far: " << got;
      break;
    }
    got.append(buffer, static_cast<size_t>(n));
  }
  return got.substr(0, got.find('\x02'));
}

// An RFID label that writes an EPC and reads it back into field 1, for ^HV's answer.
std::string RfidLabel(const std::string& rules, const std::string& verify, int copies) {
  return "^XA" + rules + "^FO20,20^A0N,30,30^FDCase^FS^RFW,H^FD3034257BF7194E4000001A85^FS^RFR,H^FN1^FS" + verify +
         "^PQ" + std::to_string(copies) + "^XZ";
}

TEST(HostVerify, AnswersOnTheJobsConnectionAsTheTagRecordsSay) {
  const morvel::testing::TempFolder temp("morvel-hv");
  EmulatorProcess e((temp.Path() / "jobs").string(), {"--rfid", "--rfid-fail", "2,4,5,6,8,12,13"});
  ASSERT_TRUE(e.Ready());
  const int web = e.Port("web");
  const std::string everyLabel = "^FH_^HV1,256,RFID:,_0D_0A,L^FS", guide = "^FH_^HV1,8,EPC[,]_0D_0A,F^FS";
  const struct {
    const char* Name;
    std::string Job;
    std::string Results;   // the job's tags: W written, V void
    bool PerLabel = true;  // one answer a tag, else one for the last (F)
    std::string Header = "RFID:", Terminator = "\r\n";
    size_t Bytes = 256;
    bool Pauses = false;  // the printer pauses; it goes on and the label takes one more tag
  } cases[] = {
      {"written on the first tag", RfidLabel("^RS8,0,,3,N", everyLabel, 1), "W"},
      {"a VOID, then written", RfidLabel("^RS8,0,,3,N", everyLabel, 1), "VW"},
      {"three VOIDs: the format dropped, nothing more", RfidLabel("^RS8,0,,3,N", everyLabel, 1), "VVV"},
      {"two copies, the second after a VOID", RfidLabel("^RS8,0,,3,N", everyLabel, 2), "WVW"},
      {"the guide's header, once for the format", RfidLabel("^RS8,0,,3,N", guide, 2), "WW", false, "EPC[", "]\r\n", 8},
      {"paused after two VOIDs, then written", RfidLabel("^RS8,0,,2,P", everyLabel, 1), "VVW", true, "RFID:", "\r\n",
       256, true},
  };
  const int fd = Connect(e.Port("zpl"));
  ASSERT_GE(fd, 0);
  size_t jobs = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    SendAll(fd, c.Job);
    ++jobs;
    const size_t before = c.Pauses ? c.Results.size() - 1 : c.Results.size();
    auto tagsTaken = [&](const Json& j, size_t tags, const char* stage) {
      return j.size() == jobs && j[0]["stage"] == stage && j[0].contains("tags") && j[0]["tags"].size() == tags;
    };
    Json job = WaitForJobs(web, [&](const Json& j) { return tagsTaken(j, before, c.Pauses ? "waiting" : "printed"); });
    std::string answers = ReadUpToStatus(fd);
    if (c.Pauses) {
      Http(web, "POST", "/api/state", R"({"paused": false})");
      job = WaitForJobs(web, [&](const Json& j) { return tagsTaken(j, c.Results.size(), "printed"); });
      answers += ReadUpToStatus(fd);
    }
    std::string results, expected;
    Json listed = Json::array();
    for (const auto& t : job[0]["tags"]) {
      const bool written = t["result"] == "written";
      results += written ? 'W' : 'V';
      const std::string one = c.Header + (written ? t["epc"].get<std::string>().substr(0, c.Bytes) : "") + c.Terminator;
      if (c.PerLabel) expected += one, listed.push_back(one);
      if (!c.PerLabel && results.size() == c.Results.size()) expected = one, listed.push_back(one);
    }
    EXPECT_EQ(results, c.Results);
    EXPECT_EQ(answers, expected);
    EXPECT_EQ(job[0]["answers"], listed);
  }
  close(fd);
}

// A format holding ^HV ends its job, so that it prints while its host
// waits; the rest of the connection is the next job. Without ^HV a
// connection is one job, whatever it holds. A numbered field's data is
// answered after each copy (L) and once for the format (F), in that order.
TEST(HostVerify, FormatsWithHostVerificationEndTheirJobs) {
  const morvel::testing::TempFolder temp("morvel-hv");
  EmulatorProcess e((temp.Path() / "jobs").string());
  ASSERT_TRUE(e.Ready());
  const int web = e.Port("web");
  const std::string plain = "^XA^FO20,20^A0N,30,30^FDLot 7^FS^XZ\r\n",
                    verified = "^XA^FO20,20^A0N,30,30^FN2^FDLot 7^FS^HV2,3,<,>,L^FS^HV2,,[,],F^FS^PQ2^XZ";
  const struct {
    const char* Name;
    std::string Bytes;
    std::vector<int> Labels;  // each job's, oldest first
    size_t Answered;          // the jobs that end while the connection is open
    std::string Answers;
  } cases[] = {
      {"no ^HV: one job", plain + plain + plain, {3}, 0, ""},
      {"^HV: a job ends with each such format",
       verified + plain + plain + verified + plain,
       {1, 3, 1},
       2,
       "<Lot><Lot>[Lot 7]<Lot><Lot>[Lot 7]"},
      {"^CC changes the prefix the format's end is found by",
       "^XA^CC!!FO20,20!A0N,30,30!FN2!FDLot 7!FS!HV2,,,,F!FS!XZ" + plain,
       {1, 1},
       1,
       "Lot 7"},
  };
  size_t jobs = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const int fd = Connect(e.Port("zpl"));
    ASSERT_GE(fd, 0);
    SendAll(fd, c.Bytes);
    WaitForJobs(web, [&](const Json& j) {
      return j.size() == jobs + c.Answered && (c.Answered == 0 || j[0]["stage"] == "printed");
    });
    EXPECT_EQ(ReadUpToStatus(fd), c.Answers);
    close(fd);
    jobs += c.Labels.size();
    const Json all = WaitForJobs(web, [&](const Json& j) {
      return j.size() == jobs && std::all_of(j.begin(), j.end(), [](const Json& o) { return o["stage"] == "printed"; });
    });
    std::vector<int> labels;
    for (size_t k = c.Labels.size(); k-- > 0;) labels.push_back(all[k]["labels"]);
    EXPECT_EQ(labels, c.Labels);
  }
}

// Where the formats holding ^HV end is found however the stream is cut:
// their ^XZ in either case, after ^CC has changed the prefix; never a
// format without ^HV, nor ^HV outside a format.
TEST(HostVerify, FormatEndsAreFoundWhereverThePiecesAreCut) {
  const std::string stream = "^HV1^XA^FDa^FS^XZ^xa^hv1^fs^xz ~CC!!XA!HV1,8,^XZ!FS!XZ^XA^HV1^XZ!XA!FDb!XZ";
  const std::vector<size_t> ends = {stream.find("^xz") + 3, stream.find("!XZ") + 3};
  for (size_t a = 0; a <= stream.size(); ++a)
    for (size_t b = a; b <= stream.size(); b += 7) {
      morvel::emulate::AnswerCuts cuts(morvel::lang::Language::Zpl);
      std::vector<size_t> found;
      for (auto [from, to] : {std::pair{size_t{0}, a}, std::pair{a, b}, std::pair{b, stream.size()}}) {
        for (std::string_view piece(stream.data() + from, to - from);;) {
          const size_t cut = cuts.Next(piece);
          if (cut == std::string_view::npos) break;
          found.push_back(static_cast<size_t>(piece.data() - stream.data()) + cut);
          piece.remove_prefix(cut);
        }
      }
      ASSERT_EQ(found, ends) << "cut at " << a << " and " << b;
    }
  EXPECT_EQ(morvel::emulate::AnswerCuts(morvel::lang::Language::Sbpl).Next(stream), std::string_view::npos);
}

}  // namespace

// SBPL: a label's ESC Z ends the job where the label holds ESC RU (its host
// asks SOH RU once it has printed), however the stream is cut; never a
// label without it, and never an ESC Z within counted image data.
TEST(HostVerify, SbplLabelsThatKeepTheirTagStatusEndTheJob) {
  const std::string stream = std::string(
                                 "\x1b"
                                 "A\x1bIP0e:h,epc:41;\x1bQ1\x1bZ") +  // no ESC RU
                             "\x1b"
                             "A\x1bRU1\x1bIP0e:h,epc:42;\x1bZ" +  // cut
                             "\x1b"
                             "A\x1bRU1\x1bGM6,\x1bZ\x1bZ\x1b"
                             "A\x1bQ2\x1bZ" +  // cut at the last
                             "\x1b"
                             "A\x1b"
                             "DN3,\x1bRU\x1bZ";  // data, no cut
  const size_t first = stream.find("42;\x1bZ") + 5;
  const size_t second = stream.find("\x1bQ2\x1bZ") + 5;
  for (size_t a = 0; a <= stream.size(); ++a)
    for (size_t b = a; b <= stream.size(); b += 5) {
      morvel::emulate::AnswerCuts cuts(morvel::lang::Language::Sbpl);
      std::vector<size_t> found;
      for (auto [from, to] : {std::pair{size_t{0}, a}, std::pair{a, b}, std::pair{b, stream.size()}}) {
        for (std::string_view piece(stream.data() + from, to - from);;) {
          const size_t cut = cuts.Next(piece);
          if (cut == std::string_view::npos) break;
          found.push_back(static_cast<size_t>(piece.data() - stream.data()) + cut);
          piece.remove_prefix(cut);
        }
      }
      ASSERT_EQ(found, (std::vector<size_t>{first, second})) << "cut at " << a << " and " << b;
    }
  EXPECT_EQ(morvel::emulate::AnswerCuts(morvel::lang::Language::Zpl).Next(stream), std::string_view::npos);
}
