// The EPC codec against the EPC Tag Data Standard: its worked examples in
// every form (hex, tag URI, pure identity, element string) both ways, one
// row per rule it refuses, and random values of every scheme round the
// circle. The examples' hex is the standard's (its appendix of examples);
// CPI-96, ITIP-212 and the SGLN without extension were worked by hand from
// the coding tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "codec/epc/Epc.h"

namespace morvel::epc {
namespace {

struct Example {
  const char* Scheme;
  int Filter;
  int PrefixLength;
  const char* TagUri;
  const char* Hex;
  const char* PureIdentity;
  const char* ElementString;  // "" where the scheme has none
};

const Example Examples[] = {
    {"SGTIN-96", 3, 7, "urn:epc:tag:sgtin-96:3.0614141.812345.6789", "3074257BF7194E4000001A85",
     "urn:epc:id:sgtin:0614141.812345.6789", "(01)80614141123458(21)6789"},
    {"SGTIN-198", 3, 7, "urn:epc:tag:sgtin-198:3.0614141.712345.32a%2Fb",
     "3674257BF6B7A659B2C2BF100000000000000000000000000000", "urn:epc:id:sgtin:0614141.712345.32a%2Fb",
     "(01)70614141123451(21)32a/b"},
    {"SSCC-96", 3, 7, "urn:epc:tag:sscc-96:3.0614141.1234567890", "3174257BF4499602D2000000",
     "urn:epc:id:sscc:0614141.1234567890", "(00)106141412345678908"},
    {"SGLN-96", 3, 7, "urn:epc:tag:sgln-96:3.0614141.12345.400", "3274257BF460720000000190",
     "urn:epc:id:sgln:0614141.12345.400", "(414)0614141123452(254)400"},
    {"SGLN-96", 1, 7, "urn:epc:tag:sgln-96:1.0614141.12345.0", "3234257BF460720000000000",
     "urn:epc:id:sgln:0614141.12345.0", "(414)0614141123452"},
    {"SGLN-195", 3, 7, "urn:epc:tag:sgln-195:3.0614141.12345.32a%2Fb",
     "3974257BF46072CD9615F8800000000000000000000000000000", "urn:epc:id:sgln:0614141.12345.32a%2Fb",
     "(414)0614141123452(254)32a/b"},
    {"GRAI-96", 3, 7, "urn:epc:tag:grai-96:3.0614141.12345.400", "3374257BF40C0E4000000190",
     "urn:epc:id:grai:0614141.12345.400", "(8003)00614141123452400"},
    {"GRAI-170", 3, 7, "urn:epc:tag:grai-170:3.0614141.12345.32a%2Fb", "3774257BF40C0E59B2C2BF1000000000000000000000",
     "urn:epc:id:grai:0614141.12345.32a%2Fb", "(8003)0061414112345232a/b"},
    {"GIAI-96", 3, 7, "urn:epc:tag:giai-96:3.0614141.5678", "3474257BF40000000000162E", "urn:epc:id:giai:0614141.5678",
     "(8004)06141415678"},
    {"GIAI-202", 3, 7, "urn:epc:tag:giai-202:3.0614141.32a%2Fb", "3874257BF59B2C2BF10000000000000000000000000000000000",
     "urn:epc:id:giai:0614141.32a%2Fb", "(8004)061414132a/b"},
    {"GSRN-96", 3, 7, "urn:epc:tag:gsrn-96:3.0614141.1234567890", "2D74257BF4499602D2000000",
     "urn:epc:id:gsrn:0614141.1234567890", "(8018)061414112345678902"},
    {"GSRNP-96", 3, 7, "urn:epc:tag:gsrnp-96:3.0614141.1234567890", "2E74257BF4499602D2000000",
     "urn:epc:id:gsrnp:0614141.1234567890", "(8017)061414112345678902"},
    {"GDTI-96", 3, 7, "urn:epc:tag:gdti-96:3.0614141.12345.400", "2C74257BF460720000000190",
     "urn:epc:id:gdti:0614141.12345.400", "(253)0614141123452400"},
    {"GDTI-174", 3, 7, "urn:epc:tag:gdti-174:3.0614141.12345.32a%2Fb", "3E74257BF46072CD9615F88000000000000000000000",
     "urn:epc:id:gdti:0614141.12345.32a%2Fb", "(253)061414112345232a/b"},
    {"CPI-96", 3, 7, "urn:epc:tag:cpi-96:3.0614141.5678.12345", "3C74257BF4000B1700003039",
     "urn:epc:id:cpi:0614141.5678.12345", "(8010)06141415678(8011)12345"},
    {"SGCN-96", 3, 7, "urn:epc:tag:sgcn-96:3.4012345.67890.04711", "3F74F4E4E612640000019907",
     "urn:epc:id:sgcn:4012345.67890.04711", "(255)401234567890104711"},
    {"GID-96", 0, 0, "urn:epc:tag:gid-96:31415.271828.1414", "350007AB70425D4000000586",
     "urn:epc:id:gid:31415.271828.1414", ""},
    {"ITIP-110", 3, 7, "urn:epc:tag:itip-110:3.4012345.012345.01.02.987", "4074F4E4E40C0E40820000000F6C",
     "urn:epc:id:itip:4012345.012345.01.02.987", "(8006)040123451234560102(21)987"},
    {"ITIP-212", 3, 7, "urn:epc:tag:itip-212:3.4012345.012345.01.02.abc%2F1",
     "4174F4E4E40C0E4082C38B1AF6200000000000000000000000000000", "urn:epc:id:itip:4012345.012345.01.02.abc%2F1",
     "(8006)040123451234560102(21)abc/1"},
};

TEST(EpcCodecTest, TheStandardsExamplesInEveryForm) {
  for (const Example& e : Examples) {
    SCOPED_TRACE(e.TagUri);
    const Tag tag = Encode(e.TagUri);
    EXPECT_EQ(tag.Hex(), e.Hex);
    EXPECT_EQ(tag.Scheme, e.Scheme);
    EXPECT_EQ(Encode(e.Scheme, e.Filter, 0, e.PureIdentity).Hex(), e.Hex);
    if (*e.ElementString != '\0') {
      EXPECT_EQ(Encode(e.Scheme, e.Filter, e.PrefixLength, e.ElementString).Hex(), e.Hex);
    }
    const Decoded d = Decode(e.Hex);
    EXPECT_EQ(d.Scheme, e.Scheme);
    EXPECT_EQ(d.Filter, e.Scheme == std::string("GID-96") ? -1 : e.Filter);
    EXPECT_EQ(d.TagUri, e.TagUri);
    EXPECT_EQ(d.PureIdentity, e.PureIdentity);
    EXPECT_EQ(d.ElementString, e.ElementString);
  }
}

TEST(EpcCodecTest, SchemeNamesAnyCaseAndHexEitherCase) {
  EXPECT_EQ(Encode("sgtin-96", 3, 7, "(01)80614141123458(21)6789").Hex(), "3074257BF7194E4000001A85");
  EXPECT_EQ(Decode("3074257bf7194e4000001a85").TagUri, "urn:epc:tag:sgtin-96:3.0614141.812345.6789");
  // One scheme has two examples; the twelve "+" schemes are EpcPlusTest.cpp's.
  EXPECT_EQ(SchemeNames().size(), std::size(Examples) - 1 + 12);
}

std::string Refusal(const std::function<void()>& call) {
  try {
    call();
  } catch (const Refused& refused) {
    return refused.what();
  }
  return "(taken)";
}

TEST(EpcCodecTest, EachRuleRefusedWithItsName) {
  const auto tag = [](const char* uri) { return [uri] { Encode(uri); }; };
  const auto in = [](const char* scheme, int filter, int prefix, const char* input) {
    return [=] { Encode(scheme, filter, prefix, input); };
  };
  const auto hex = [](const char* digits) { return [digits] { Decode(digits); }; };
  const struct {
    std::function<void()> Call;
    const char* Message;
  } cases[] = {
      {tag("urn:epc:tag:sgtin-96:3.0614141.812345.274877906944"),
       "SGTIN-96: serial 274877906944 is over 2^38-1 (274877906943)"},
      {tag("urn:epc:tag:sgtin-96:3.0614141.812345.06789"), "SGTIN-96 takes a numeric serial without leading zeros"},
      {in("SGTIN-96", 3, 5, "(01)80614141123458(21)6789"),
       "company prefix length 5: the SGTIN partition table has 6 to 12"},
      {in("SGTIN-96", 3, 7, "(01)80614141123457(21)6789"), "GTIN check digit 7 does not match (8)"},
      {in("SGTIN-96", 9, 7, "(01)80614141123458(21)6789"), "filter 9 is not 0-7"},
      {tag("urn:epc:tag:sgtin-96:3.0614141.81234.6789"),
       "SGTIN-96: with a 7-digit company prefix the item reference has 6 digits, not '81234'"},
      {tag("urn:epc:tag:sgtin-96:3.06141A1.812345.6789"), "SGTIN-96: company prefix 06141A1 is not all digits"},
      {tag("urn:epc:tag:sgtin-97:3.0614141.812345.6789"), "unknown EPC scheme 'sgtin-97'"},
      {tag("urn:epc:id:sgtin:0614141.812345.6789"),
       "not a tag URI (urn:epc:tag:SCHEME:...): 'urn:epc:id:sgtin:0614141.812345.6789'"},
      {tag("urn:epc:tag:sgtin-96:3.0614141.812345"), "SGTIN-96: the tag URI has 2 of its 3 parts"},
      {tag("urn:epc:tag:sgtin-198:3.0614141.712345.123456789012345678901"),
       "SGTIN-198: serial 123456789012345678901 is over 20 characters"},
      {tag("urn:epc:tag:sgtin-198:3.0614141.712345.a~b"), "SGTIN-198: serial character '~' is not in the GS1 set"},
      {tag("urn:epc:tag:sgtin-198:3.0614141.712345.32a/b"), "SGTIN-198: a URI writes '/' in its serial as %2F"},
      {tag("urn:epc:tag:sgtin-198:3.0614141.712345.32a%2"), "SGTIN-198: serial 32a%2 has a % without two hex digits"},
      {tag("urn:epc:tag:giai-96:3.061414100000.12345678901234"),
       "GIAI-96: asset reference 12345678901234 has 14 digits, over 13"},
      {tag("urn:epc:tag:sgcn-96:3.4012345.67890.0471100000000"), "SGCN-96 takes a serial of 1 to 12 digits"},
      {tag("urn:epc:tag:itip-110:3.4012345.012345.1.02.987"), "ITIP-110 takes a piece of 2 digits"},
      {in("SGTIN-96", 3, 0, "urn:epc:id:sscc:0614141.1234567890"),
       "SGTIN-96 takes a pure-identity URI urn:epc:id:sgtin:..., not 'urn:epc:id:sscc:0614141.1234567890'"},
      {in("SGTIN-96", 3, 6, "urn:epc:id:sgtin:0614141.812345.6789"),
       "company prefix length 6 does not match the URI's 0614141 (7 digits)"},
      {in("SGTIN-96", 3, 7, "(01)80614141123458"), "SGTIN-96 takes (21) after (01)"},
      {in("SSCC-96", 3, 7, "(01)80614141123458"), "SSCC-96 takes an element string that starts with (00)"},
      {in("SGTIN-96", 3, 7, "(01)8061414112345(21)6789"),
       "SGTIN-96: (01) takes 14 characters with a 7-digit company prefix, not '8061414112345'"},
      {in("GRAI-96", 3, 7, "(8003)10614141123452400"), "GRAI-96: (8003) starts with 0, not 1"},
      {in("GID-96", 0, 7, "(01)80614141123458(21)6789"), "GID-96 has no GS1 element string"},
      {in("SGTIN-96", 3, 7, "80614141123458"),
       "not a GS1 element string ((01)...) or a pure-identity URI (urn:epc:id:...): '80614141123458'"},
      {hex("3074257BF7194E400000ZA85"), "'Z' is not a hexadecimal digit"},
      {hex("FF74257BF7194E4000001A85"), "header FF is no EPC scheme this codec knows"},
      {hex("3074257BF7194E4000001A"), "SGTIN-96 takes 24 hexadecimal digits (96 bits), not 22"},
      {hex("307C257BF7194E4000001A85"), "SGTIN-96: partition 7 is not 0-6"},
      {hex("307BD0900000000000000001"), "SGTIN-96: company prefix 1000000 is over 6 digits (partition 6)"},
      {hex("3174257BF4499602D2000001"), "SSCC-96: its 24 reserved bits are not zero"},
      {hex("3674257BF6B7A67F000000000000000000000000000000000000"),
       "SGTIN-198: serial holds character 126, not in the GS1 set"},
      {hex("3674257BF6B7A67080C400000000000000000000000000000000"),
       "SGTIN-198: serial has bits set after its last character"},
      {hex("3674257BF6B7A659B2C2BF100000000000000000000000000001"), "SGTIN-198: bits are set after its 198"},
      {hex("3F74F4E4E612640000000000"), "SGCN-96: serial 0 is not 1 and 1 to 12 digits"},
  };
  for (const auto& c : cases) EXPECT_EQ(Refusal(c.Call), c.Message);
}

// What each scheme's parts are, by the standard's coding tables, to draw
// random values of: the partition table's digits (company prefix and
// reference, or characters for a string reference) and bits; the reference
// ('d' digits with leading zeros, 'i' a number, 's' characters); the
// fields after it ('i' a number of BITS bits, 's' up to N characters, 'n'
// up to N digits, 'f' exactly N digits).
struct Shape {
  const char* TagName;
  int Digits, Bits;
  char Ref;
  std::vector<std::pair<char, int>> Rest;
};

const Shape Shapes[] = {
    {"sgtin-96", 13, 44, 'd', {{'i', 38}}},
    {"sgtin-198", 13, 44, 'd', {{'s', 20}}},
    {"sscc-96", 17, 58, 'd', {}},
    {"sgln-96", 12, 41, 'd', {{'i', 41}}},
    {"sgln-195", 12, 41, 'd', {{'s', 20}}},
    {"grai-96", 12, 44, 'd', {{'i', 38}}},
    {"grai-170", 12, 44, 'd', {{'s', 16}}},
    {"giai-96", 25, 82, 'i', {}},
    {"giai-202", 30, 188, 's', {}},
    {"gsrn-96", 17, 58, 'd', {}},
    {"gsrnp-96", 17, 58, 'd', {}},
    {"gdti-96", 12, 41, 'd', {{'i', 41}}},
    {"gdti-174", 12, 41, 'd', {{'s', 17}}},
    {"cpi-96", 15, 51, 'i', {{'i', 31}}},
    {"sgcn-96", 12, 41, 'd', {{'n', 12}}},
    {"gid-96", 0, 0, 0, {{'i', 28}, {'i', 24}, {'i', 36}}},
    {"itip-110", 13, 44, 'd', {{'f', 2}, {'f', 2}, {'i', 38}}},
    {"itip-212", 13, 44, 'd', {{'f', 2}, {'f', 2}, {'s', 20}}},
};

class Draw {
 public:
  uint64_t Below(uint64_t end) { return std::uniform_int_distribution<uint64_t>(0, end - 1)(random_); }
  std::string Digits(int count) {
    std::string out;
    for (int k = 0; k < count; ++k) out += static_cast<char>('0' + Below(10));
    return out;
  }
  // A number of at most `digits` digits below 2^bits, its size drawn first so short ones come up.
  std::string Number(int bits, int digits) {
    uint64_t end = bits >= 64 ? ~uint64_t{0} : uint64_t{1} << bits;
    uint64_t tens = 1;
    for (int k = 0, size = 1 + static_cast<int>(Below(static_cast<uint64_t>(digits))); k < size; ++k) tens *= 10;
    return std::to_string(Below(std::min(end, tens)));
  }
  // 1 to `most` characters of the GS1 set, as a URI writes them.
  std::string Characters(int most) {
    static const std::string Set =
        "!\"%&'()*+,-./0123456789:;<=>?ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz";
    std::string out;
    for (uint64_t k = 0, size = 1 + Below(static_cast<uint64_t>(most)); k < size; ++k) {
      const char c = Set[Below(Set.size())];
      static const std::string Escaped = "\"%&/<>?";
      char code[4];
      std::snprintf(code, sizeof code, "%%%02X", c);
      out += Escaped.find(c) == std::string::npos ? std::string(1, c) : std::string(code);
    }
    return out;
  }

 private:
  std::mt19937_64 random_{20240611};
};

std::string RandomTagUri(const Shape& shape, Draw& draw) {
  static const int CompanyBits[] = {40, 37, 34, 30, 27, 24, 20};
  std::string uri = "urn:epc:tag:" + std::string(shape.TagName) + ":";
  if (shape.Digits != 0) {
    const int partition = static_cast<int>(draw.Below(7));
    const int company = 12 - partition, refBits = shape.Bits - CompanyBits[partition];
    uri += std::to_string(draw.Below(8)) + "." + draw.Digits(company) + ".";
    uri += shape.Ref == 'd'   ? draw.Digits(shape.Digits - company)
           : shape.Ref == 'i' ? draw.Number(refBits, shape.Digits - company)
                              : draw.Characters(shape.Digits - company);
  }
  for (const auto& [kind, size] : shape.Rest) {
    if (uri.back() != ':') uri += ".";
    uri += kind == 'i'   ? draw.Number(size, 19)
           : kind == 's' ? draw.Characters(size)
           : kind == 'n' ? draw.Digits(1 + static_cast<int>(draw.Below(static_cast<uint64_t>(size))))
                         : draw.Digits(size);
  }
  return uri;
}

TEST(EpcCodecTest, RandomValuesOfEverySchemeGoRound) {
  Draw draw;
  for (const Shape& shape : Shapes) {
    for (int k = 0; k < 300; ++k) {
      const std::string uri = RandomTagUri(shape, draw);
      SCOPED_TRACE(uri);
      const Tag tag = Encode(uri);
      const Decoded d = Decode(tag.Hex());
      ASSERT_EQ(d.TagUri, uri);
      const size_t colon = d.PureIdentity.find(':', std::string("urn:epc:id:").size());
      const int prefix = static_cast<int>(d.PureIdentity.find('.') - colon - 1);
      ASSERT_EQ(Encode(d.Scheme, d.Filter < 0 ? 0 : d.Filter, 0, d.PureIdentity).Hex(), tag.Hex());
      if (!d.ElementString.empty()) {
        ASSERT_EQ(Encode(d.Scheme, d.Filter, prefix, d.ElementString).Hex(), tag.Hex()) << d.ElementString;
      }
    }
  }
}

}  // namespace
}  // namespace morvel::epc
