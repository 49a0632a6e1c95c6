// Every language has its row and its reading half, and they agree: a job is
// told by its first command, the words read back to the language, and a
// picture written by a language's raster writer is read back by its reader
// as one label of the picture's size with the copies asked for.
#include <gtest/gtest.h>

#include <algorithm>

#include "lang/Languages.h"
#include "lang/Reading.h"
#include "lang/Status.h"

namespace morvel::lang {
namespace {

TEST(LanguageRows, EveryLanguageHasItsRowsAndTheirWordsReadBack) {
  ASSERT_EQ(LanguageRows().size(), std::size(AllLanguages));
  std::vector<int> ports;
  for (Language language : AllLanguages) {
    const LanguageRow& row = RowOf(language);
    SCOPED_TRACE(row.Name);
    EXPECT_EQ(row.Id, language);
    EXPECT_EQ(ReadingOf(language).Id, language);
    EXPECT_EQ(&StatusOf(language), row.Status);
    EXPECT_EQ(LanguageNamed(row.Name), language);
    EXPECT_EQ(LanguageNamed(row.Word), language);
    // Each language on a port of its own, where the virtual printer has listened since it was made.
    EXPECT_EQ(std::count(ports.begin(), ports.end(), row.EmulatorPort), 0);
    ports.push_back(row.EmulatorPort);
  }
  EXPECT_EQ(ports, (std::vector<int>{9190, 9191, 9192, 9193}));
  EXPECT_EQ(LanguageWords(), (std::vector<std::string_view>{"zpl", "sbpl", "orx", "epl2"}));
  EXPECT_STREQ(NameOf(Language::Tspl), "tspl");
  EXPECT_STREQ(TitleOf(Language::Tspl), "Orx");
  EXPECT_EQ(LanguageNamed("ZPL"), std::nullopt);
}

TEST(LanguageRows, AJobIsToldByItsFirstCommand) {
  const struct {
    std::string Bytes;
    std::optional<Language> Is;
  } cases[] = {
      {"^XA^FO10,10^FDx^FS^XZ", Language::Zpl},
      {" \r\n\t~HS", Language::Zpl},
      {"\x1b"
       "A\x1bZ",
       Language::Sbpl},
      {"\x1b"
       "B",
       std::nullopt},
      {"\x1b", std::nullopt},
      {"SIZE 101.6 mm,152.4 mm\r\nCLS\r\n", Language::Tspl},
      {"cls\r\n", Language::Tspl},
      {"\r\nN\r\nq812\r\n", Language::Epl},
      {"A quick note", std::nullopt},
      {"%PDF-1.4", std::nullopt},
      {"HELLO", std::nullopt},
      {"", std::nullopt},
      {" \n ", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(JobLanguage(c.Bytes), c.Is) << c.Bytes;
}

TEST(LanguageRows, EachRasterIsReadBackByItsOwnReader) {
  core::Bitmap dots(40, 24);
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 40; ++x) dots.Set(x, y, (x / 8 + y / 6) % 2 == 0);
  for (const LanguageRow* row : LanguageRows()) {
    SCOPED_TRACE(row->Name);
    const ReadingRow& reading = ReadingOf(row->Id);
    const std::string job = reading.Raster(dots, {203, 3, zpl::GraphicCompression::Z64});
    EXPECT_EQ(JobLanguage(job), row->Id);
    const Job read = reading.Read(job, 203, {}, {});
    ASSERT_EQ(read.Labels.size(), 1u);
    EXPECT_EQ(read.Labels[0].Copies, "3");
    EXPECT_FALSE(read.Labels[0].Fields.empty());
  }
}

}  // namespace
}  // namespace morvel::lang
