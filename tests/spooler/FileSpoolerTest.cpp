// file: printers: numbering of the documents in the folder, exclusive
// creation under concurrent printing, exact bytes, and folder errors.
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "spooler/SpoolerFixture.h"
#include "support/TempFolder.h"

namespace morvel::testing {
namespace {

namespace fs = std::filesystem;

class FileSpoolerTest : public SpoolerTest {
 protected:
  std::string Read(const std::string& file) const {
    std::ifstream in(Folder + "/" + file, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
  }
  std::set<std::string> Files() const {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(Folder)) names.insert(e.path().filename().string());
    return names;
  }
  void Touch(const std::string& file, const std::string& bytes = "old") const {
    std::ofstream(Folder + "/" + file, std::ios::binary) << bytes;
  }

  const TempFolder Temp{"morvel-file-spool"};
  const std::string Folder = Temp.Path().string();
};

TEST_F(FileSpoolerTest, EachDocumentIsTheNextNumberedFileWithExactlyItsBytes) {
  Touch("000007.prn");
  Touch("000003.prn");
  Touch("notes.txt");
  Touch("12.prn");  // not one of ours: too few digits
  Touch("00000x.prn");
  Install(u"File Printer", "file:" + Folder);
  const std::string first = Payload(300000, 1);
  const std::string second = Payload(70000, 2);

  auto a = Print(u"file printer", u"one", Parts(first));
  auto b = Print(u"FILE PRINTER", u"two", {second});

  EXPECT_TRUE(a.Started && a.Wrote && a.Ended && b.Started && b.Wrote && b.Ended) << Log();
  EXPECT_TRUE(Read("000008.prn") == first);
  EXPECT_TRUE(Read("000009.prn") == second);
  EXPECT_EQ(Read("000007.prn"), "old");
  EXPECT_EQ(Files().size(), 7u);
  EXPECT_TRUE(Fakes.Logger->Records.empty()) << Log();
}

TEST_F(FileSpoolerTest, EmptyFolderStartsAtOneAndFileUriFormsAgree) {
  Install(u"A", "file://" + Folder + "/");
  Install(u"B", "file:" + Folder);
  EXPECT_TRUE(Print(u"A", u"one", {"x"}).Ended) << Log();
  EXPECT_TRUE(Print(u"B", u"two", {}).Ended) << Log();
  EXPECT_EQ(Read("000001.prn"), "x");
  EXPECT_EQ(Read("000002.prn"), "");
}

TEST_F(FileSpoolerTest, ConcurrentPrintersNeverShareAFile) {
  Install(u"Shared", "file:" + Folder);
  constexpr int Printers = 4;
  constexpr int Documents = 25;
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int p = 0; p < Printers; ++p) {
    threads.emplace_back([&, p] {
      // Each thread has its own spooler, as separate processes would.
      auto spooler = platform::MakeLinuxSpooler();
      auto handle = spooler->OpenPrinter(u"Shared");
      for (int d = 0; d < Documents; ++d) {
        std::string doc = "printer " + std::to_string(p) + " document " + std::to_string(d) + "\n";
        size_t written = 0;
        bool ok = spooler->StartDoc(handle, u"doc");
        // Two halves, so a file shared by two documents would mix them.
        ok &= spooler->Write(handle, reinterpret_cast<const uint8_t*>(doc.data()), 9, written);
        std::this_thread::yield();
        ok &= spooler->Write(handle, reinterpret_cast<const uint8_t*>(doc.data()) + 9, doc.size() - 9, written);
        ok &= spooler->EndDoc(handle);
        if (!ok) ++failures;
      }
      spooler->ClosePrinter(handle);
    });
  }
  for (auto& t : threads) t.join();

  EXPECT_EQ(failures, 0);
  std::set<std::string> contents;
  for (const auto& name : Files()) contents.insert(Read(name));
  EXPECT_EQ(Files().size(), size_t{Printers * Documents});
  EXPECT_EQ(contents.size(), size_t{Printers * Documents}) << "a document was lost or mixed";
  for (int p = 0; p < Printers; ++p)
    for (int d = 0; d < Documents; ++d)
      EXPECT_TRUE(contents.count("printer " + std::to_string(p) + " document " + std::to_string(d) + "\n"));
}

TEST_F(FileSpoolerTest, FolderErrorsAreRecordedWithTheSystemReason) {
  Touch("plain-file");
  struct Case {
    std::string Uri;
    const char* Reason;
  } cases[] = {{"file:" + Folder + "/missing", "No such file or directory"},
               {"file:" + Folder + "/plain-file", "Not a directory"}};
  for (const auto& c : cases) {
    Fakes.Printers->Printers = {{u"P", 203, c.Uri}};
    Fakes.Logger->Records.clear();
    auto o = Print(u"P", u"doc", {"lost bytes"});
    EXPECT_TRUE(o.Opened);
    EXPECT_FALSE(o.Started || o.Wrote || o.Ended) << c.Uri;
    EXPECT_EQ(Logged(c.Reason), 1u) << Log();
    EXPECT_EQ(Logged("10 of the caller's bytes were not sent"), 1u) << Log();
  }
}

TEST_F(FileSpoolerTest, ADocumentThatDoesNotEndWholeNeverTakesItsJobName) {
  Install(u"P", "file:" + Folder);
  // A full disk, as the file size limit gives it: the write stops at 64 KiB
  // of a 108,000-byte document.
  rlimit previous{};
  getrlimit(RLIMIT_FSIZE, &previous);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = previous;
  small.rlim_cur = 65536;
  setrlimit(RLIMIT_FSIZE, &small);
  auto full = Print(u"P", u"doc", {Payload(108000, 3)});
  setrlimit(RLIMIT_FSIZE, &previous);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(full.Wrote || full.Ended);
  EXPECT_EQ(Files(), std::set<std::string>{"000001.prn.failed"});
  EXPECT_EQ(Read("000001.prn.failed").size(), 65536u);
  EXPECT_EQ(Logged("document " + Folder +
                   "/000001.prn writing failed (42464 bytes not written): File too large "
                   "(the disk or the file size limit is full); the bytes written are kept as " +
                   Folder + "/000001.prn.failed"),
            1u)
      << Log();

  // The next whole document is numbered past the kept one.
  EXPECT_TRUE(Print(u"P", u"whole", {"^XA^XZ"}).Ended) << Log();
  EXPECT_EQ(Files(), (std::set<std::string>{"000001.prn.failed", "000002.prn"}));
  EXPECT_EQ(Read("000002.prn"), "^XA^XZ");
}

}  // namespace
}  // namespace morvel::testing
