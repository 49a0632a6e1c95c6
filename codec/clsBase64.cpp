// clsBase64: table-driven Base64 over UTF-16 text, and the whole-file
// routines of the class.
//
// The decoder is defined by looking each character up in the alphabet
// "A..Za..z0..9+/=" and failing on index -1; the tables below give the same
// answers a group at a time. Characters above U+00FF are outside the alphabet.
#include "morvel/clsBase64.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string_view>

#include "platform/files.h"
#include "platform/guard.h"
#include "platform/host_paths.h"
#include "platform/services.h"

namespace morvel {
namespace {

constexpr std::string_view Alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char16_t Pad = u'=';

// Two digits per 12 bits of input: two lookups per group of three bytes.
struct DigitPair {
  char16_t Digits[2];
};

constexpr std::array<DigitPair, 4096> MakeDigitPairs() {
  std::array<DigitPair, 4096> pairs{};
  for (int v = 0; v < 4096; ++v) {
    pairs[v].Digits[0] = static_cast<char16_t>(Alphabet[v >> 6]);
    pairs[v].Digits[1] = static_cast<char16_t>(Alphabet[v & 63]);
  }
  return pairs;
}
constexpr std::array<DigitPair, 4096> DigitPairs = MakeDigitPairs();

// Alphabet position of each Latin-1 character, -1 when it has none. "=" is
// never looked up: the text is cut before it.
constexpr std::array<int8_t, 256> MakeIndexes() {
  std::array<int8_t, 256> indexes{};
  for (auto& q : indexes) q = -1;
  for (size_t v = 0; v < Alphabet.size(); ++v)
    indexes[static_cast<unsigned char>(Alphabet[v])] = static_cast<int8_t>(v);
  return indexes;
}
constexpr std::array<int8_t, 256> Indexes = MakeIndexes();

int IndexOf(char16_t c) { return c <= 0xFF ? Indexes[c] : -1; }

// For each position in a group of four, the character's contribution to the
// group's three bytes, laid out so that one 32-bit store writes them in order;
// the fourth byte flags a character outside the alphabet.
constexpr int ByteShift(int byteIndex) {
  return std::endian::native == std::endian::little ? 8 * byteIndex : 24 - 8 * byteIndex;
}
constexpr uint32_t OutsideAlphabet = uint32_t{1} << ByteShift(3);

constexpr std::array<std::array<uint32_t, 256>, 4> MakeGroupTables() {
  std::array<std::array<uint32_t, 256>, 4> tables{};
  for (int c = 0; c < 256; ++c) {
    int q = Indexes[c];
    if (q < 0) {
      for (auto& table : tables) table[c] = OutsideAlphabet;
      continue;
    }
    uint32_t v = static_cast<uint32_t>(q);
    tables[0][c] = (v << 2) << ByteShift(0);
    tables[1][c] = ((v >> 4) << ByteShift(0)) | (((v & 15) << 4) << ByteShift(1));
    tables[2][c] = ((v >> 2) << ByteShift(1)) | (((v & 3) << 6) << ByteShift(2));
    tables[3][c] = v << ByteShift(2);
  }
  return tables;
}
constexpr std::array<std::array<uint32_t, 256>, 4> GroupTables = MakeGroupTables();

// One byte of a final partial group. Here the index -1 is used as it is: its
// "and" keeps every bit of the mask, so only a first character outside the
// alphabet drives the byte out of 0..255.
uint8_t PartialByte(int high, int highMask, int highFactor, int low, int lowMask, int lowDivisor) {
  int value = (high & highMask) * highFactor + (low & lowMask) / lowDivisor;
  if (value < 0 || value > 255) throw AutomationError(errors::Overflow);
  return static_cast<uint8_t>(value);
}

// EncodeJD reports i / U rounded to a tenth (halves to even) after digit i
// of a text whose last digit is U. That tenth only ever grows with i, so the
// indexes where it changes are found once and the digits in between are
// never looked at.
class ProgressSchedule {
 public:
  explicit ProgressSchedule(uint64_t lastIndex) : last_(lastIndex) {
    // Tenth(i) >= t exactly when 10 i / U lies above t - 0.5, or on it with
    // t even (halves go to the even neighbour): 20 i > (2t - 1) U.
    first_[0] = 0;
    for (uint64_t tenth = 1; tenth <= 11; ++tenth) {
      uint64_t bound = (2 * tenth - 1) * last_;
      uint64_t first = bound / 20 + 1;
      if (bound % 20 == 0 && tenth % 2 == 0) --first;
      first_[tenth] = std::min(first, last_ + 1);
    }
  }

  // The progress, in tenths, after digit `index`.
  int Tenth(uint64_t index) const {
    return static_cast<int>(std::upper_bound(first_.begin(), first_.end(), index) - first_.begin()) - 1;
  }

  // The first index after `index` whose progress differs from `reported`,
  // or past the end when there is none.
  uint64_t NextChange(uint64_t index, Currency reported) const {
    uint64_t next = index + 1;
    int64_t scaled = reported.Scaled;
    if (scaled >= 0 && scaled <= Currency::Scale && scaled % (Currency::Scale / 10) == 0) {
      int tenth = static_cast<int>(scaled / (Currency::Scale / 10));
      if (next >= first_[tenth] && next < first_[tenth + 1]) next = first_[tenth + 1];
    }
    return next;
  }

  uint64_t End() const { return last_ + 1; }

 private:
  uint64_t last_;
  std::array<uint64_t, 12> first_{};
};

void RaiseProgress(const std::function<void(Currency&)>& handler, size_t digits) {
  ProgressSchedule schedule(digits - 1);
  Currency reported{0};
  // Index 0 is compared like every other; "- 1" wraps to start before it.
  for (uint64_t i = schedule.NextChange(static_cast<uint64_t>(-1), reported); i < schedule.End();
       i = schedule.NextChange(i, reported)) {
    Currency percentage = Currency::FromScaled(schedule.Tenth(i) * (Currency::Scale / 10));
    handler(percentage);
    reported = percentage;
  }
}

String Encode(const uint8_t* in, size_t size) {
  size_t whole = size / 3, rest = size % 3;
  String text(4 * (whole + (rest != 0 ? 1 : 0)), u'\0');
  char16_t* out = text.data();
  for (size_t g = 0; g < whole; ++g, in += 3, out += 4) {
    uint32_t v = (uint32_t{in[0]} << 16) | (uint32_t{in[1]} << 8) | in[2];
    std::memcpy(out, &DigitPairs[v >> 12], sizeof(DigitPair));
    std::memcpy(out + 2, &DigitPairs[v & 0xFFF], sizeof(DigitPair));
  }
  if (rest != 0) {
    uint32_t b0 = in[0], b1 = rest == 2 ? in[1] : 0;
    out[0] = static_cast<char16_t>(Alphabet[b0 >> 2]);
    out[1] = static_cast<char16_t>(Alphabet[((b0 & 3) << 4) | (b1 >> 4)]);
    out[2] = rest == 2 ? static_cast<char16_t>(Alphabet[(b1 & 15) << 2]) : Pad;
    out[3] = Pad;
  }
  return text;
}

ByteArray Decode(std::u16string_view text) {
  const char16_t* s = text.data();
  size_t size = text.size();
  // One spare byte: every group is stored as four bytes.
  std::vector<uint8_t> bytes(size / 4 * 3 + 4);
  uint8_t* out = bytes.data();

  // Whole groups until the first one holding anything but digits; "=" ends
  // the fast path like any other non-digit.
  size_t stop = 0;
  for (; stop + 4 <= size; stop += 4, out += 3) {
    char16_t c0 = s[stop], c1 = s[stop + 1], c2 = s[stop + 2], c3 = s[stop + 3];
    uint32_t group =
        GroupTables[0][c0 & 0xFF] | GroupTables[1][c1 & 0xFF] | GroupTables[2][c2 & 0xFF] | GroupTables[3][c3 & 0xFF];
    if (((c0 | c1 | c2 | c3) >> 8) != 0 || (group & OutsideAlphabet) != 0) break;
    std::memcpy(out, &group, 4);
  }

  // Everything before `stop` is digits, so the first "=" is at or after it.
  size_t length = text.find(Pad, stop);
  if (length == std::u16string_view::npos) length = size;
  if (length == 0) throw AutomationError(errors::SubscriptOutOfRange);
  size_t rest = length % 4, whole = length - rest;
  if (rest == 1) throw AutomationError(errors::InvalidUseOfNull);
  if (stop < whole) throw AutomationError(errors::Overflow);  // a non-digit inside a whole group

  size_t count = whole / 4 * 3;
  if (rest >= 2) {
    int q0 = IndexOf(s[whole]), q1 = IndexOf(s[whole + 1]);
    bytes[count++] = PartialByte(q0, -1, 4, q1, 48, 16);
    if (rest == 3) bytes[count++] = PartialByte(q1, 15, 16, IndexOf(s[whole + 2]), 60, 4);
  }
  bytes.resize(count);
  return ByteArray(std::move(bytes));
}

}  // namespace

void clsBase64::LoadFile(String strPathName, ByteArray& pbArrayOutput) {
  Guard([&] {
    std::string path = platform::FileSystemPath(strPathName);
    // An empty file has no bounds to size the array to; it is not even
    // opened where its name may be trusted. Confined, only what is opened
    // counts, so the length is the open file's.
    if (!platform::HostPathsConfined() && platform::FileLength(path) == 0)
      throw AutomationError(errors::SubscriptOutOfRange);
    platform::FileDescriptor file = platform::OpenHostFile(path, platform::HostFileUse::Read);
    if (platform::FileLength(file) == 0) throw AutomationError(errors::SubscriptOutOfRange);
    std::vector<uint8_t> bytes = platform::ReadWholeFile(file, path);
    if (bytes.empty()) throw AutomationError(errors::SubscriptOutOfRange);  // emptied since
    pbArrayOutput = ByteArray(std::move(bytes));
  });
}

void clsBase64::SaveFile(String strPathName, ByteArray& pbArrayInput) {
  Guard([&] {
    // An unsized array is far likelier a host's mistake than a wish to empty
    // the file, so the file is left alone.
    if (!pbArrayInput.IsAllocated()) throw AutomationError(errors::SubscriptOutOfRange);
    platform::WriteWholeFile(platform::FileSystemPath(strPathName), pbArrayInput.Data(), pbArrayInput.Size(), true);
  });
}

void clsBase64::SaveFile2(String strPathName, String& pbArrayInput) {
  Guard([&] {
    std::string path = platform::FileSystemPath(strPathName);
    std::string bytes = platform::Ansi().FromUnicode(pbArrayInput);
    platform::WriteWholeFile(path, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), true);
  });
}

String clsBase64::Base64Encode(ByteArray& StrArr) {
  return Guard([&] {
    if (StrArr.Size() == 0) throw AutomationError(errors::SubscriptOutOfRange);
    // The whole text is made before the first event, so a handler that
    // changes or frees the caller's array cannot reach into this call.
    String text = Encode(StrArr.Data(), StrArr.Size());
    if (EncodeJD) {
      // A copy, so a handler may replace or clear EncodeJD while it runs.
      std::function<void(Currency&)> handler = EncodeJD;
      RaiseProgress(handler, text.size());
    }
    return text;
  });
}

ByteArray clsBase64::Base64Decode(String B64) {
  return Guard([&] { return Decode(B64); });
}

}  // namespace morvel
