// clsBase64 encoding, decoding and the EncodeJD progress events. Expected
// texts are the RFC 4648 section 10 vectors or worked by hand from the
// alphabet; the odd decoding corners are checked against the slow oracle too.
#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

#include "codec/ReferenceBase64.h"
#include "morvel/clsBase64.h"
#include "support/FakeEnvironment.h"

namespace morvel {
namespace {

ByteArray Bytes(std::string_view text) { return ByteArray(reinterpret_cast<const uint8_t*>(text.data()), text.size()); }

using morvel::testing::ErrorOf;

struct EncodeCase {
  std::string Input;
  String Expected;
};

TEST(Base64Encode, GivesTheStandardText) {
  const EncodeCase cases[] = {
      {"A", u"QQ=="},
      {"AB", u"QUI="},
      {"abc", u"YWJj"},
      {"f", u"Zg=="},
      {"fo", u"Zm8="},
      {"foo", u"Zm9v"},
      {"foob", u"Zm9vYg=="},
      {"fooba", u"Zm9vYmE="},
      {"foobar", u"Zm9vYmFy"},
      // The last two digits of the alphabet, and all-ones groups.
      {"\xFB\xEF\xBE", u"++++"},
      {"\xFF\xFF\xFF", u"////"},
      {"\xFB\xFF", u"+/8="},
      {std::string(3, '\0'), u"AAAA"},
  };
  clsBase64 codec;
  for (const auto& c : cases) {
    ByteArray input = Bytes(c.Input);
    EXPECT_EQ(codec.Base64Encode(input), c.Expected) << c.Input;
    EXPECT_EQ(input, Bytes(c.Input)) << "the input is read only";
  }
}

TEST(Base64Encode, RaisesNineWithoutElements) {
  clsBase64 codec;
  ByteArray unsized, empty(std::vector<uint8_t>{});
  EXPECT_EQ(ErrorOf([&] { codec.Base64Encode(unsized); }), errors::SubscriptOutOfRange);
  EXPECT_EQ(ErrorOf([&] { codec.Base64Encode(empty); }), errors::SubscriptOutOfRange);
}

struct DecodeCase {
  String Input;
  std::vector<uint8_t> Expected;  // when Error is 0
  int Error;
};

String Text(const char16_t* text, size_t size) { return String(text, size); }

TEST(Base64Decode, FollowsTheDefiningSteps) {
  const DecodeCase cases[] = {
      // RFC 4648 vectors, padded and bare.
      {u"Zg==", {'f'}, 0},
      {u"Zm8=", {'f', 'o'}, 0},
      {u"Zm9vYmFy", {'f', 'o', 'o', 'b', 'a', 'r'}, 0},
      {u"Zm9vYg", {'f', 'o', 'o', 'b'}, 0},
      {u"QQ==", {'A'}, 0},
      {u"QQ", {'A'}, 0},
      {u"QUJD", {'A', 'B', 'C'}, 0},
      {u"QUJ", {'A', 'B'}, 0},
      // Everything from the first "=" is ignored, whatever it holds.
      {u"QUJD=garbage", {'A', 'B', 'C'}, 0},
      {u"QU=D", {'A'}, 0},
      {u"QUJD====", {'A', 'B', 'C'}, 0},
      {u"QUJD!=", {}, errors::InvalidUseOfNull},
      {u"", {}, errors::SubscriptOutOfRange},
      {u"=", {}, errors::SubscriptOutOfRange},
      {u"=QUJD", {}, errors::SubscriptOutOfRange},
      // One character over: 94 even when a stranger comes first.
      {u"Q", {}, errors::InvalidUseOfNull},
      {u"QUJDR", {}, errors::InvalidUseOfNull},
      {u"!!!!Q", {}, errors::InvalidUseOfNull},
      {u" QUJD", {}, errors::InvalidUseOfNull},
      // Strangers inside whole groups: blanks, line breaks, the URL-safe
      // digits, NUL, and characters whose low byte is a digit.
      {u"QUJDQU\r\nJD", {}, errors::Overflow},
      {u" QUJDQU", {}, errors::Overflow},
      {u"QU-_", {}, errors::Overflow},
      {Text(u"QU\0D", 4), {}, errors::Overflow},
      {u"QU\u0141D", {}, errors::Overflow},
      {u"QUJD\u012BQUJ", {}, errors::Overflow},
      // Case matters: q=42 u=46 J=9 D=3.
      {u"quJD", {0xAA, 0xE2, 0x43}, 0},
      // The low bits of the last digit of a partial group are dropped.
      {u"QR==", {'A'}, 0},
      {u"QUK", {'A', 'B'}, 0},
      // In a partial group a stranger has the index -1, all bits set: only
      // as the first character does it push the byte out of range.
      {u"Q!", {0x43}, 0},
      {u"Q\u4E00", {0x43}, 0},
      {u"QU!", {0x41, 0x4F}, 0},
      {u"Q!!", {0x43, 0xFF}, 0},
      {u"QUJDQQ!", {'A', 'B', 'C', 0x41, 0x0F}, 0},
      {u"!Q", {}, errors::Overflow},
      {u"\u0151Q", {}, errors::Overflow},
      {u"QUJD\nQ", {}, errors::Overflow},
  };
  clsBase64 codec;
  for (const auto& c : cases) {
    SCOPED_TRACE(ToUtf8(c.Input));
    int error = ErrorOf([&] { EXPECT_EQ(codec.Base64Decode(c.Input), ByteArray(c.Expected)); });
    EXPECT_EQ(error, c.Error);
    reference::Decoded oracle = reference::Decode(c.Input);
    EXPECT_EQ(oracle.Error, c.Error) << "the oracle disagrees with the worked case";
  }
}

TEST(Base64Decode, StrangerLateInALongTextIsFound) {
  clsBase64 codec;
  String text;
  for (int i = 0; i < 100; ++i) text += u"QUJD";
  String atEnd = text + u"QU\tD";
  EXPECT_EQ(ErrorOf([&] { codec.Base64Decode(atEnd); }), errors::Overflow);
  String padLate = text + u"Q=";
  EXPECT_EQ(ErrorOf([&] { codec.Base64Decode(padLate); }), errors::InvalidUseOfNull);
  String strangerThenPad = text + u"QU!=";
  EXPECT_EQ(codec.Base64Decode(strangerThenPad).Size(), 302u);
}

// Random texts over a small, hostile character set, compared with the oracle
// for both the bytes and the error number.
TEST(Base64Decode, AgreesWithTheOracleOnRandomTexts) {
  const String characters = u"AQgw/+9zZa=!\n \u0141\u4E00\u0100-_";
  std::mt19937 generator(7);
  clsBase64 codec;
  for (int round = 0; round < 20000; ++round) {
    String text(generator() % 24, u'A');
    for (auto& c : text) {
      // Mostly digits, so that many texts decode.
      c = generator() % 4 != 0 ? characters[generator() % 10] : characters[generator() % characters.size()];
    }
    reference::Decoded expected = reference::Decode(text);
    ByteArray got;
    int error = ErrorOf([&] { got = codec.Base64Decode(text); });
    ASSERT_EQ(error, expected.Error) << ToUtf8(text);
    if (error == 0) {
      ASSERT_EQ(got, ByteArray(expected.Bytes)) << ToUtf8(text);
      ASSERT_EQ(got.LBound(), 0);
    }
  }
}

TEST(Base64, RoundTripsEveryLengthUpTo300) {
  std::mt19937 generator(300);
  clsBase64 codec;
  for (size_t length = 1; length <= 300; ++length) {
    std::vector<uint8_t> data(length);
    for (auto& b : data) b = static_cast<uint8_t>(generator());
    ByteArray input(data);
    String text = codec.Base64Encode(input);
    ASSERT_EQ(text.size(), (length + 2) / 3 * 4) << length;
    ASSERT_EQ(codec.Base64Decode(text), input) << length;
    ASSERT_EQ(reference::Decode(text).Bytes, data) << length;
    // Without its padding the text decodes the same.
    ASSERT_EQ(codec.Base64Decode(text.substr(0, text.find(u'='))), input) << length;
  }
}

// EncodeJD

std::vector<int64_t> EventsOf(clsBase64& codec, ByteArray input, std::function<void(Currency&)> handler) {
  std::vector<int64_t> events;
  codec.EncodeJD = [&](Currency& percentage) {
    events.push_back(percentage.Scaled);
    if (handler) handler(percentage);
  };
  codec.Base64Encode(input);
  return events;
}

TEST(EncodeJD, OneByteReportsThreeTenthsSevenTenthsAndOne) {
  clsBase64 codec;
  EXPECT_EQ(EventsOf(codec, Bytes("A"), nullptr), (std::vector<int64_t>{3000, 7000, 10000}));
}

TEST(EncodeJD, LongInputReportsEveryTenthOnce) {
  clsBase64 codec;
  std::vector<int64_t> tenths;
  for (int t = 1; t <= 10; ++t) tenths.push_back(t * 1000);
  EXPECT_EQ(EventsOf(codec, ByteArray(std::vector<uint8_t>(100000, 7)), nullptr), tenths);
}

// Handlers that write back a value other than the one they got change what
// the next character is compared with; the oracle checks every character.
TEST(EncodeJD, WriteBackMatchesTheCharacterByCharacterRule) {
  struct HandlerCase {
    const char* Name;
    std::function<int64_t(int64_t)> Leaves;
  };
  const HandlerCase handlers[] = {
      {"unchanged", [](int64_t p) { return p; }},
      {"always one", [](int64_t) -> int64_t { return 10000; }},
      {"always zero", [](int64_t) -> int64_t { return 0; }},
      {"always half", [](int64_t) -> int64_t { return 5000; }},
      {"quarter, between tenths", [](int64_t) -> int64_t { return 2500; }},
      {"negative", [](int64_t) -> int64_t { return -1000; }},
      {"one tenth ahead", [](int64_t p) { return p + 1000; }},
  };
  clsBase64 codec;
  for (const auto& h : handlers) {
    for (size_t length = 1; length <= 120; ++length) {
      std::vector<int64_t> expected = reference::ProgressEvents((length + 2) / 3 * 4, h.Leaves);
      std::vector<int64_t> got = EventsOf(codec, ByteArray(std::vector<uint8_t>(length, 1)),
                                          [&](Currency& p) { p.Scaled = h.Leaves(p.Scaled); });
      ASSERT_EQ(got, expected) << h.Name << ", " << length << " bytes";
    }
  }
}

TEST(EncodeJD, FirstWriteBackRepeatsTheTenth) {
  // Leaving 0.5 after the first event makes the next character, still at
  // 0.1, differ from it.
  clsBase64 codec;
  bool first = true;
  auto events = EventsOf(codec, ByteArray(std::vector<uint8_t>(3000, 0)), [&](Currency& p) {
    if (first) p.Scaled = 5000;
    first = false;
  });
  ASSERT_EQ(events.size(), 11u);
  EXPECT_EQ(events[0], 1000);
  EXPECT_EQ(events[1], 1000);
  EXPECT_EQ(events[2], 2000);
}

TEST(EncodeJD, HandlerThatEmptiesTheInputDoesNotChangeTheResult) {
  clsBase64 codec;
  ByteArray input = Bytes("foobar");
  codec.EncodeJD = [&](Currency&) { input.Clear(); };
  EXPECT_EQ(codec.Base64Encode(input), u"Zm9vYmFy");
}

TEST(EncodeJD, FailuresOfTheHandlerReachTheCallerAsAutomationErrors) {
  clsBase64 codec;
  ByteArray input = Bytes("foobar");
  codec.EncodeJD = [](Currency&) { throw AutomationError(errors::DivisionByZero); };
  EXPECT_EQ(ErrorOf([&] { codec.Base64Encode(input); }), errors::DivisionByZero);
  codec.EncodeJD = [](Currency&) { throw std::runtime_error("host bug"); };
  EXPECT_NE(ErrorOf([&] { codec.Base64Encode(input); }), 0);
}

}  // namespace
}  // namespace morvel
