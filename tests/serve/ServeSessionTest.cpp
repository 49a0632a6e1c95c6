// The bridge protocol's defences, exercised through Session::Handle on real
// printers (file: folders, refused sockets, liborxlib, libLabelPrintAPI):
// hostile message shapes, memory per message and per connection, two pages
// sharing the one-job libraries, and the delivery event.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <regex>
#include <thread>

#include "hosts/serve/Session.h"
#include "platform/linux/adapters.h"
#include "support/Base64Text.h"
#include "support/Sanitizers.h"
#include "support/ScopedEnv.h"
#include "support/TempFolder.h"

namespace {
using morvel::testing::Base64Of;

namespace fs = std::filesystem;
using morvel::serve::Limits;
using morvel::serve::Session;
using morvel::testing::ScopedEnv;
using Clock = std::chrono::steady_clock;

constexpr bool Sanitized = morvel::testing::UnderAddressSanitizer || morvel::testing::UnderThreadSanitizer;

// A memory figure of this process in bytes: "VmRSS" resident now, "VmHWM"
// the peak since the last reset.
size_t Memory(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field + ":", 0) == 0) return std::stoul(line.substr(field.size() + 1)) * 1024;
  return 0;
}
size_t PeakResident() { return Memory("VmHWM"); }
size_t Resident() { return Memory("VmRSS"); }
bool ResetPeakResident() { return static_cast<bool>(std::ofstream("/proc/self/clear_refs") << "5"); }

// One page: its session and everything it was sent, events and answers.
struct Page {
  explicit Page(Limits limits = {}) : session(limits, [this](std::string m) { events.push_back(std::move(m)); }) {}
  std::string Call(const std::string& message) { return session.Handle(message); }
  std::vector<std::string> events;
  Session session;
};

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* d : {"zebra", "sato", "orx", "dothan"}) fs::create_directories(dir_ / d);
    std::ofstream(dir_ / "printers.conf") << "[ZDesigner GK420t]\nuri = file:zebra\ndpi = 203\n\n"
                                             "[SATO CL4NX 305dpi]\nuri = file:sato\ndpi = 305\n\n"
                                             "[Orx TE200]\nuri = file:orx\ndpi = 203\n\n"
                                             "[Dothan T7 Label]\nuri = file:dothan\ndpi = 203\n\n"
                                             "[ZDesigner Refused]\nuri = socket://127.0.0.1:"
                                          << ClosedPort() << "\ndpi = 203\n\n"
                                          << "[ZDesigner Gone]\nuri = file:no-such-folder\ndpi = 203\n";
    printers_.emplace("MORVEL_PRINTERS", (dir_ / "printers.conf").string());
    services_.emplace(morvel::platform::LinuxServices());
  }

  void TearDown() override { services_.reset(); }

  // A loopback port that nothing listens on.
  static int ClosedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t size = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
  }

  std::vector<std::string> Documents(const char* folder) {
    std::vector<std::string> out;
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(dir_ / folder)) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const auto& f : files) {
      std::ifstream in(f, std::ios::binary);
      out.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return out;
  }

  const morvel::testing::TempFolder temp_{"morvel-session"};
  const fs::path& dir_ = temp_.Path();
  ScopedEnv cups_{"MORVEL_CUPS", "0"};
  std::optional<ScopedEnv> printers_;
  std::optional<morvel::platform::ScopedServices> services_;
};

std::string Call(int id, int object, const std::string& member, const std::string& args) {
  return "{\"id\":" + std::to_string(id) + ",\"object\":" + std::to_string(object) + ",\"member\":\"" + member +
         "\",\"args\":[" + args + "]}";
}

// Messages whose shape alone would cost minutes or gigabytes are refused, or
// answered, quickly; the deadline only catches the quadratic costs of before
// (18 s and 42 s), it is no speed goal.
TEST_F(SessionTest, HostileShapesCostAboutTheirSize) {
  std::string manyKeys = "{\"id\":1,\"create\":\"PrintBarCode\"";
  for (int i = 0; i < 80000; ++i) manyKeys += ",\"k" + std::to_string(i) + "\":1";
  manyKeys += "}";
  std::string emptyStrings = "{\"id\":2,\"object\":1,\"member\":\"SendCmd\",\"args\":[";
  while (emptyStrings.size() < (8u << 20) - 16) emptyStrings += "\"\",";
  emptyStrings += "\"\"]}";
  std::string brands;
  for (int i = 0; i < 40000; ++i) brands += (i ? "|b" : "b") + std::to_string(i) + ":k" + std::to_string(i);

  struct Case {
    const char* Name;
    std::string Message;
    std::string Answer;  // a regular expression for how the answer starts
  } cases[] = {
      {"create", R"({"id":0,"create":"PrintBarCode"})", R"(\{"id":0,"result":\{"object":1\}\})"},
      {"80,000 keys", manyKeys,
       R"(\{"id":null,"error":\{"number":5,.*"detail":"an object has more than 256 keys"\}\})"},
      {"8 MiB of empty strings", emptyStrings,
       R"(\{"id":null,"error":\{"number":5,.*"detail":"more than 65536 values in one message"\}\})"},
      {"40,000 brands", Call(3, 1, "PrintList", "\"" + brands + "\""),
       R"(\{"id":3,"result":null,"byref":\["b0:k0\|b1:k1)"},
      {"a duplicate among them", Call(4, 1, "PrintList", "\"b39999:x\""), R"(\{"id":4,"error":\{"number":457,.*)"},
      {"the catalogue still chooses", Call(5, 1, "SetPrint", "\"ZDesigner GK420t\""), R"(\{"id":5,"result":0,.*)"},
  };
  Page page;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    auto start = Clock::now();
    std::string answer = page.Call(c.Message);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(std::regex_search(answer.substr(0, 300), std::regex("^" + c.Answer))) << answer.substr(0, 300);
  }
}

// One message costs a small multiple of its size, and a connection's objects
// hold a bounded amount of collected label commands: past it a call raises 7
// and what was collected stays whole.
TEST_F(SessionTest, MemoryPerMessageAndPerConnectionIsBounded) {
  if (Sanitized) GTEST_SKIP() << "a sanitizer's own allocator decides resident memory";
  ASSERT_TRUE(ResetPeakResident());
  constexpr size_t Mi = 1u << 20;
  Page page;
  page.Call(R"({"id":1,"create":"PrintBarCode"})");
  page.Call(Call(2, 1, "SetPrint", "\"ZDesigner GK420t\""));
  std::string big = Call(3, 1, "SendCmd", "\"" + std::string(8 * Mi - 64, 'Z') + "\"");
  size_t before = Resident();
  ASSERT_TRUE(ResetPeakResident());
  EXPECT_EQ(page.Call(big).substr(0, 18), R"({"id":3,"result":n)");
  EXPECT_LT(PeakResident() - before, 8 * big.size()) << "peak of one 8 MiB message";
  big.clear();
  big.shrink_to_fit();

  // Seven-MiB commands to one SATO object: its log and label grow 3 bytes a
  // character until the bounds stop them.
  page.Call(R"({"id":4,"create":"PrintBarCode"})");
  page.Call(Call(5, 2, "SetPrint", "\"SATO CL4NX 305dpi\""));
  std::string seven = std::string(7 * Mi, 'S');
  int accepted = 0, refused = 0;
  for (int i = 0; i < 8; ++i) {
    std::string answer = page.Call(Call(10 + i, 2, "SendCmd", "\"" + seven + "\""));
    if (answer.find("\"result\"") != std::string::npos) ++accepted;
    if (answer.find("\"number\":7,") != std::string::npos) ++refused;
  }
  EXPECT_EQ(accepted + refused, 8);
  EXPECT_GE(refused, 5);
  std::string log = page.Call(R"({"id":30,"object":2,"member":"CommandPrint"})");
  size_t letters = std::count(log.begin(), log.end(), 'S');
  EXPECT_EQ(letters, accepted * seven.size()) << "the accepted commands kept whole";
  EXPECT_LT(PeakResident() - before, Limits{}.MaxHeldBytes + 8 * 8 * Mi);
}

// liborxlib has one connection and libLabelPrintAPI one job per process:
// two pages printing at once each get their own whole job, the second page's
// OpenPort waiting for the first page's ClosePort; a page that waits too long
// is told which library is busy.
TEST_F(SessionTest, TwoPagesEachGetTheirOwnLibraryJob) {
  struct Printer {
    const char* Name;
    const char* Folder;
    const char* Label;  // the calls between OpenPort and ClosePort, with DATA for the page's text
  } printers[] = {
      {"Orx TE200", "orx", R"(SendCmd|"DATA")"},
      {"Dothan T7 Label", "dothan",
       R"(InitPrint|"60","40","4","10","2","1","0";PrintFont|10,8,"DATA",12,"DejaVu Sans")"},
  };
  for (const Printer& p : printers) {
    SCOPED_TRACE(p.Name);
    auto script = [&](Page& page, const std::string& data, std::promise<void>* opened) {
      auto call = [&](const std::string& member, const std::string& args) {
        std::string answer = page.Call(Call(1, 1, member, args));
        EXPECT_EQ(answer.find("\"error\""), std::string::npos) << member << ": " << answer;
      };
      page.Call(R"({"id":1,"create":"PrintBarCode"})");
      call("SetPrint", "\"" + std::string(p.Name) + "\"");
      call("OpenPort", "\"" + std::string(p.Name) + "\"");
      if (opened != nullptr) opened->set_value();
      std::string label = std::regex_replace(p.Label, std::regex("DATA"), data);
      for (size_t start = 0; start < label.size();) {
        size_t end = label.find(';', start);
        std::string one = label.substr(start, end == std::string::npos ? std::string::npos : end - start);
        size_t bar = one.find('|');
        call(one.substr(0, bar), one.substr(bar + 1));
        if (opened != nullptr) std::this_thread::sleep_for(std::chrono::milliseconds(200));  // B is waiting now
        start = end == std::string::npos ? label.size() : end + 1;
      }
      call("PrintLabel", "\"1\"");
      call("ClosePort", "");
    };
    Page a, b;
    std::promise<void> opened;
    std::thread first([&] { script(a, "A-PRIVATE-DATA", &opened); });
    opened.get_future().wait();
    std::thread second([&] { script(b, "B-OTHER-DATA", nullptr); });
    first.join();
    second.join();
    std::vector<std::string> jobs = Documents(p.Folder);
    ASSERT_EQ(jobs.size(), 2u) << "one whole job per page";
    if (std::string(p.Folder) == "orx") {
      EXPECT_NE(jobs[0].find("A-PRIVATE-DATA"), std::string::npos);
      EXPECT_EQ(jobs[0].find("B-OTHER-DATA"), std::string::npos);
      EXPECT_NE(jobs[1].find("B-OTHER-DATA"), std::string::npos);
      EXPECT_EQ(jobs[1].find("A-PRIVATE-DATA"), std::string::npos);
    } else {
      for (const std::string& png : jobs) EXPECT_EQ(png.substr(1, 3), "PNG");
    }
  }

  // A page that opened and never closes: the other page is refused after the
  // wait, and gets the library once the first page has gone.
  Limits shortWait;
  shortWait.LeaseWaitSeconds = 1;
  auto holder = std::make_unique<Page>(shortWait);
  Page waiter(shortWait);
  for (Page* page : {holder.get(), &waiter}) {
    page->Call(R"({"id":1,"create":"PrintBarCode"})");
    page->Call(Call(2, 1, "SetPrint", R"("Orx TE200")"));
  }
  holder->Call(Call(3, 1, "OpenPort", R"("Orx TE200")"));
  std::string refused = waiter.Call(Call(4, 1, "OpenPort", R"("Orx TE200")"));
  EXPECT_TRUE(std::regex_search(
      refused,
      std::regex(
          R"("number":68,"description":"Device unavailable: the Orx printer library is in use by another page)")))
      << refused;
  holder.reset();  // the page leaves: its port is closed and the lease given back
  EXPECT_EQ(waiter.Call(Call(5, 1, "OpenPort", R"("Orx TE200")")), R"({"id":5,"result":null,"byref":["Orx TE200"]})");

  // A stopping bridge ends a wait at once.
  Page third;
  third.Call(R"({"id":1,"create":"PrintBarCode"})");
  third.Call(Call(2, 1, "SetPrint", R"("Orx TE200")"));
  auto waiting = std::async(std::launch::async, [&] { return third.Call(Call(3, 1, "OpenPort", R"("Orx TE200")")); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  Session::CancelWaits();
  ASSERT_EQ(waiting.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_NE(waiting.get().find("the bridge is stopping"), std::string::npos);
}

// A document that did not reach its printer is told to its page, and to that
// page alone, as an event before the answer of the call that found it.
TEST_F(SessionTest, DeliveryFailuresReachTheirPage) {
  struct Case {
    const char* Printer;
    const char* Reason;  // a regular expression
  } cases[] = {
      {"ZDesigner Refused", R"(cannot connect to 127\.0\.0\.1:\d+: .*refused.*)"},
      {"ZDesigner Gone", R"(cannot open folder '.*no-such-folder'.*)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Printer);
    Page page, bystander;
    bystander.Call(R"({"id":1,"create":"PrintBarCode"})");
    page.Call(R"({"id":1,"create":"PrintBarCode"})");
    page.Call(Call(2, 1, "SetPrint", "\"" + std::string(c.Printer) + "\""));
    page.events.clear();
    std::string answer = page.Call(Call(3, 1, "OpenPort", "\"" + std::string(c.Printer) + "\""));
    EXPECT_EQ(answer.substr(0, 17), R"({"id":3,"result":)");
    ASSERT_EQ(page.events.size(), 1u);
    std::regex event(std::string(R"(\{"event":"delivery","ok":false,"printer":")") + c.Printer + R"(","reason":")" +
                     c.Reason + R"(","object":1\})");
    EXPECT_TRUE(std::regex_match(page.events[0], event)) << page.events[0];
    EXPECT_EQ(page.session.DeliveryFailures(), 1u);
    EXPECT_TRUE(bystander.events.empty());
    EXPECT_EQ(bystander.session.DeliveryFailures(), 0u);
  }
}

// Previews for pages: pictures of a job as `morvel preview` draws them, its
// warnings, and refusals of what is no job.
TEST_F(SessionTest, PreviewsOfJobs) {
  auto base64 = Base64Of;
  auto preview = [&](std::string_view job, std::string more = "") {
    return "{\"id\":1,\"preview\":{\"bytes\":\"" + base64(job) + "\"}" + more + "}";
  };
  std::string sixty;
  for (int i = 0; i < 60; ++i) sixty += "^XA^PW400^LL200^FO10,10^GB100,50,50^FS^XZ";
  struct Case {
    const char* Name;
    std::string Message;
    std::string Answer;  // a regular expression over the whole answer
  } cases[] = {
      // 400 dots wide: the PNG header's width, 0x190, in "AAABkA" of the Base64 of its IHDR
      {"one label", preview("^XA^PW400^LL200^FO10,10^GB100,50,50^FS^PQ2^XZ", R"(,"dpi":300)"),
       R"(\{"id":1,"result":\{"language":"ZPL","dpi":300,"pictures":\[\{"png":"iVBORw0KGgoAAAANSUhEUgAAAZA[^"]+","copies":"2"\}\],"warnings":\[\],"problems":\[\]\}\})"},
      {"sixty labels", preview(sixty),
       R"(\{"id":1,"result":\{"language":"ZPL","dpi":203,"pictures":\[(\{"png":"[^"]+","copies":"1"\},?){50}\],"warnings":\[\{"offset":\d+,"text":"only the first 50 of 60 labels are pictured"\}\],"problems":\[\]\}\})"},
      {"not a job", preview("hello"),
       R"re(\{"id":1,"error":\{"number":5,.*"detail":"not a ZPL, SBPL, Orx or EPL2 job \(name its language\)"\}\})re"},
      {"a bad resolution", preview("^XA^XZ", R"(,"dpi":5000)"),
       R"(\{"id":1,"error":\{"number":5,.*"detail":"dpi must be.*)"},
      {"no bytes", R"({"id":1,"preview":"^XA^XZ"})", R"(\{"id":1,"error":\{"number":5,.*"detail":"preview takes.*)"},
  };
  Page page;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string answer = page.Call(c.Message);
    EXPECT_TRUE(std::regex_match(answer, std::regex(c.Answer))) << answer.substr(0, 400);
  }
}

// EPC numbers asked of the bridge: the forms each answer holds, and input
// that is not the protocol's or that the standard refuses, each with its cause.
TEST_F(SessionTest, EpcNumbers) {
  const struct {
    const char* Message;
    const char* Answer;  // a regular expression over the whole answer
  } cases[] = {
      {R"({"id":1,"epc":"encode","input":"urn:epc:tag:sgtin-96:3.0614141.812345.6789"})",
       R"(\{"id":1,"result":\{"hex":"3074257BF7194E4000001A85"\}\})"},
      {R"({"id":2,"epc":"encode","input":"(01)80614141123458(21)6789","scheme":"SGTIN-96","filter":3,"prefixLength":7})",
       R"(\{"id":2,"result":\{"hex":"3074257BF7194E4000001A85"\}\})"},
      {R"({"id":3,"epc":"decode","hex":"350007AB70425D4000000586"})",
       R"(\{"id":3,"result":\{"tagUri":"urn:epc:tag:gid-96:31415.271828.1414",)"
       R"("pureIdentity":"urn:epc:id:gid:31415.271828.1414","elementString":""\}\})"},
      {R"({"id":4,"epc":"decode","hex":"30"})", R"(\{"id":4,"error":\{"number":5,.*hexadecimal.*)"},
      {R"({"id":5,"epc":"encode","input":"urn:epc:tag:sgtin-96:3.0614141.812345.6789","filter":8,"scheme":"SGTIN-96"})",
       R"(\{"id":5,"error":\{"number":5,.*"detail":"filter must be a whole number from 0 to 7"\}\})"},
      {R"({"id":6,"epc":"encode"})", R"(\{"id":6,"error":\{"number":5,.*"detail":"epc encode takes the input.*)"},
      {R"({"id":7,"epc":"frob"})",
       R"(\{"id":7,"error":\{"number":5,.*"detail":"epc is \\"encode\\" or \\"decode\\""\}\})"},
  };
  Page page;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Message);
    const std::string answer = page.Call(c.Message);
    EXPECT_TRUE(std::regex_match(answer, std::regex(c.Answer))) << answer.substr(0, 400);
  }
}

// The printer's word on each RFID label comes with the answer to the call
// that printed it, once: a file: printer cannot answer, so its label is
// unknown, and says why.
TEST_F(SessionTest, TagResultsComeWithTheCallThatPrinted) {
  Page page;
  page.Call(R"({"id":1,"create":"PrintBarCode"})");
  for (const char* member : {"SetPrint", "OpenPort"}) page.Call(Call(2, 1, member, R"("ZDesigner GK420t")"));
  page.Call(Call(3, 1, "OpRFID", R"("W","3074257BF7194E4000001A85","H","","","")"));
  EXPECT_TRUE(std::regex_match(
      page.Call(Call(4, 1, "PrintLabel", R"("2")")),
      std::regex(
          R"(\{"id":4,"result":null,"tags":\[)"
          R"(\{"label":1,"state":"unknown","epc":"","tid":"","reason":"[^"]*carries no answer back[^"]*","tries":0\},)"
          R"(\{"label":2,"state":"unknown",[^}]*\}\].*)")));
  EXPECT_EQ(page.Call(Call(5, 1, "ClosePort", "")).find("tags"), std::string::npos);
}

// With --refuse-printer-settings, a job a page passes through to its printer
// (a print in the printer's own language, a control's SendCmd) may hold no
// printer-configuration command, which the error names; without it, and
// for the same words as label text or graphic data, the job goes. The
// commands are found by the language's reader, not by searching the bytes.
TEST_F(SessionTest, PrinterSettingsFromPagesAreRefusedWhenAsked) {
  struct Case {
    const char* Printer;
    std::string Job;
    std::string Refused;  // the command named in the error; empty: passed
  } cases[] = {
      {"ZDesigner GK420t", "^XA^JUF^XZ", "^JUF"},
      {"ZDesigner GK420t", "~JR", "~JR"},
      {"ZDesigner GK420t", "^XA^NSS,10.0.0.9,255.255.255.0,10.0.0.1^JUS^XZ", "^NSS,10.0.0.9"},
      {"ZDesigner GK420t", "~DYE:LOGO,A,G,2,1,FF", "~DYE:LOGO"},
      {"ZDesigner GK420t", "^XA^DFR:F.ZPL^FS^FO10,10^FN1^FS^JUS^XZ", "^JUS"},
      {"ZDesigner GK420t", "^XA^CC+^XZ+XA+JUN+XZ", "^JUN"},
      {"ZDesigner GK420t", "^XA^FO10,10^A0N,30,30^FDJUF ~ NS JR DY^FS^XZ", ""},
      {"ZDesigner GK420t", "^XA^MMT^MNY^PR4~SD15^PW400^FO10,10^GB50,50,5^FS^XZ", ""},
      {"SATO CL4NX 305dpi",
       "\x1b"
       "A\x1bPC26,1\x1b"
       "Z",
       "ESC PC26,1"},
      {"SATO CL4NX 305dpi",
       "\x1b"
       "A\x1bWT9312251300\x1b"
       "Z",
       "ESC WT"},
      {"SATO CL4NX 305dpi",
       "\x1b"
       "A\x1bH10\x1bV10\x1bGM8,\x1bPG1\x1bPC1\x1bQ1\x1b"
       "Z",
       ""},
      {"SATO CL4NX 305dpi",
       "\x1b"
       "A\x1bH10\x1bV10\x1bP02\x1bQ1\x1b"
       "Z",
       ""},
      {"Orx TE200", "SIZE 50 mm,30 mm\r\nINITIALPRINTER\r\n", "INITIALPRINTER"},
      {"Orx TE200", "SIZE 50 mm,30 mm\r\nSET COM1 19,N,8,1\r\n", "SET COM1"},
      {"Orx TE200", "SIZE 50 mm,30 mm\r\nset  key1 off\r\n", "SET KEY1"},
      {"Orx TE200", "SIZE 50 mm,30 mm\r\nKILL F,\"*\"\r\n", "KILL"},
      {"Orx TE200",
       "SIZE 50 mm,30 mm\r\nGAP 2 mm,0\r\nSET TEAR OFF\r\nCLS\r\nTEXT 10,10,\"3\",0,1,1,\"KILL NET\"\r\nPRINT 1\r\n",
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.Printer) + ": " + c.Job);
    const std::string print =
        R"({"id":1,"print":{"bytes":")" + Base64Of(c.Job) + R"("},"printer":")" + c.Printer + "\"}";
    std::string text;  // the job as a JSON string's content
    for (char ch : c.Job)
      text += ch == '"'      ? "\\\""
              : ch == '\r'   ? "\\r"
              : ch == '\n'   ? "\\n"
              : ch == '\x1b' ? "\\u001b"
                             : std::string(1, ch);
    const std::string sendCmd = R"({"id":5,"object":1,"member":"SendCmd","args":[")" + text + "\"]}";
    for (bool refusing : {true, false}) {
      Limits limits;
      limits.RefusePrinterSettings = refusing;
      Page page(limits);
      const bool refused = refusing && !c.Refused.empty();
      const std::string printed = page.Call(print);
      EXPECT_EQ(printed.find("\"number\":70"), refused ? printed.find("\"number\"") : std::string::npos) << printed;
      if (refused) {
        EXPECT_NE(printed.find(c.Refused), std::string::npos) << printed;
      }
      for (const std::string& call :
           {std::string(R"({"id":2,"create":"Morvel.PrintBarCode"})"),
            R"({"id":3,"object":1,"member":"SetPrint","args":[")" + std::string(c.Printer) + "\"]}",
            R"({"id":4,"object":1,"member":"OpenPort","args":[")" + std::string(c.Printer) + "\"]}"})
        ASSERT_EQ(page.Call(call).find("error"), std::string::npos) << call;
      const std::string sent = page.Call(sendCmd);
      EXPECT_EQ(sent.find("\"number\":70") != std::string::npos, refused) << sent;
      if (refused) {
        EXPECT_NE(sent.find(c.Refused), std::string::npos) << sent;
      }
    }
  }
}

}  // namespace
