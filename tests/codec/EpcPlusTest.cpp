// The "+" schemes of the EPC Tag Data Standard (TDS 2.x) against its
// worked examples (Annex E.3), both ways and from every input form; +AIDC
// data worked by hand from Table F; one row per rule refused; and random
// element strings of every "+" scheme, with and without +AIDC data, round
// the circle.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "codec/epc/Epc.h"

namespace morvel::epc {
namespace {

// The standard prints a "+" EPC to its last hexadecimal digit (SSCC+: 21
// digits, 84 bits); a Tag writes whole 16-bit words, the rest zero bits.
std::string Words(std::string hex) {
  hex.append((4 - hex.size() % 4) % 4, '0');
  return hex;
}

struct Example {
  const char* Scheme;
  int Filter;
  const char* ElementString;
  const char* DigitalLink;
  const char* PureIdentity;  // the same key's pure-identity URI, "" where it has none
  const char* Hex;
};

// TDS 2.3 Annex E.3, every "+" row: element string, GS1 Digital Link URI and
// hex as printed. The pure-identity URIs are Annex E.3's own for the same
// keys (SGLN-195, GRAI-170, GIAI-202, CPI-var, ...); SGTIN's and ITIP's are
// made by TDS 7.3 and 7.15 from the "+" rows' element strings, whose GTIN
// and serial the older rows do not share. The "++" rows (some of which carry
// another scheme's header) are not here: this codec does not write "++".
const Example Examples[] = {
    {"SGTIN+", 3, "(01)79521141123453(21)32a/b", "https://id.gs1.org/01/79521141123453/21/32a%2Fb",
     "urn:epc:id:sgtin:9521141.712345.32a%2Fb", "F73795211411234538566CB0AFC4"},
    {"DSGTIN+", 3, "(01)79521141123453(21)32a/b(17)220630", "https://id.gs1.org/01/79521141123453/21/32a%2Fb?17=220630",
     "", "FB342CDE795211411234538566CB0AFC4"},
    {"SSCC+", 0, "(00)095201234567891235", "https://id.gs1.org/00/095201234567891235",
     "urn:epc:id:sscc:952012.03456789123", "F90095201234567891235"},
    {"SGLN+", 3, "(414)9521141123454(254)32a/b", "https://id.gs1.org/414/9521141123454/254/32a%2Fb",
     "urn:epc:id:sgln:9521141.12345.32a%2Fb", "F2395211411234548566CB0AFC4"},
    {"GRAI+", 3, "(8003)0952114112345432a/b", "https://id.gs1.org/8003/0952114112345432a%2Fb",
     "urn:epc:id:grai:9521141.12345.32a%2Fb", "F13095211411234548566CB0AFC4"},
    {"GIAI+", 3, "(8004)952114132a/b", "https://id.gs1.org/8004/952114132a%2Fb", "urn:epc:id:giai:9521141.32a%2Fb",
     "FA3952114132E83C2BF10"},
    {"GSRN+", 3, "(8018)952114112345678906", "https://id.gs1.org/8018/952114112345678906",
     "urn:epc:id:gsrn:9521141.1234567890", "F43952114112345678906"},
    {"GSRNP+", 3, "(8017)952114112345678906", "https://id.gs1.org/8017/952114112345678906",
     "urn:epc:id:gsrnp:9521141.1234567890", "F53952114112345678906"},
    {"GDTI+", 3, "(253)95211411234545678", "https://id.gs1.org/253/95211411234545678",
     "urn:epc:id:gdti:9521141.12345.5678", "F6395211411234540458B8"},
    {"CPI+", 3, "(8010)95211415PQ7/Z43(8011)12345", "https://id.gs1.org/8010/95211415PQ7%2FZ43/8011/12345",
     "urn:epc:id:cpi:9521141.5PQ7%2FZ43.12345", "F0395211415E87A145BAFB4D19A8C0E4"},
    {"SGCN+", 3, "(255)952114167890904711", "https://id.gs1.org/255/952114167890904711",
     "urn:epc:id:sgcn:9521141.67890.04711", "F839521141678909509338"},
    {"ITIP+", 3, "(8006)095211411234540102(21)rif981", "https://id.gs1.org/8006/095211411234540102/21/rif981",
     "urn:epc:id:itip:9521141.012345.01.02.rif981", "F3309521141123454010266AE27FDF35"},
};

TEST(EpcPlusTest, TheStandardsExamplesBothWaysFromEveryForm) {
  for (const Example& e : Examples) {
    SCOPED_TRACE(e.ElementString);
    const Tag tag = Encode(e.Scheme, e.Filter, 0, e.ElementString);
    EXPECT_EQ(tag.Hex(), Words(e.Hex));
    EXPECT_EQ(tag.Scheme, e.Scheme);
    EXPECT_EQ(Encode(e.Scheme, e.Filter, 7, e.ElementString).Hex(), tag.Hex());  // a prefix length changes nothing
    EXPECT_EQ(Encode(e.Scheme, e.Filter, 0, e.DigitalLink).Hex(), tag.Hex());
    if (*e.PureIdentity != '\0') {
      EXPECT_EQ(Encode(e.Scheme, e.Filter, 0, e.PureIdentity).Hex(), tag.Hex());
    }
    for (const std::string& hex : {std::string(e.Hex), Words(e.Hex)}) {
      const Decoded d = Decode(hex);
      EXPECT_EQ(d.Scheme, e.Scheme);
      EXPECT_EQ(d.Filter, e.Filter);
      EXPECT_EQ(d.ElementString, e.ElementString);
      EXPECT_EQ(d.TagUri, "");  // TDS 13: no tag URI for the "+" schemes
      EXPECT_EQ(d.PureIdentity, "");
    }
  }
}

// The coding tables' "Total Bits" (TDS 14.6): SSCC+, GSRN+ and GSRNP+ are
// 84 bits; the others "up to" a length their longest values take, serials
// of characters only 7-bit ASCII holds (GIAI+ and CPI+ "assuming the
// shortest initial all-numeric sequence to be 4 digits").
TEST(EpcPlusTest, LongestValuesTakeTheCodingTablesTotalBits) {
  const std::string bang20(20, '!');
  const struct {
    const char* Scheme;
    std::string Input;
    int Bits;
  } rows[] = {
      {"SSCC+", "(00)095201234567891235", 84},
      {"GSRN+", "(8018)952114112345678906", 84},
      {"GSRNP+", "(8017)952114112345678906", 84},
      {"SGTIN+", "(01)79521141123453(21)" + bang20, 216},
      {"DSGTIN+", "(01)79521141123453(21)" + bang20 + "(11)220630", 236},
      {"SGLN+", "(414)9521141123454(254)" + bang20, 212},
      {"GRAI+", "(8003)09521141123454" + std::string(16, '!'), 188},
      {"GIAI+", "(8004)1234" + std::string(26, '!'), 222},
      {"GDTI+", "(253)9521141123454" + std::string(17, '!'), 191},
      {"CPI+", "(8010)1234" + std::string(26, '/') + "(8011)123456789012", 266},
      {"SGCN+", "(255)9521141678909999999999999", 108},
      {"ITIP+", "(8006)095211411234540102(21)" + bang20, 232},
  };
  for (const auto& row : rows) EXPECT_EQ(Encode(row.Scheme, 3, 0, row.Input).Bits, row.Bits) << row.Scheme;
}

TEST(EpcPlusTest, TheLongestEpcFillsTheTag) {
  // 216 bits of SGTIN+, then (91) with 37 7-bit characters: 8 + 3 + 7 + 259 bits, 493 in all, 31 words.
  const std::string input = "(01)79521141123453(21)" + std::string(20, '!') + "(91)" + std::string(37, '!');
  const Tag tag = Encode("SGTIN+", 3, 0, input);
  EXPECT_EQ(tag.Bits, 493);
  EXPECT_EQ(tag.Hex().size(), 124u);
  EXPECT_EQ(Decode(tag.Hex()).ElementString, input);
}

// The serial by each encoding indicator of TDS 14.5.6 (Table E), worked by
// hand: the Annex E.3 SGTIN+ to its GTIN (F7, 3, 14 digits), then the
// indicator, a 5-bit length and the characters. Of encodings as short as
// each other the lowest indicator is written ("7": numeric, 4 bits, before
// hexadecimal, 4 bits).
TEST(EpcPlusTest, EachEncodingIndicator) {
  const struct {
    const char* Serial;
    const char* Hex;
  } rows[] = {
      {"7", "F7379521141123453017"},               // 000 00001 0111
      {"A", "F737952114112345321A"},               // 001 00001 1010
      {"ab12", "F737952114112345344AB120"},        // 010 00100 1010 1011 0001 0010
      {"g", "F73795211411234536180000"},           // 011 00001 100000 (base 64's g)
      {"A-1.B:", "F7379521141123453A60A98AF6E0"},  // 101 00110, 1600*1+40*27+31+1, 1600*28+40*2+29+1
      // 000 10100 and 20 digits in 67 bits (TDS 15.3 Table B), more than 64.
      {"98765432109876543210", "F737952114112345314AB54A9A71CA4CFDD4"},
  };
  for (const auto& row : rows) {
    const std::string input = std::string("(01)79521141123453(21)") + row.Serial;
    EXPECT_EQ(Encode("SGTIN+", 3, 0, input).Hex(), row.Hex) << row.Serial;
    EXPECT_EQ(Decode(row.Hex).ElementString, input);
  }
}

// +AIDC data worked by hand from TDS 15.3 and Table F: each AI's digits 4
// bits each, then its value by the row's method.
TEST(EpcPlusTest, AidcDataAfterTheEpc) {
  const struct {
    const char* Scheme;
    int Filter;
    const char* ElementString;
    const char* Hex;
  } rows[] = {
      // F7, toggle 1 and filter 3 (B), the SGTIN+ above; (17) 0001 0111, 22 06 30 in 7+4+5 bits;
      // (10) 0001 0000, "ABC" upper-case hexadecimal: indicator 001, length 00011, A B C.
      {"SGTIN+", 3, "(01)79521141123453(21)32a/b(17)220630(10)ABC", "F7B795211411234538566CB0AFC42E59BC2047578000"},
      // F9, toggle 1 and filter 2 (A), the SSCC; (3103) 000525 in 20 bits; (30) length 0010, 12 in
      // 7 bits; (4307) DE as two 6-bit letters, 3 and 4.
      {"SSCC+", 2, "(00)095201234567891235(3103)000525(30)12(4307)DE", "F9A09520123456789123531030020D30218860E18800"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.ElementString);
    EXPECT_EQ(Encode(row.Scheme, row.Filter, 0, row.ElementString).Hex(), row.Hex);
    const Decoded d = Decode(row.Hex);
    EXPECT_EQ(d.ElementString, row.ElementString);
    EXPECT_EQ(d.Filter, row.Filter);
  }
  // A GS1 Digital Link URI's query gives the same +AIDC data.
  EXPECT_EQ(Encode("SGTIN+", 3, 0, "https://example.com/a/b/01/79521141123453/21/32a%2Fb?linkType=all&17=220630&10=ABC")
                .Hex(),
            rows[0].Hex);
}

TEST(EpcPlusTest, SglnWithoutExtensionTakesExtensionZero) {
  // SGLN+'s coding table always holds an extension; as in every SGLN EPC, 0 stands for none.
  const Tag none = Encode("SGLN+", 3, 0, "(414)9521141123454");
  EXPECT_EQ(none.Hex(), Encode("SGLN+", 3, 0, "(414)9521141123454(254)0").Hex());
  EXPECT_EQ(Decode(none.Hex()).ElementString, "(414)9521141123454");
}

std::string Refusal(const std::function<void()>& call) {
  try {
    call();
  } catch (const Refused& refused) {
    return refused.what();
  }
  return "(taken)";
}

TEST(EpcPlusTest, EachRuleRefusedWithItsName) {
  const auto in = [](const char* scheme, int filter, const std::string& input) {
    return [=] { Encode(scheme, filter, 0, input); };
  };
  const auto hex = [](const char* digits) { return [digits] { Decode(digits); }; };
  const struct {
    std::function<void()> Call;
    const char* Message;
  } cases[] = {
      {in("SGTIN+", 3, "(01)79521141123454(21)32a/b"), "SGTIN+: (01) GTIN check digit 4 does not match (3)"},
      {in("SGTIN+", 3, "(01)7952114112345(21)32a/b"), "SGTIN+: (01) takes 14 digits, not '7952114112345'"},
      {in("SGTIN+", 3, "(01)79521141123453(21)123456789012345678901"),
       "SGTIN+: (21) '123456789012345678901' is over 20 characters"},
      {in("SGTIN+", 3, "(01)79521141123453(21)a~b"), "SGTIN+: (21) character '~' is not in the GS1 character set 82"},
      {in("SGTIN+", 3, "(01)79521141123453(21)"), "SGTIN+: (21) is empty"},
      {in("SGTIN+", 3, "(01)79521141123453"), "SGTIN+: takes (21)"},
      {in("SGTIN+", 8, "(01)79521141123453(21)1"), "filter 8 is not 0-7"},
      {in("SGTIN+", 3, "(01)79521141123453(21)1(21)2"), "SGTIN+: (21) stands twice"},
      {in("SGTIN+", 3, "(01)79521141123453(21)1(03)5"),
       "SGTIN+: (03) is no AI of Table F in the EPC Tag Data Standard"},
      // 80 bits of SGTIN+ with serial 1 (numeric: indicator, length, 4 bits), 648 of (91): its header, indicator,
      // length and 90 7-bit characters.
      {in("SGTIN+", 3, "(01)79521141123453(21)1(91)" + std::string(90, '%')),
       "SGTIN+: 728 bits, over the 496 an EPC bank's length counts (TDS 14.6)"},
      {in("SGTIN+", 3, "01)79521141123453(21)1"),
       "not a GS1 element string ((01)...), a GS1 Digital Link URI (https://...) or a pure-identity URI "
       "(urn:epc:id:...): '01)79521141123453(21)1'"},
      {in("SGTIN+", 3, "(01)79521141123453(21)1(17)220230"), "SGTIN+: (17) date 220230: month 2 has no day 30"},
      {in("SGTIN+", 3, "(01)79521141123453(21)1(17)221301"), "SGTIN+: (17) date 221301 has no month 13"},
      {in("SGTIN+", 3, "(01)79521141123453(21)1(8008)2206302460"),
       "SGTIN+: (8008) time in 2206302460 is no time of day"},
      {in("DSGTIN+", 3, "(01)79521141123453(21)1"),
       "DSGTIN+: takes a date of six digits: (11), (13), (15), (16), (17), (7006) or (7007)"},
      {in("DSGTIN+", 3, "urn:epc:id:sgtin:9521141.712345.1"),
       "DSGTIN+ takes its date from an element string or GS1 Digital Link URI"},
      {in("GRAI+", 3, "(8003)1952114112345432a/b"), "GRAI+: (8003) starts with 0, not 1"},
      {in("GRAI+", 3, "(8003)09521141123454"), "GRAI+: (8003) is empty"},
      {in("CPI+", 3, "(8010)95211415pq(8011)1"), "CPI+: (8010) character 'p' is not in the GS1 character set 39"},
      {in("SGCN+", 3, "(255)95211416789090471A"), "SGCN+: (255) '0471A' is not all digits"},
      {in("SGTIN+", 3, "(01)79521141123453(21)1(4307)de"), "SGTIN+: (4307) takes two letters A-Z, not 'de'"},
      {in("SGTIN+", 3, "https://id.gs1.org/gtin/79521141123453"),
       "SGTIN+: the GS1 Digital Link URI has no /01/ in its path: 'https://id.gs1.org/gtin/79521141123453'"},
      {in("SGTIN+", 3, "https://id.gs1.org/01/79521141123453/21"),
       "SGTIN+: the GS1 Digital Link URI's path ends in an AI without its value"},
      {in("SGTIN+", 3, "https://id.gs1.org/01/79521141123453/21/a%2"), "SGTIN+: 'a%2' has a % without two hex digits"},
      {in("SGTIN+", 3, "urn:epc:id:sscc:952012.03456789123"),
       "SGTIN+ takes a pure-identity URI urn:epc:id:sgtin:..., not 'urn:epc:id:sscc:952012.03456789123'"},
      {[] { Encode("SGTIN+", 3, 6, "urn:epc:id:sgtin:9521141.712345.1"); },
       "company prefix length 6 does not match the URI's 9521141 (7 digits)"},
      {[] { Encode("urn:epc:tag:sgtin+:3.9521141.712345.1"); },
       "SGTIN+ has no tag URI (TDS 13): encode its element string or GS1 Digital Link URI"},
      // Decoding: the Annex E.3 SGTIN+ (111 bits) with one field broken at a time.
      {hex("F73795211411234538566CB0AFC5"), "SGTIN+: bits are set after its 111 bits"},
      {hex("F73795211411234538566CB0AFC400000000"), "SGTIN+: takes 28 hexadecimal digits (111 bits), not 36"},
      {hex("F737952114112345"), "SGTIN+: (01) runs past the EPC's last bit"},
      {hex("F737952114112345A8566CB0AFC4"), "SGTIN+: (01) holds 4-bit value 10, no digit"},
      {hex("F73795211411234548566CB0AFC4"), "SGTIN+: (01) GTIN check digit 4 does not match (3)"},
      {hex("F7379521141123453C0"), "SGTIN+: (21) has encoding indicator 6, which is reserved"},
      {hex("F73795211411234538566"), "SGTIN+: (21) runs past the EPC's last bit"},
      {hex("F7379521141123453800"), "SGTIN+: (21) is empty"},
      {hex("F7B795211411234538566CB0AFC4"), "SGTIN+: its +AIDC data toggle is 1, but no AIDC data follows"},
      // The Annex E.3 SSCC+ (84 bits, a whole digit) with its toggle 1 and a header after it.
      {hex("F98095201234567891235A0"),
       "SSCC+: +AIDC data header A0 is a special header this codec does not know (TDS 15.3)"},
      {hex("F98095201234567891235140"), "SSCC+: +AIDC data header 14 begins no AI (TDS 15.3, Table K)"},
      {hex("F980952012345678912358014"), "SSCC+: +AIDC data holds (8014), which Table F does not list"},
      {hex("FB3F2CDE795211411234538566CB0AFC4"), "DSGTIN+: date type indicator 15 is reserved (TDS 14.5.3)"},
      {hex("FB342CDF795211411234538566CB0AFC4"), "DSGTIN+: (17) date 220631: month 6 has no day 31"},
      {hex("FA3952114132B"), "GIAI+: (8004) holds 4-bit value 11, no digit, delimiter or terminator"},
  };
  for (const auto& c : cases) EXPECT_EQ(Refusal(c.Call), c.Message);
}

// ---- Random element strings of every "+" scheme ----

class Draw {
 public:
  int Below(int end) { return std::uniform_int_distribution<int>(0, end - 1)(random_); }
  std::string Digits(int count) {
    std::string out;
    for (int k = 0; k < count; ++k) out += static_cast<char>('0' + Below(10));
    return out;
  }
  // `digits` digits and their GS1 check digit.
  std::string Key(int digits) {
    std::string key = Digits(digits);
    int sum = 0, weight = 3;
    for (size_t k = key.size(); k-- > 0; weight = 4 - weight) sum += (key[k] - '0') * weight;
    return key + static_cast<char>('0' + (10 - sum % 10) % 10);
  }
  // 1 to `most` characters from one of the sets the alphanumeric method
  // picks an encoding by, so that every encoding indicator comes up.
  std::string Characters(int most, int least = 1) {
    static const std::string Sets[] = {
        "0123456789",
        "0123456789ABCDEF",
        "0123456789abcdef",
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_",
        "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-.:",
        "!\"%&'()*+,-./0123456789:;<=>?ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz",
    };
    const std::string& set = Sets[Below(6)];
    std::string out;
    for (int k = 0, size = least + Below(most - least + 1); k < size; ++k)
      out += set[static_cast<size_t>(Below(static_cast<int>(set.size())))];
    return out;
  }
  std::string Date() {
    static const int Days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int month = 1 + Below(12), year = Below(100);
    const int day = Below((month == 2 && year % 4 != 0 ? 28 : Days[month - 1]) + 1);
    return Two(year) + Two(month) + Two(day);
  }
  std::string Two(int value) {
    return std::string(1, static_cast<char>('0' + value / 10)) + static_cast<char>('0' + value % 10);
  }

 private:
  std::mt19937 random_{20251031};
};

// The AIs a "+" scheme's EPC holds, drawn: its element string.
std::string RandomEpc(const std::string& scheme, Draw& draw) {
  static const char* const DateAis[] = {"11", "13", "15", "16", "17", "7006", "7007"};
  const std::string gtin = "(01)" + draw.Key(13) + "(21)" + draw.Characters(20);
  if (scheme == "SGTIN+") return gtin;
  if (scheme == "DSGTIN+") return gtin + "(" + DateAis[draw.Below(7)] + ")" + draw.Date();
  if (scheme == "SSCC+") return "(00)" + draw.Key(17);
  if (scheme == "SGLN+") {
    const std::string extension = draw.Characters(20);
    return "(414)" + draw.Key(12) + (extension == "0" ? "" : "(254)" + extension);
  }
  if (scheme == "GRAI+") return "(8003)0" + draw.Key(12) + draw.Characters(16);
  if (scheme == "GIAI+") {
    const std::string digits = draw.Digits(4 + draw.Below(10));
    return "(8004)" + digits + draw.Characters(static_cast<int>(30 - digits.size()), 0);
  }
  if (scheme == "GSRN+") return "(8018)" + draw.Key(17);
  if (scheme == "GSRNP+") return "(8017)" + draw.Key(17);
  if (scheme == "GDTI+") return "(253)" + draw.Key(12) + draw.Characters(17);
  if (scheme == "CPI+") {
    static const std::string Set39 = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ#-/";
    std::string cpi = draw.Digits(4 + draw.Below(8));
    for (int k = draw.Below(31 - static_cast<int>(cpi.size())); k > 0; --k)
      cpi += Set39[static_cast<size_t>(draw.Below(39))];
    return "(8010)" + cpi + "(8011)" + draw.Digits(1 + draw.Below(12));
  }
  if (scheme == "SGCN+") return "(255)" + draw.Key(12) + draw.Digits(1 + draw.Below(12));
  return "(8006)" + draw.Key(13) + draw.Digits(4) + "(21)" + draw.Characters(20);  // ITIP+
}

// One AI of +AIDC data, drawn from a sample of Table F's methods.
std::string RandomData(int which, Draw& draw) {
  switch (which) {
    case 0: return "(10)" + draw.Characters(20);
    case 1: return "(3103)" + draw.Digits(6);
    case 2: return "(30)" + draw.Digits(1 + draw.Below(8));
    case 3:
      return "(4307)" + std::string{static_cast<char>('A' + draw.Below(26)), static_cast<char>('A' + draw.Below(26))};
    case 4: return "(8008)" + draw.Date() + std::string("00102030").substr(0, static_cast<size_t>(2 * draw.Below(4)));
    case 5: return "(7007)" + draw.Date() + (draw.Below(2) ? draw.Date() : "");
    case 6: return "(4330)" + draw.Digits(6) + (draw.Below(2) ? "-" : "");
    case 7: return "(7258)" + std::to_string(1 + draw.Below(9)) + "/" + std::to_string(1 + draw.Below(9));
    case 8: return "(414)" + draw.Key(12);
    case 9: return "(4321)" + std::to_string(draw.Below(2));
    case 10: return "(7023)" + draw.Digits(draw.Below(6)) + draw.Characters(10);
    default: return "(4324)" + draw.Date() + draw.Two(draw.Below(24)) + draw.Two(draw.Below(60));
  }
}

TEST(EpcPlusTest, RandomElementStringsOfEverySchemeGoRound) {
  Draw draw;
  for (std::string_view name : SchemeNames()) {
    const std::string scheme(name);
    if (scheme.back() != '+') continue;
    for (int k = 0; k < 300; ++k) {
      std::string input = RandomEpc(scheme, draw);
      const int first = draw.Below(12), second = (first + 1 + draw.Below(11)) % 12;
      for (int which : {first, second}) {  // none, one or two AIs of +AIDC data, none the EPC's own
        const std::string data = RandomData(which, draw);
        if (k % 3 > (which == first ? 0 : 1) && input.find(data.substr(0, data.find(')') + 1)) == std::string::npos)
          input += data;
      }
      const int filter = draw.Below(8);
      SCOPED_TRACE(scheme + " " + input);
      const Tag tag = Encode(scheme, filter, 0, input);
      const Decoded d = Decode(tag.Hex());
      ASSERT_EQ(d.ElementString, input);
      ASSERT_EQ(d.Scheme, scheme);
      ASSERT_EQ(d.Filter, filter);
      ASSERT_EQ(tag.Hex().size(), static_cast<size_t>((tag.Bits + 15) / 16 * 4));
      ASSERT_EQ(Encode(scheme, filter, 0, d.ElementString).Hex(), tag.Hex());
    }
  }
}

}  // namespace
}  // namespace morvel::epc
