// The spooler front: which printer a name opens, which uris are refused,
// and how stale handles and out-of-order calls are turned away and recorded.
#include <unistd.h>

#include <filesystem>

#include "spooler/SpoolerFixture.h"
#include "support/TempFolder.h"
#include "support/TestNames.h"

namespace morvel::testing {
namespace {

using platform::Spooler;

struct OpenCase {
  const char16_t* Installed;
  const char* Uri;
  const char16_t* Asked;
  bool Opens;
  const char* Record;  // expected record part when it does not open
};

void PrintTo(const OpenCase& c, std::ostream* os) { *os << c.Uri << " " << Identifier(c.Asked); }

class OpenPrinterTest : public SpoolerTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpenPrinterTest, OpensByWholeNameIgnoringCaseAndRefusesBadUris) {
  const auto& c = GetParam();
  Install(c.Installed, c.Uri);
  auto handle = Spool->OpenPrinter(c.Asked);
  EXPECT_EQ(handle != Spooler::NullHandle, c.Opens) << Log();
  if (c.Opens) {
    EXPECT_TRUE(Fakes.Logger->Records.empty()) << Log();
    EXPECT_TRUE(Spool->ClosePrinter(handle));
  } else {
    EXPECT_EQ(Logged(c.Record), 1u) << Log();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, OpenPrinterTest,
    ::testing::Values(OpenCase{u"ZDesigner ZT410R-300dpi ZPL", "file:/tmp", u"zdesigner zt410r-300DPI zpl", true, ""},
                      OpenCase{u"Étiquettes Entrepôt", "file:/tmp", u"ÉTIQUETTES ENTREPÔT", true, ""},
                      OpenCase{u"ZDesigner ZT410R-300dpi ZPL", "file:/tmp", u"ZDesigner", false,
                               "no installed printer has this name"},
                      OpenCase{u"ZDesigner", "file:/tmp", u"ZDesigner ", false, "no installed printer has this name"},
                      OpenCase{u"P", "lpd://host/queue", u"P", false, "unknown uri scheme in 'lpd://host/queue'"},
                      OpenCase{u"P", "SOCKET://127.0.0.1:9100", u"P", true, ""},
                      OpenCase{u"P", "socket://:9100", u"P", false, "no host"},
                      OpenCase{u"P", "socket://127.0.0.1:70000", u"P", false, "the port must be 1..65535"},
                      OpenCase{u"P", "socket://127.0.0.1:99999", u"P", false, "the port must be 1..65535"},
                      OpenCase{u"P", "socket://127.0.0.1:0", u"P", false, "the port must be 1..65535"},
                      OpenCase{u"P", "socket://[::1", u"P", false, "unclosed '['"},
                      OpenCase{u"P", "cups:", u"P", false, "cups: uri without a queue name"},
                      OpenCase{u"P", "file:", u"P", false, "file: uri without a folder"}),
    [](const auto& info) {
      return std::string(info.param.Opens ? "Opens_" : "Refuses_") + Identifier(info.param.Uri) + "_" +
             Identifier(info.param.Asked);
    });

TEST_F(SpoolerTest, StaleAndUnknownHandlesAreRefusedAndRecorded) {
  Install(u"P", "file:/tmp");
  auto closed = Spool->OpenPrinter(u"P");
  ASSERT_TRUE(Spool->ClosePrinter(closed));
  for (Spooler::Handle h : {closed, Spooler::Handle{0}, Spooler::Handle{0xDEADBEEF}}) {
    Fakes.Logger->Records.clear();
    size_t written = 99;
    uint8_t byte = 'x';
    EXPECT_FALSE(Spool->StartDoc(h, u"doc"));
    EXPECT_FALSE(Spool->StartPage(h));
    EXPECT_FALSE(Spool->Write(h, &byte, 1, written));
    EXPECT_EQ(written, 0u);
    EXPECT_FALSE(Spool->EndPage(h));
    EXPECT_FALSE(Spool->EndDoc(h));
    EXPECT_FALSE(Spool->ClosePrinter(h));
    EXPECT_EQ(Logged("unknown or closed printer handle"), 6u) << Log();
  }
}

TEST_F(SpoolerTest, CallsOutsideADocumentAreRefusedAndRecorded) {
  Install(u"P", "file:/tmp");
  auto h = Spool->OpenPrinter(u"P");
  size_t written = 0;
  uint8_t byte = 'x';
  EXPECT_FALSE(Spool->Write(h, &byte, 1, written));
  EXPECT_FALSE(Spool->StartPage(h));
  EXPECT_FALSE(Spool->EndDoc(h));
  EXPECT_EQ(Logged("no document is open"), 3u) << Log();
  Spool->ClosePrinter(h);
}

TEST_F(SpoolerTest, ClosingWithADocumentOpenDeliversItAndSaysSo) {
  const TempFolder temp("morvel-close-open");
  const std::string folder = temp.Path().string();
  Install(u"P", "file:" + folder);
  auto h = Spool->OpenPrinter(u"P");
  size_t written = 0;
  ASSERT_TRUE(Spool->StartDoc(h, u"unfinished"));
  ASSERT_TRUE(Spool->Write(h, reinterpret_cast<const uint8_t*>("^XA^XZ"), 6, written));
  EXPECT_TRUE(Spool->ClosePrinter(h));
  EXPECT_EQ(Logged("document 'unfinished' ended because the printer was closed before EndDoc"), 1u) << Log();
  EXPECT_EQ(std::filesystem::file_size(folder + "/000001.prn"), 6u);
}

}  // namespace
}  // namespace morvel::testing
