// The "+" schemes' encoding methods, each as the EPC Tag Data Standard's
// section 14.5 writes it: numbers of any length (an alphanumeric value of
// 90 digits is a 299-bit number) through decimal digit arrays, the five
// character sets of the variable-length alphanumeric method (14.5.6, its
// Table E of encoding indicators), the dates and the small methods.
#include "codec/epc/PlusMethods.h"

#include <algorithm>
#include <array>

#include "codec/epc/Epc.h"

namespace morvel::epc::detail {
namespace {

std::string Text(std::string_view view) { return std::string(view); }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool AllDigits(std::string_view text) { return std::all_of(text.begin(), text.end(), IsDigit); }

// The bits of a number of `digits` decimal digits: TDS 15.3 Table B's integer
// column, ceiling(digits * log2(10)), in integers (exact to 100 digits).
int NumberBits(int digits) {
  constexpr uint64_t Log2Of10 = 33219280948873623;  // log2(10) * 10^16, rounded down
  constexpr uint64_t Scale = 10000000000000000;
  return static_cast<int>((static_cast<uint64_t>(digits) * Log2Of10 + Scale - 1) / Scale);
}

void Need(const Place& at, const BitReader& r, int bits) {
  if (r.Left() < bits) Refuse(at, "runs past the EPC's last bit");
}

// ---- Numbers of any length ----

// Writes decimal `digits` as a `bits`-bit number; false where it takes more bits.
bool PutDecimal(std::string_view digits, int bits, BitWriter& w) {
  if (digits.size() <= 19 && bits <= 64) {  // the usual case: one machine word
    uint64_t value = 0;
    for (char d : digits) value = value * 10 + static_cast<uint64_t>(d - '0');
    if (bits < 64 && value >> bits != 0) return false;
    w.Put(value, bits);
    return true;
  }
  std::array<uint8_t, 128> number{};  // decimal digits, most significant first
  std::array<uint8_t, 320> binary{};  // its bits, least significant first
  const size_t size = std::min(digits.size(), number.size());
  for (size_t k = 0; k < size; ++k) number[k] = static_cast<uint8_t>(digits[k] - '0');
  for (int bit = 0; bit < bits && bit < static_cast<int>(binary.size()); ++bit) {
    unsigned rest = 0;  // halve the number, its remainder the bit
    for (size_t k = 0; k < size; ++k) {
      const unsigned value = rest * 10 + number[k];
      number[k] = static_cast<uint8_t>(value / 2);
      rest = value % 2;
    }
    binary[static_cast<size_t>(bit)] = static_cast<uint8_t>(rest);
  }
  if (std::any_of(number.begin(), number.begin() + static_cast<std::ptrdiff_t>(size), [](uint8_t d) { return d; }))
    return false;
  for (int bit = bits; bit-- > 0;)
    w.Put(bit < static_cast<int>(binary.size()) ? binary[static_cast<size_t>(bit)] : 0, 1);
  return true;
}

// Reads a `bits`-bit number as decimal digits without leading zeros ("0" for zero).
std::string GetDecimal(BitReader& r, int bits) {
  if (bits <= 64) return std::to_string(r.Get(bits));
  std::array<uint8_t, 128> number{};  // decimal digits, least significant first
  size_t size = 1;
  for (int k = 0; k < bits; ++k) {
    unsigned carry = static_cast<unsigned>(r.Get(1));
    for (size_t d = 0; d < size; ++d) {
      const unsigned value = number[d] * 2u + carry;
      number[d] = static_cast<uint8_t>(value % 10);
      carry = value / 10;
    }
    if (carry != 0 && size < number.size()) number[size++] = static_cast<uint8_t>(carry);
  }
  while (size > 1 && number[size - 1] == 0) --size;
  std::string text;
  for (size_t d = size; d-- > 0;) text.push_back(static_cast<char>('0' + number[d]));
  return text;
}

std::string Padded(const std::string& digits, size_t length) {
  return digits.size() >= length ? digits : std::string(length - digits.size(), '0') + digits;
}

// ---- Characters: the GS1 sets and the alphanumeric method's five ----

// The 82 characters of GS1 AI-encodable character set 82 (TDS Table A-1):
// ! " % to ? A-Z _ a-z; and set 39: digits, A-Z, # - /.
bool InSet82(char c) {
  return c == '!' || c == '"' || (c >= '%' && c <= '?') || (c >= 'A' && c <= 'Z') || c == '_' || (c >= 'a' && c <= 'z');
}
bool InSet39(char c) { return IsDigit(c) || (c >= 'A' && c <= 'Z') || c == '#' || c == '-' || c == '/'; }

void CheckCharacters(const Place& at, std::string_view text) {
  for (char c : text)
    if (!(at.Set39 ? InSet39(c) : InSet82(c)))
      Refuse(at, "character '" + std::string(1, c) + "' is not in the GS1 character set " + (at.Set39 ? "39" : "82"));
}

// 14.5.6.4's file-safe, URI-safe base 64 (Table 14-7).
constexpr std::string_view Base64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
// 14.5.6.5's URN Code 40 (Table 14-8): index 0 is the pad.
constexpr std::string_view Code40("\0ABCDEFGHIJKLMNOPQRSTUVWXYZ-.:0123456789", 40);
constexpr std::string_view UpperHex = "0123456789ABCDEF", LowerHex = "0123456789abcdef";

enum Indicator : int {
  NumericIndicator,
  UpperHexIndicator,
  LowerHexIndicator,
  Base64Indicator,
  AsciiIndicator,
  Code40Indicator
};

bool Holds(int indicator, std::string_view text) {
  const auto all = [&](std::string_view set) {
    return std::all_of(text.begin(), text.end(),
                       [&](char c) { return c != '\0' && set.find(c) != std::string_view::npos; });
  };
  switch (indicator) {
    case NumericIndicator: return AllDigits(text);
    case UpperHexIndicator: return all(UpperHex);
    case LowerHexIndicator: return all(LowerHex);
    case Base64Indicator: return all(Base64);
    case Code40Indicator: return all(Code40);
    default: return true;  // 7-bit: the GS1 set, checked before
  }
}

int CharacterBits(int indicator, int length) {
  switch (indicator) {
    case NumericIndicator: return NumberBits(length);
    case UpperHexIndicator:
    case LowerHexIndicator: return 4 * length;
    case Base64Indicator: return 6 * length;
    case Code40Indicator: return 16 * ((length + 2) / 3);
    default: return 7 * length;
  }
}

// The encoding indicator that takes fewest bits for `text` (TDS 14.5.6 lets an
// encoder pick any that holds it); of equals, the lowest indicator.
int Cheapest(std::string_view text) {
  int best = AsciiIndicator;
  const int length = static_cast<int>(text.size());
  for (int indicator : {NumericIndicator, UpperHexIndicator, LowerHexIndicator, Base64Indicator, Code40Indicator})
    if (Holds(indicator, text) &&
        (CharacterBits(indicator, length) < CharacterBits(best, length) ||
         (CharacterBits(indicator, length) == CharacterBits(best, length) && indicator < best)))
      best = indicator;
  return best;
}

void PutCharacters(int indicator, std::string_view text, BitWriter& w) {
  switch (indicator) {
    case NumericIndicator: PutDecimal(text, NumberBits(static_cast<int>(text.size())), w); break;
    case UpperHexIndicator:
      for (char c : text) w.Put(UpperHex.find(c), 4);
      break;
    case LowerHexIndicator:
      for (char c : text) w.Put(LowerHex.find(c), 4);
      break;
    case Base64Indicator:
      for (char c : text) w.Put(Base64.find(c), 6);
      break;
    case Code40Indicator:
      for (size_t k = 0; k < text.size(); k += 3) {
        uint64_t r = 1;
        for (size_t j = k; j < k + 3; ++j)
          r += (j < text.size() ? Code40.find(text[j]) : 0) * (j == k ? 1600 : j == k + 1 ? 40 : 1);
        w.Put(r, 16);
      }
      break;
    default:
      for (char c : text) w.Put(static_cast<uint8_t>(c), 7);
      break;
  }
}

// Three URN Code 40 characters from 16 bits (14.5.6.5.2); pads stand only
// at the end of the last group, and the groups hold the length's characters.
void GetCode40(const Place& at, uint64_t r, size_t wanted, std::string& out) {
  const uint64_t value = r == 0 ? 64000 : r - 1;
  const uint64_t i1 = value / 1600, i2 = value / 40 % 40, i3 = value % 40;
  if (i1 == 0 || i1 >= 40 || (i2 == 0 && i3 != 0))
    Refuse(at, "holds " + std::to_string(r) + ", no three URN Code 40 characters");
  const size_t count = i3 != 0 ? 3 : i2 != 0 ? 2 : 1, left = wanted - out.size();
  if (count > left || (count < 3 && count < left))
    Refuse(at, "has URN Code 40 characters that do not match its length " + std::to_string(wanted));
  for (uint64_t i : {i1, i2, i3})
    if (i != 0) out.push_back(Code40[i]);
}

std::string GetCharacters(const Place& at, int indicator, size_t length, BitReader& r) {
  std::string out;
  if (length == 0) return out;
  if (indicator == NumericIndicator) {
    out = GetDecimal(r, NumberBits(static_cast<int>(length)));
    if (out.size() > length) Refuse(at, "holds " + out + ", over " + std::to_string(length) + " digits");
    return Padded(out, length);
  }
  if (indicator == Code40Indicator) {
    for (size_t k = 0; k < length; k += 3) GetCode40(at, r.Get(16), length, out);
    return out;
  }
  for (size_t k = 0; k < length; ++k) {
    switch (indicator) {
      case UpperHexIndicator: out.push_back(UpperHex[r.Get(4)]); break;
      case LowerHexIndicator: out.push_back(LowerHex[r.Get(4)]); break;
      case Base64Indicator: out.push_back(Base64[r.Get(6)]); break;
      default: {
        const auto c = static_cast<char>(r.Get(7));
        if (!InSet82(c) && c != '#') Refuse(at, "holds 7-bit character " + std::to_string(c) + ", not a GS1 one");
        out.push_back(c);
      }
    }
  }
  return out;
}

// ---- Variable-length methods ----

void CheckLength(const Place& at, std::string_view text, const Component& c, bool mayBeEmpty, const char* unit) {
  if (text.empty() && !mayBeEmpty) Refuse(at, "is empty");
  if (text.size() > c.Length || text.size() >= (size_t{1} << c.Bits))
    Refuse(at, "'" + Text(text) + "' is over " + std::to_string(c.Length) + " " + unit);
}

// 14.5.6: the encoding indicator, the length indicator, the characters.
void PutAlphanumeric(std::string_view text, const Component& c, bool mayBeEmpty, const Place& at, BitWriter& w) {
  CheckCharacters(at, text);
  CheckLength(at, text, c, mayBeEmpty, "characters");
  const int indicator = Cheapest(text);
  w.Put(static_cast<uint64_t>(indicator), 3);
  w.Put(text.size(), c.Bits);
  PutCharacters(indicator, text, w);
}

std::string GetAlphanumeric(const Component& c, bool mayBeEmpty, const Place& at, BitReader& r) {
  Need(at, r, 3 + c.Bits);
  const auto indicator = static_cast<int>(r.Get(3));
  const auto length = static_cast<size_t>(r.Get(c.Bits));
  if (indicator > Code40Indicator)
    Refuse(at, "has encoding indicator " + std::to_string(indicator) + ", which is reserved");
  if (length > c.Length) Refuse(at, "has length " + std::to_string(length) + ", over " + std::to_string(c.Length));
  if (length == 0 && !mayBeEmpty) Refuse(at, "is empty");
  Need(at, r, CharacterBits(indicator, static_cast<int>(length)));
  std::string text = GetCharacters(at, indicator, length, r);
  CheckCharacters(at, text);
  return text;
}

// 14.5.13: the length indicator, then the digits as one number.
void PutNumeric(std::string_view text, const Component& c, bool mayBeEmpty, const Place& at, BitWriter& w) {
  if (!AllDigits(text)) Refuse(at, "'" + Text(text) + "' is not all digits");
  CheckLength(at, text, c, mayBeEmpty, "digits");
  w.Put(text.size(), c.Bits);
  PutDecimal(text, NumberBits(static_cast<int>(text.size())), w);
}

std::string GetNumeric(const Component& c, bool mayBeEmpty, const Place& at, BitReader& r) {
  Need(at, r, c.Bits);
  const auto length = static_cast<size_t>(r.Get(c.Bits));
  if (length > c.Length) Refuse(at, "has length " + std::to_string(length) + ", over " + std::to_string(c.Length));
  if (length == 0 && !mayBeEmpty) Refuse(at, "is empty");
  Need(at, r, NumberBits(static_cast<int>(length)));
  return GetCharacters(at, NumericIndicator, length, r);
}

// 14.5.5: the leading digits 4 bits each, then 1111; or 1110 and the rest by 14.5.6.
void PutDelimited(std::string_view text, const Component& c, const Place& at, BitWriter& w) {
  CheckCharacters(at, text);
  CheckLength(at, text, c, false, "characters");
  const size_t digits = static_cast<size_t>(std::find_if_not(text.begin(), text.end(), IsDigit) - text.begin());
  for (size_t k = 0; k < digits; ++k) w.Put(static_cast<uint64_t>(text[k] - '0'), 4);
  w.Put(digits == text.size() ? 0xF : 0xE, 4);
  if (digits < text.size())
    PutAlphanumeric(text.substr(digits), {Form::Alphanumeric, static_cast<uint8_t>(c.Length - digits), c.Bits}, false,
                    at, w);
}

std::string GetDelimited(const Component& c, const Place& at, BitReader& r) {
  std::string out;
  for (;;) {
    Need(at, r, 4);
    const auto nibble = static_cast<unsigned>(r.Get(4));
    if (nibble == 0xF) break;
    if (nibble == 0xE) {
      out += GetAlphanumeric({Form::Alphanumeric, static_cast<uint8_t>(c.Length - out.size()), c.Bits}, false, at, r);
      break;
    }
    if (nibble > 9) Refuse(at, "holds 4-bit value " + std::to_string(nibble) + ", no digit, delimiter or terminator");
    if (out.size() == c.Length) Refuse(at, "runs over " + std::to_string(c.Length) + " characters");
    out.push_back(static_cast<char>('0' + nibble));
  }
  if (out.empty()) Refuse(at, "is empty");
  return out;
}

// ---- Dates (14.5.3, 14.5.8 - 14.5.11) ----

int Pair(std::string_view digits, size_t at) { return (digits[at] - '0') * 10 + (digits[at + 1] - '0'); }

// A plausible YYMMDD: month 01-12, day 00 (no day) up to the month's last;
// February has 29 days in a year YY divisible by 4 (2000 was a leap year).
void CheckDate(const Place& at, int yy, int mm, int dd, const std::string& text) {
  static constexpr int Days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (yy > 99) Refuse(at, "date " + text + " has no year " + std::to_string(yy));
  if (mm < 1 || mm > 12) Refuse(at, "date " + text + " has no month " + std::to_string(mm));
  const int last = Days[mm - 1] + (mm == 2 && yy % 4 == 0);
  if (dd > last) Refuse(at, "date " + text + ": month " + std::to_string(mm) + " has no day " + std::to_string(dd));
}

void CheckTime(const Place& at, int hh, int mi, int ss, const std::string& text) {
  if (hh > 24 || mi > 59 || ss > 59 || (hh == 24 && (mi != 0 || ss != 0)))
    Refuse(at, "time in " + text + " is no time of day");
}

// YYMMDD then, by `fields`, hh, mm and ss: 7, 4, 5 bits, then 5, 6 and 6.
void PutDateTime(std::string_view text, int fields, const Place& at, BitWriter& w) {
  if (!AllDigits(text) || text.size() != static_cast<size_t>(fields) * 2)
    Refuse(at, "takes " + std::to_string(fields * 2) + " digits of date, not '" + Text(text) + "'");
  const int hh = fields > 3 ? Pair(text, 6) : 0, mi = fields > 4 ? Pair(text, 8) : 0,
            ss = fields > 5 ? Pair(text, 10) : 0;
  CheckDate(at, Pair(text, 0), Pair(text, 2), Pair(text, 4), Text(text));
  CheckTime(at, hh, mi, ss, Text(text));
  static constexpr int Widths[] = {7, 4, 5, 5, 6, 6};
  for (int k = 0; k < fields; ++k) w.Put(static_cast<uint64_t>(Pair(text, static_cast<size_t>(k) * 2)), Widths[k]);
}

std::string GetDateTime(int fields, const Place& at, BitReader& r) {
  static constexpr int Widths[] = {7, 4, 5, 5, 6, 6};
  std::array<int, 6> value{};
  std::string text;
  for (int k = 0; k < fields; ++k) {
    Need(at, r, Widths[k]);
    value[static_cast<size_t>(k)] = static_cast<int>(r.Get(Widths[k]));
    text += Padded(std::to_string(value[static_cast<size_t>(k)]), 2);
  }
  CheckDate(at, value[0], value[1], value[2], text);
  CheckTime(at, value[3], value[4], value[5], text);
  return text;
}

// 14.5.11's format indicator by the value's digits: 8, 10, 12, 6 for 00, 01, 10, 11.
constexpr int PrecisionDigits[] = {8, 10, 12, 6};

void PutSmall(const Component& c, std::string_view value, const Place& at, BitWriter& w) {
  const std::string text(value);
  switch (c.How) {
    case Form::Country:
      if (value.size() != 2 || Base64.find(value[0]) > 25 || Base64.find(value[1]) > 25)
        Refuse(at, "takes two letters A-Z, not '" + text + "'");
      w.Put(Base64.find(value[0]), 6);
      w.Put(Base64.find(value[1]), 6);
      break;
    case Form::Bit:
      if (value != "0" && value != "1") Refuse(at, "takes 0 or 1, not '" + text + "'");
      w.Put(value == "1", 1);
      break;
    case Form::Minus:
      if (!value.empty() && value != "-") Refuse(at, "may end in '-' alone, not '" + text + "'");
      w.Put(value == "-", 1);
      break;
    default:  // Sequence
      if (value.size() != 3 || value[1] != '/' || value[0] < '1' || value[0] > '9' || value[2] < '1' || value[2] > '9')
        Refuse(at, "takes n/m, n and m 1-9, not '" + text + "'");
      w.Put(static_cast<uint64_t>(value[0] - '0'), 4);
      w.Put(static_cast<uint64_t>(value[2] - '0'), 4);
      break;
  }
}

std::string GetSmall(const Component& c, const Place& at, BitReader& r) {
  switch (c.How) {
    case Form::Country: {
      Need(at, r, 12);
      const auto a = r.Get(6), b = r.Get(6);
      if (a > 25 || b > 25) Refuse(at, "holds no two letters A-Z");
      return {Base64[a], Base64[b]};
    }
    case Form::Bit: Need(at, r, 1); return r.Get(1) ? "1" : "0";
    case Form::Minus: Need(at, r, 1); return r.Get(1) ? "-" : "";
    default: {  // Sequence
      Need(at, r, 8);
      const auto n = r.Get(4), m = r.Get(4);
      if (n < 1 || n > 9 || m < 1 || m > 9) Refuse(at, "holds no sequence n/m of digits 1-9");
      return std::to_string(n) + "/" + std::to_string(m);
    }
  }
}

}  // namespace

void Refuse(const Place& at, const std::string& rule) {
  throw Refused(Text(at.Scheme) + ": (" + Text(at.Ai) + ") " + rule);
}

void PutComponent(const Component& c, std::string_view value, bool mayBeEmpty, const Place& at, BitWriter& w) {
  switch (c.How) {
    case Form::FixedNumeric:
    case Form::FixedBitNumeric:
      if (value.size() != c.Length || !AllDigits(value))
        Refuse(at, "takes " + std::to_string(c.Length) + " digits, not '" + Text(value) + "'");
      if (c.How == Form::FixedBitNumeric)
        PutDecimal(value, c.Bits, w);
      else
        for (char d : value) w.Put(static_cast<uint64_t>(d - '0'), 4);
      break;
    case Form::Delimited: PutDelimited(value, c, at, w); break;
    case Form::Alphanumeric: PutAlphanumeric(value, c, mayBeEmpty, at, w); break;
    case Form::Numeric: PutNumeric(value, c, mayBeEmpty, at, w); break;
    case Form::Date: PutDateTime(value, 3, at, w); break;
    case Form::DateTime: PutDateTime(value, 5, at, w); break;
    case Form::DateOrRange:
      if (value.size() != 6 && value.size() != 12) Refuse(at, "takes a date or two, not '" + Text(value) + "'");
      w.Put(value.size() == 12, 1);
      PutDateTime(value.substr(0, 6), 3, at, w);
      if (value.size() == 12) PutDateTime(value.substr(6), 3, at, w);
      break;
    case Form::VariableDateTime: {
      const auto format =
          std::find(std::begin(PrecisionDigits), std::end(PrecisionDigits), static_cast<int>(value.size()));
      if (format == std::end(PrecisionDigits))
        Refuse(at, "takes 6, 8, 10 or 12 digits of date, not '" + Text(value) + "'");
      w.Put(static_cast<uint64_t>(format - std::begin(PrecisionDigits)), 2);
      PutDateTime(value, static_cast<int>(value.size()) / 2, at, w);
      break;
    }
    case Form::None: break;
    default: PutSmall(c, value, at, w); break;
  }
}

std::string GetComponent(const Component& c, bool mayBeEmpty, const Place& at, BitReader& r) {
  switch (c.How) {
    case Form::FixedNumeric: {
      Need(at, r, c.Bits);
      std::string out;
      for (int k = 0; k < c.Length; ++k) {
        const auto digit = r.Get(4);
        if (digit > 9) Refuse(at, "holds 4-bit value " + std::to_string(digit) + ", no digit");
        out.push_back(static_cast<char>('0' + digit));
      }
      return out;
    }
    case Form::FixedBitNumeric: {
      Need(at, r, c.Bits);
      const std::string digits = GetDecimal(r, c.Bits);
      if (digits.size() > c.Length) Refuse(at, "holds " + digits + ", over " + std::to_string(c.Length) + " digits");
      return Padded(digits, c.Length);
    }
    case Form::Delimited: return GetDelimited(c, at, r);
    case Form::Alphanumeric: return GetAlphanumeric(c, mayBeEmpty, at, r);
    case Form::Numeric: return GetNumeric(c, mayBeEmpty, at, r);
    case Form::Date: return GetDateTime(3, at, r);
    case Form::DateTime: return GetDateTime(5, at, r);
    case Form::DateOrRange: {
      Need(at, r, 1);
      const bool range = r.Get(1) != 0;
      std::string out = GetDateTime(3, at, r);
      return range ? out + GetDateTime(3, at, r) : out;
    }
    case Form::VariableDateTime: {
      Need(at, r, 2);
      return GetDateTime(PrecisionDigits[r.Get(2)] / 2, at, r);
    }
    case Form::None: return {};
    default: return GetSmall(c, at, r);
  }
}

}  // namespace morvel::epc::detail
