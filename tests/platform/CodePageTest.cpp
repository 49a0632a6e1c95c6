// Tests of the iconv code page: which code page the locale means, and the
// conversions both ways. Byte values are the code pages' published tables
// (the Windows code page charts; GB2312 row 54/48 for 中, 46/36 for 文).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "platform/linux/adapters.h"
#include "support/TestNames.h"
#include "tests/platform/PlatformSupport.h"

namespace morvel::platform {
namespace {

using morvel::testing::ScopedEnv;
using ::testing::HasSubstr;

std::shared_ptr<CodePage> CodePageNamed(const char* name) {
  ScopedEnv env{{"MORVEL_CODEPAGE", name}};
  auto codePage = MakeLinuxCodePage();
  codePage->Name();  // chosen while the variable is set
  return codePage;
}

struct LocaleCase {
  const char* Locale;
  const char* CodePage;
};

void PrintTo(const LocaleCase& c, std::ostream* os) { *os << c.Locale << " -> " << c.CodePage; }

class CodePageForLocaleTest : public ::testing::TestWithParam<LocaleCase> {};

TEST_P(CodePageForLocaleTest, ChoosesAsWindowsDoes) {
  EXPECT_EQ(CodePageForLocale(GetParam().Locale), GetParam().CodePage);
}

INSTANTIATE_TEST_SUITE_P(Locales, CodePageForLocaleTest,
                         ::testing::Values(LocaleCase{"zh_CN.UTF-8", "CP936"}, LocaleCase{"zh_SG", "CP936"},
                                           LocaleCase{"zh_TW.UTF-8", "CP950"}, LocaleCase{"zh_HK.Big5-HKSCS", "CP950"},
                                           LocaleCase{"zh_MO", "CP950"}, LocaleCase{"zh", "CP936"},
                                           LocaleCase{"zh-TW", "CP950"}, LocaleCase{"ja_JP.eucJP", "CP932"},
                                           LocaleCase{"ja", "CP932"}, LocaleCase{"ko_KR.UTF-8", "CP949"},
                                           LocaleCase{"de_DE.UTF-8@euro", "CP1252"}, LocaleCase{"ru_RU", "CP1252"},
                                           LocaleCase{"C", "CP1252"}, LocaleCase{"C.UTF-8", "CP1252"},
                                           LocaleCase{"POSIX", "CP1252"}, LocaleCase{"", "CP1252"},
                                           LocaleCase{"jav_ID", "CP1252"}, LocaleCase{"kok_IN", "CP1252"}),
                         [](const auto& info) { return morvel::testing::Identifier(info.param.Locale); });

TEST(CodePageTest, LocaleComesFromLcAllThenLcCtypeThenLang) {
  struct Case {
    std::optional<std::string> LcAll, LcCtype, Lang;
    const char* Expected;
  };
  const Case cases[] = {
      {"ja_JP.UTF-8", "ko_KR.UTF-8", "zh_CN.UTF-8", "CP932"},
      {std::nullopt, "ko_KR.UTF-8", "zh_CN.UTF-8", "CP949"},
      {"", "", "zh_TW.UTF-8", "CP950"},
      {std::nullopt, std::nullopt, std::nullopt, "CP1252"},
  };
  for (const auto& c : cases) {
    ScopedEnv env{{"MORVEL_CODEPAGE", std::nullopt}, {"LC_ALL", c.LcAll}, {"LC_CTYPE", c.LcCtype}, {"LANG", c.Lang}};
    EXPECT_EQ(MakeLinuxCodePage()->Name(), c.Expected);
  }
}

class UnusableCodePageTest : public morvel::testing::WithFakeServices,
                             public ::testing::WithParamInterface<const char*> {};

TEST_P(UnusableCodePageTest, FallsBackToCp1252AndSaysWhy) {
  auto codePage = CodePageNamed(GetParam());
  EXPECT_EQ(codePage->Name(), "CP1252");
  EXPECT_EQ(codePage->FromUnicode(u"é"), "\xE9");
  ASSERT_EQ(Logged().size(), 1u);
  EXPECT_THAT(Logged()[0], HasSubstr(GetParam()));
}

// SJIS puts the yen sign at 0x5C, so it is no ANSI code page.
INSTANTIATE_TEST_SUITE_P(Names, UnusableCodePageTest, ::testing::Values("NO-SUCH-CODEPAGE", "SJIS"),
                         [](const auto& info) { return morvel::testing::Identifier(info.param); });

struct ConversionCase {
  const char* CodePage;
  std::u16string Text;
  std::string Bytes;
};

void PrintTo(const ConversionCase& c, std::ostream* os) {
  *os << c.CodePage << " " << morvel::testing::Identifier(c.Text);
}
std::string ConversionName(const ::testing::TestParamInfo<ConversionCase>& info) {
  return std::string(info.param.CodePage) + "_" + morvel::testing::Identifier(info.param.Text);
}

class FromUnicodeTest : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(FromUnicodeTest, GivesTheCodePageBytes) {
  EXPECT_EQ(CodePageNamed(GetParam().CodePage)->FromUnicode(GetParam().Text), GetParam().Bytes);
}

INSTANTIATE_TEST_SUITE_P(Tables, FromUnicodeTest,
                         ::testing::Values(ConversionCase{"CP1252", u"é€", "\xE9\x80"},
                                           ConversionCase{"CP1252", u"Größe 5 €",
                                                          "Gr\xF6\xDF"
                                                          "e 5 \x80"},
                                           ConversionCase{"CP936", u"中文", "\xD6\xD0\xCE\xC4"},
                                           ConversionCase{"CP936", u"A中b",
                                                          "A\xD6\xD0"
                                                          "b"},
                                           ConversionCase{"CP950", u"中文", "\xA4\xA4\xA4\xE5"},
                                           ConversionCase{"CP932", u"日本", "\x93\xFA\x96\x7B"},
                                           ConversionCase{"CP949", u"한국", "\xC7\xD1\xB1\xB9"},
                                           // What the code page lacks: one '?' per character.
                                           ConversionCase{"CP1252", u"中文x", "??x"},
                                           ConversionCase{"CP932", u"€1", "?1"},
                                           ConversionCase{"CP1252", u"a\U0001F600b", "a?b"},
                                           ConversionCase{"CP936", u"\U00020000中", "?\xD6\xD0"},
                                           ConversionCase{"CP1252",
                                                          std::u16string(u"a\xD800"
                                                                         u"b"),
                                                          "a?b"},
                                           ConversionCase{"CP1252", std::u16string(u"\xDC00\xD800"), "??"},
                                           ConversionCase{"CP936", std::u16string(u"中\xD83D"), "\xD6\xD0?"},
                                           ConversionCase{"CP1252", std::u16string(u"\xDE00\xD83D\xDE00", 3), "??"}),
                         ConversionName);

class ToUnicodeTest : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(ToUnicodeTest, ReadsTheCodePageBytes) {
  EXPECT_EQ(CodePageNamed(GetParam().CodePage)->ToUnicode(GetParam().Bytes), GetParam().Text);
}

INSTANTIATE_TEST_SUITE_P(Tables, ToUnicodeTest,
                         ::testing::Values(ConversionCase{"CP1252", u"é€", "\xE9\x80"},
                                           ConversionCase{"CP936", u"中文", "\xD6\xD0\xCE\xC4"},
                                           ConversionCase{"CP950", u"中文", "\xA4\xA4\xA4\xE5"},
                                           ConversionCase{"CP932", u"ｱ日", "\xB1\x93\xFA"},
                                           // 0x81 is unassigned in CP1252.
                                           ConversionCase{"CP1252", u"a?b",
                                                          "a\x81"
                                                          "b"},
                                           // A lead byte without its trail byte.
                                           ConversionCase{"CP936", u"a?", "a\xD6"},
                                           ConversionCase{"CP936", u"?文", "\xFF\xCE\xC4"}),
                         ConversionName);

TEST(CodePageTest, AsciiPassesUnchanged) {
  std::string bytes;
  for (int c = 0; c < 0x80; ++c) bytes.push_back(static_cast<char>(c));
  std::u16string text(bytes.begin(), bytes.end());
  for (const char* name : {"CP1252", "CP936", "CP950", "CP932", "CP949"}) {
    auto codePage = CodePageNamed(name);
    EXPECT_EQ(codePage->FromUnicode(text), bytes) << name;
    EXPECT_EQ(codePage->ToUnicode(bytes), text) << name;
    EXPECT_EQ(codePage->FromUnicode(u""), "") << name;
    EXPECT_EQ(codePage->ToUnicode(""), u"") << name;
  }
}

TEST(CodePageTest, RoundTripsWhatTheCodePageHolds) {
  const std::pair<const char*, std::u16string> cases[] = {
      {"CP1252", u"Grüße, Zoë — „Preis“ 12,50 € ‰ ™"},
      {"CP936", u"条形码标签打印机 ABC 123 ￥"},
      {"CP950", u"條碼標籤印表機 ABC"},
      {"CP932", u"バーコードラベル 印刷 ｶﾀｶﾅ"},
      {"CP949", u"바코드 라벨 프린터 漢字"},
  };
  for (const auto& [name, text] : cases) {
    auto codePage = CodePageNamed(name);
    std::string bytes = codePage->FromUnicode(text);
    EXPECT_EQ(bytes.find('?'), std::string::npos) << name;
    EXPECT_EQ(codePage->ToUnicode(bytes), text) << name;
  }
}

TEST(CodePageTest, LongTextConvertsWhole) {
  // Longer than any first guess at the output size, in both directions.
  std::u16string text;
  for (int i = 0; i < 5000; ++i) text += u"中文€x";
  auto codePage = CodePageNamed("CP936");
  std::string bytes = codePage->FromUnicode(text);
  EXPECT_EQ(bytes.size(), 5000u * 6);
  EXPECT_EQ(codePage->ToUnicode(bytes), text);
}

TEST(CodePageTest, ThreadsConvertAtOnce) {
  auto codePage = CodePageNamed("CP936");
  std::vector<std::thread> threads;
  std::vector<int> wrong(8, 0);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        std::u16string text = (t % 2 == 0 ? u"中文" : u"标签\U0001F600") + std::u16string(i % 7, u'x');
        std::string bytes = codePage->FromUnicode(text);
        if (codePage->FromUnicode(codePage->ToUnicode(bytes)) != bytes) ++wrong[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(8, 0));
}

}  // namespace
}  // namespace morvel::platform
