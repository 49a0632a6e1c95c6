// libFuzzer target for clsBase64: every input, read as UTF-16 text, as
// Latin-1 text and as mostly-digit text, must decode to the oracle's bytes or
// raise the oracle's error (only 9, 94 or 6); as bytes it must survive an
// encode-decode round trip with the oracle's EncodeJD sequence.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "codec/ReferenceBase64.h"
#include "morvel/clsBase64.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "base64_decode_fuzz: %s\n", what);
  std::abort();
}

void CheckDecode(morvel::clsBase64& codec, const morvel::String& text) {
  morvel::reference::Decoded expected = morvel::reference::Decode(text);
  try {
    morvel::ByteArray bytes = codec.Base64Decode(text);
    if (expected.Error != 0) Fail("decoded a text the oracle refuses");
    if (bytes.Bytes() != expected.Bytes) Fail("bytes differ from the oracle");
  } catch (const morvel::AutomationError& e) {
    int n = e.Number();
    if (n != morvel::errors::SubscriptOutOfRange && n != morvel::errors::InvalidUseOfNull &&
        n != morvel::errors::Overflow) {
      Fail("an error number other than 9, 94 or 6");
    }
    if (n != expected.Error) Fail("error number differs from the oracle");
  }
}

// Bytes below 0xC0 become digits, the rest the characters that make
// decoding interesting, so that whole texts often decode.
morvel::String MostlyDigits(const uint8_t* data, size_t size) {
  static const char16_t alphabet[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  static const char16_t others[] = u"====!\n\r \t-_.\0\u0141\u012B\u4E00\u0100\u00C1\uFFFF\uFF21";
  morvel::String text(size, u'A');
  for (size_t i = 0; i < size; ++i) {
    uint8_t b = data[i];
    text[i] = b < 0xC0 ? alphabet[b & 63] : others[(b - 0xC0) % (sizeof(others) / sizeof(others[0]) - 1)];
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  morvel::clsBase64 codec;

  morvel::String utf16(size / 2, u'\0');
  if (!utf16.empty()) std::memcpy(utf16.data(), data, utf16.size() * 2);
  CheckDecode(codec, utf16);
  CheckDecode(codec, morvel::String(data, data + size));
  CheckDecode(codec, MostlyDigits(data, size));

  morvel::ByteArray input(data, size);
  std::vector<int64_t> events;
  codec.EncodeJD = [&events](morvel::Currency& percentage) { events.push_back(percentage.Scaled); };
  try {
    morvel::String text = codec.Base64Encode(input);
    if (size == 0) Fail("encoded an empty array");
    if (codec.Base64Decode(text) != input) Fail("round trip lost bytes");
    if (events != morvel::reference::ProgressEvents(text.size(), [](int64_t p) { return p; })) {
      Fail("EncodeJD sequence differs from the oracle");
    }
  } catch (const morvel::AutomationError& e) {
    if (size != 0 || e.Number() != morvel::errors::SubscriptOutOfRange) Fail("encode raised");
  }
  return 0;
}
