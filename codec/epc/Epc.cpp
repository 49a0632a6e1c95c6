// The EPC codec: one path through the scheme table (Schemes.cpp) for every
// scheme. Encoding reads the input into the URI's parts (views of the
// input, or of a small buffer for an element string's reference), then
// writes each field by its method into a fixed bit buffer: no allocation
// unless the input is refused. Decoding reads the fields back into text
// and writes the three forms from it. The "+" schemes' names and headers
// go to their own codec (Plus.cpp), which holds the input's AIs in strings;
// a pure-identity URI reaches it as the element string this table makes.
#include "codec/epc/Epc.h"

#include <algorithm>

#include "codec/epc/Bits.h"
#include "codec/epc/Plus.h"
#include "codec/epc/Schemes.h"

namespace morvel::epc {
namespace {

using detail::BitBuffer;
using detail::BitReader;
using detail::BitWriter;
using detail::Field;
using detail::Method;
using detail::PlusScheme;
using detail::Ref;
using detail::Scheme;

[[noreturn]] void Fail(const std::string& message) { throw Refused(message); }

std::string Text(std::string_view view) { return std::string(view); }
std::string Number(uint64_t value) { return std::to_string(value); }

constexpr uint64_t Power10(int digits) {
  uint64_t p = 1;
  for (int k = 0; k < digits; ++k) p *= 10;
  return p;
}

constexpr uint64_t Largest(int bits) { return bits >= 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1; }

bool AllDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Digits alone, read as a number (at most 19 digits).
uint64_t DigitsValue(std::string_view text) {
  uint64_t v = 0;
  for (char c : text) v = v * 10 + static_cast<uint64_t>(c - '0');
  return v;
}

// The GS1 check digit of `digits`: weights 3, 1, 3, ... from the right.
char CheckDigit(std::string_view digits) {
  int sum = 0, weight = 3;
  for (size_t k = digits.size(); k-- > 0; weight = 4 - weight) sum += (digits[k] - '0') * weight;
  return static_cast<char>('0' + (10 - sum % 10) % 10);
}

// The 82 characters of GS1 element strings (the standard's Table A-1):
// ! " % to ? A-Z _ a-z.
bool InGs1Set(unsigned char c) {
  return c == '!' || c == '"' || (c >= '%' && c <= '?') || (c >= 'A' && c <= 'Z') || c == '_' || (c >= 'a' && c <= 'z');
}

// The characters a URI writes as %XX.
bool Escaped(char c) { return c == '"' || c == '%' || c == '&' || c == '/' || c == '<' || c == '>' || c == '?'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

const Scheme* ByName(std::string_view name, bool tagName) {
  for (const Scheme& s : detail::Schemes()) {
    const std::string_view own = tagName ? s.TagName : s.Name;
    if (own.size() == name.size() && std::equal(own.begin(), own.end(), name.begin(), [](char a, char b) {
          return (a >= 'a' && a <= 'z' ? a - 32 : a) == (b >= 'a' && b <= 'z' ? b - 32 : b);
        }))
      return &s;
  }
  return nullptr;
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
  return out;
}

// The URI parts after the filter that the scheme's fields take.
int PartCount(const Scheme& s) {
  int count = s.PartitionBits != 0 ? 2 : 0;
  for (int k = 0; k < s.RestCount; ++k) count += s.Rest[k].How != Method::Reserved;
  return count;
}

// The field behind URI part `index` (2 and on, after the company prefix and reference).
const Field& FieldOfPart(const Scheme& s, int index) {
  int part = s.PartitionBits != 0 ? 2 : 0;
  for (int k = 0; k < s.RestCount; ++k) {
    if (s.Rest[k].How == Method::Reserved) continue;
    if (part++ == index) return s.Rest[k];
  }
  return s.Rest[0];
}

// The URI's parts after the filter, as written: URI text is %-escaped.
struct Parts {
  std::array<std::string_view, 6> Text{};
  int Count = 0;
  bool Uri = false;
  std::array<char, 40> Scratch{};  // a reference put together from an element string
};

void CheckFilter(int filter) {
  if (filter < 0 || filter > 7) Fail("filter " + std::to_string(filter) + " is not 0-7");
}

void CheckCompanyLength(const Scheme& s, int length) {
  if (length < 6 || length > 12)
    Fail("company prefix length " + std::to_string(length) + ": the " + Upper(s.Family) +
         " partition table has 6 to 12");
}

// A decimal number without leading zeros, below 2^bits and of at most `digits` digits (0: any).
void PutInteger(const Scheme& s, std::string_view name, std::string_view text, int bits, int digits, BitWriter& w) {
  if (text.empty() || !AllDigits(text) || (text.size() > 1 && text[0] == '0'))
    Fail(Text(s.Name) + " takes a numeric " + Text(name) + " without leading zeros");
  if (digits > 0 && text.size() > static_cast<size_t>(digits))
    Fail(Text(s.Name) + ": " + Text(name) + " " + Text(text) + " has " + std::to_string(text.size()) +
         " digits, over " + std::to_string(digits));
  const uint64_t max = Largest(bits);
  if (text.size() > 19 || DigitsValue(text) > max)
    Fail(Text(s.Name) + ": " + Text(name) + " " + Text(text) + " is over 2^" + std::to_string(bits) + "-1 (" +
         Number(max) + ")");
  w.Put(DigitsValue(text), bits);
}

// 7-bit characters of the GS1 set, at most `most`, then zero bits to the field's end.
void PutString(const Scheme& s, std::string_view name, std::string_view text, bool uri, int bits, int most,
               BitWriter& w) {
  const int end = w.Position() + bits;
  int count = 0;
  for (size_t k = 0; k < text.size(); ++k) {
    char c = text[k];
    if (uri && c == '%') {
      const int high = k + 2 < text.size() ? HexValue(text[k + 1]) : -1;
      const int low = high >= 0 ? HexValue(text[k + 2]) : -1;
      if (low < 0) Fail(Text(s.Name) + ": " + Text(name) + " " + Text(text) + " has a % without two hex digits");
      c = static_cast<char>(high * 16 + low);
      k += 2;
    } else if (uri && Escaped(c)) {
      static constexpr char Hex[] = "0123456789ABCDEF";
      Fail(Text(s.Name) + ": a URI writes '" + std::string(1, c) + "' in its " + Text(name) + " as %" +
           Hex[(c >> 4) & 15] + Hex[c & 15]);
    }
    if (!InGs1Set(static_cast<unsigned char>(c)))
      Fail(Text(s.Name) + ": " + Text(name) + " character '" + std::string(1, c) + "' is not in the GS1 set");
    if (++count > most)
      Fail(Text(s.Name) + ": " + Text(name) + " " + Text(text) + " is over " + std::to_string(most) + " characters");
    w.Put(static_cast<uint8_t>(c), 7);
  }
  if (count == 0) Fail(Text(s.Name) + " takes a " + Text(name) + " of 1 to " + std::to_string(most) + " characters");
  w.Skip(end - w.Position());
}

void PutField(const Scheme& s, const Field& f, std::string_view text, bool uri, BitWriter& w) {
  switch (f.How) {
    case Method::Integer: PutInteger(s, f.Name, text, f.Bits, 0, w); break;
    case Method::String: PutString(s, f.Name, text, uri, f.Bits, f.Digits, w); break;
    case Method::NumericString:
      if (text.empty() || text.size() > f.Digits || !AllDigits(text))
        Fail(Text(s.Name) + " takes a " + Text(f.Name) + " of 1 to " + std::to_string(f.Digits) + " digits");
      w.Put(Power10(static_cast<int>(text.size())) + DigitsValue(text), f.Bits);
      break;
    case Method::FixedWidth:
      if (text.size() != f.Digits || !AllDigits(text))
        Fail(Text(s.Name) + " takes a " + Text(f.Name) + " of " + std::to_string(f.Digits) + " digits");
      w.Put(DigitsValue(text), f.Bits);
      break;
    case Method::Reserved: w.Skip(f.Bits); break;
  }
}

// The partition value, the company prefix and the reference after it.
void PutPartitioned(const Scheme& s, const Parts& p, BitWriter& w) {
  const std::string_view company = p.Text[0], ref = p.Text[1];
  CheckCompanyLength(s, static_cast<int>(company.size()));
  if (!AllDigits(company)) Fail(Text(s.Name) + ": company prefix " + Text(company) + " is not all digits");
  const int partition = 12 - static_cast<int>(company.size());
  const int companyBits = detail::CompanyBits[static_cast<size_t>(partition)];
  const int refBits = s.PartitionBits - companyBits;
  const int refDigits = s.PartitionDigits - static_cast<int>(company.size());
  w.Put(static_cast<uint64_t>(partition), 3);
  w.Put(DigitsValue(company), companyBits);
  switch (s.RefHow) {
    case Ref::Digits:
      if (ref.size() != static_cast<size_t>(refDigits) || !AllDigits(ref))
        Fail(Text(s.Name) + ": with a " + std::to_string(company.size()) + "-digit company prefix the " +
             Text(s.RefName) + " has " + std::to_string(refDigits) + " digits, not '" + Text(ref) + "'");
      w.Put(DigitsValue(ref), refBits);
      break;
    case Ref::Integer: PutInteger(s, s.RefName, ref, refBits, refDigits, w); break;
    case Ref::String: PutString(s, s.RefName, ref, p.Uri, refBits, refDigits, w); break;
    case Ref::None: break;
  }
}

Tag Build(const Scheme& s, int filter, const Parts& p) {
  BitWriter w;
  w.Put(s.Header, 8);
  if (s.Filtered) {
    CheckFilter(filter);
    w.Put(static_cast<uint64_t>(filter), 3);
  }
  int part = 0;
  if (s.PartitionBits != 0) {
    PutPartitioned(s, p, w);
    part = 2;
  }
  for (int k = 0; k < s.RestCount; ++k) {
    const Field& f = s.Rest[static_cast<size_t>(k)];
    PutField(s, f, f.How == Method::Reserved ? std::string_view() : p.Text[static_cast<size_t>(part)], p.Uri, w);
    part += f.How != Method::Reserved;
  }
  return detail::MakeTag(s.Name, s.Bits, w.Bytes());
}

// The URI's parts after the scheme (and filter): the last takes the rest, dots and all.
void SplitUri(const Scheme& s, std::string_view body, std::string_view form, Parts& p) {
  p.Uri = true;
  p.Count = PartCount(s);
  for (int k = 0; k < p.Count; ++k) {
    const size_t dot = k + 1 < p.Count ? body.find('.') : std::string_view::npos;
    if (k + 1 < p.Count && dot == std::string_view::npos)
      Fail(Text(s.Name) + ": the " + Text(form) + " has " + std::to_string(k + 1) + " of its " +
           std::to_string(p.Count) + " parts");
    p.Text[static_cast<size_t>(k)] = body.substr(0, dot);
    body = dot == std::string_view::npos ? std::string_view() : body.substr(dot + 1);
  }
}

// The position of "(code)" in `text`, from `from`; npos where it is not.
size_t FindAi(std::string_view text, std::string_view code, size_t from) {
  for (size_t k = text.find('(', from); k != std::string_view::npos; k = text.find('(', k + 1))
    if (text.substr(k + 1).starts_with(code) && text.size() > k + 1 + code.size() && text[k + 1 + code.size()] == ')')
      return k;
  return std::string_view::npos;
}

// Characters of the layout's fixed tokens, and whether a variable one ends it.
size_t FixedLength(const Scheme& s, std::string_view layout, int company, bool& variable) {
  const size_t refDigits = static_cast<size_t>(s.PartitionDigits - company);
  size_t length = 0;
  variable = false;
  for (char t : layout) {
    if (t == 'C')
      length += static_cast<size_t>(company);
    else if (t == 'I' || t == 'K' || t == '0')
      length += 1;
    else if (t == 'R')
      length += refDigits - 1;
    else if (t == 'r' && s.RefHow == Ref::Digits)
      length += refDigits;
    else if (t >= '2' && t <= '4' && FieldOfPart(s, t - '0').How == Method::FixedWidth)
      length += FieldOfPart(s, t - '0').Digits;
    else
      variable = true;
  }
  return length;
}

// One AI's value into the URI's parts by its layout; checks its check digit.
void LayOut(const Scheme& s, const detail::Ai& ai, std::string_view value, int company, Parts& p) {
  bool variable = false;
  const size_t fixed = FixedLength(s, ai.Layout, company, variable);
  if (variable ? value.size() <= fixed : value.size() != fixed)
    Fail(Text(s.Name) + ": (" + Text(ai.Code) + ") takes " + (variable ? "more than " : "") + std::to_string(fixed) +
         " characters with a " + std::to_string(company) + "-digit company prefix, not '" + Text(value) + "'");
  const size_t refDigits = static_cast<size_t>(s.PartitionDigits - company);
  size_t at = 0, scratch = 0;
  for (char t : ai.Layout) {
    const bool fixedPart = t >= '2' && t <= '4' && FieldOfPart(s, t - '0').How == Method::FixedWidth;
    size_t length = t == 'C'                              ? static_cast<size_t>(company)
                    : t == 'R'                            ? refDigits - 1
                    : t == 'r' && s.RefHow == Ref::Digits ? refDigits
                    : fixedPart                           ? FieldOfPart(s, t - '0').Digits
                    : t == 'I' || t == 'K' || t == '0'    ? 1
                                                          : value.size() - at;
    const std::string_view piece = value.substr(at, length);
    if (t == 'K') {
      const std::string_view key = value.substr(0, at);
      if (!AllDigits(key)) Fail(Text(s.Name) + ": " + Text(s.Key) + " " + Text(key) + " is not all digits");
      if (piece[0] != CheckDigit(key))
        Fail(Text(s.Key) + " check digit " + Text(piece) + " does not match (" + std::string(1, CheckDigit(key)) + ")");
    } else if (t == '0' && piece != "0") {
      Fail(Text(s.Name) + ": (" + Text(ai.Code) + ") starts with 0, not " + Text(piece));
    } else if (t == 'C') {
      p.Text[0] = piece;
    } else if (t == 'r') {
      p.Text[1] = piece;
    } else if (t == 'I' || t == 'R') {
      std::copy(piece.begin(), piece.end(), p.Scratch.begin() + static_cast<std::ptrdiff_t>(scratch));
      scratch += piece.size();
      p.Text[1] = std::string_view(p.Scratch.data(), scratch);
    } else if (t >= '2' && t <= '4') {
      p.Text[static_cast<size_t>(t - '0')] = piece;
    }
    at += length;
  }
}

void FromElementString(const Scheme& s, int company, std::string_view text, Parts& p) {
  const detail::Ai& first = s.Ais[0];
  const detail::Ai& second = s.Ais[1];
  if (first.Code.empty()) Fail(Text(s.Name) + " has no GS1 element string");
  CheckCompanyLength(s, company);
  if (FindAi(text, first.Code, 0) != 0)
    Fail(Text(s.Name) + " takes an element string that starts with (" + Text(first.Code) + ")");
  p.Count = PartCount(s);
  const size_t start = first.Code.size() + 2;
  const size_t next = second.Code.empty() ? std::string_view::npos : FindAi(text, second.Code, start);
  if (!second.Code.empty() && next == std::string_view::npos && second.Absent.empty())
    Fail(Text(s.Name) + " takes (" + Text(second.Code) + ") after (" + Text(first.Code) + ")");
  LayOut(s, first, text.substr(start, next == std::string_view::npos ? std::string_view::npos : next - start), company,
         p);
  if (!second.Code.empty()) {
    const size_t part = static_cast<size_t>(second.Layout[0] - '0');
    p.Text[part] = next == std::string_view::npos ? second.Absent : text.substr(next + second.Code.size() + 2);
  }
}

// ---- Decoding ----

// Text of a read field, with what the URI and the element string need of it.
using Strings = std::array<std::string, 6>;

std::string ReadString(const Scheme& s, std::string_view name, BitReader& r, int bits, int most) {
  std::string out;
  int used = 0;
  while (used + 7 <= bits && static_cast<int>(out.size()) < most) {
    const auto c = static_cast<unsigned char>(r.Get(7));
    used += 7;
    if (c == 0) break;
    if (!InGs1Set(c)) Fail(Text(s.Name) + ": " + Text(name) + " holds character " + Number(c) + ", not in the GS1 set");
    out.push_back(static_cast<char>(c));
  }
  if (!r.Zeros(bits - used)) Fail(Text(s.Name) + ": " + Text(name) + " has bits set after its last character");
  if (out.empty()) Fail(Text(s.Name) + ": " + Text(name) + " is empty");
  return out;
}

// `digits` digits, leading zeros kept: none for a reference of no digits (its bit is 0).
std::string Padded(uint64_t value, int digits) {
  if (digits == 0) return {};
  std::string text = Number(value);
  return std::string(static_cast<size_t>(digits) - std::min(text.size(), static_cast<size_t>(digits)), '0') + text;
}

std::string ReadField(const Scheme& s, const Field& f, BitReader& r) {
  switch (f.How) {
    case Method::Integer: return Number(r.Get(f.Bits));
    case Method::String: return ReadString(s, f.Name, r, f.Bits, f.Digits);
    case Method::NumericString: {
      const std::string text = Number(r.Get(f.Bits));
      if (text.size() < 2 || text.size() > f.Digits + 1u || text[0] != '1')
        Fail(Text(s.Name) + ": " + Text(f.Name) + " " + text + " is not 1 and 1 to " + std::to_string(f.Digits) +
             " digits");
      return text.substr(1);
    }
    case Method::FixedWidth: {
      const uint64_t value = r.Get(f.Bits);
      if (value >= Power10(f.Digits))
        Fail(Text(s.Name) + ": " + Text(f.Name) + " " + Number(value) + " is over " + std::to_string(f.Digits) +
             " digits");
      return Padded(value, f.Digits);
    }
    case Method::Reserved:
      if (!r.Zeros(f.Bits)) Fail(Text(s.Name) + ": its " + std::to_string(f.Bits) + " reserved bits are not zero");
      return {};
  }
  return {};
}

void ReadPartitioned(const Scheme& s, BitReader& r, Strings& parts) {
  const auto partition = static_cast<int>(r.Get(3));
  if (partition > 6) Fail(Text(s.Name) + ": partition " + std::to_string(partition) + " is not 0-6");
  const int companyDigits = 12 - partition;
  const int companyBits = detail::CompanyBits[static_cast<size_t>(partition)];
  const int refBits = s.PartitionBits - companyBits;
  const int refDigits = s.PartitionDigits - companyDigits;
  const uint64_t company = r.Get(companyBits);
  if (company >= Power10(companyDigits))
    Fail(Text(s.Name) + ": company prefix " + Number(company) + " is over " + std::to_string(companyDigits) +
         " digits (partition " + std::to_string(partition) + ")");
  parts[0] = Padded(company, companyDigits);
  if (s.RefHow == Ref::String) {
    parts[1] = ReadString(s, s.RefName, r, refBits, refDigits);
    return;
  }
  const uint64_t ref = r.Get(refBits);
  parts[1] = s.RefHow == Ref::Digits ? Padded(ref, refDigits) : Number(ref);
  if (s.RefHow == Ref::Digits ? ref >= Power10(refDigits) : parts[1].size() > static_cast<size_t>(refDigits))
    Fail(Text(s.Name) + ": " + Text(s.RefName) + " " + Number(ref) + " is over " + std::to_string(refDigits) +
         " digits (partition " + std::to_string(partition) + ")");
}

std::string Escape(std::string_view text) {
  static constexpr char Hex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    if (!Escaped(c)) {
      out.push_back(c);
      continue;
    }
    out += '%';
    out += Hex[(c >> 4) & 15];
    out += Hex[c & 15];
  }
  return out;
}

std::string ElementString(const Scheme& s, const Strings& parts) {
  std::string out;
  for (const detail::Ai& ai : s.Ais) {
    if (ai.Code.empty()) continue;
    if (!ai.Absent.empty() && parts[static_cast<size_t>(ai.Layout[0] - '0')] == ai.Absent) continue;
    out += '(' + Text(ai.Code) + ')';
    const size_t start = out.size();
    for (char t : ai.Layout) {
      if (t == 'C')
        out += parts[0];
      else if (t == 'r')
        out += parts[1];
      else if (t == 'I')
        out += parts[1].substr(0, 1);
      else if (t == 'R')
        out += parts[1].substr(1);
      else if (t == 'K')
        out += CheckDigit(std::string_view(out).substr(start));
      else if (t == '0')
        out += '0';
      else
        out += parts[static_cast<size_t>(t - '0')];
    }
  }
  return out;
}

// The hexadecimal EPC's bytes; its digit count.
int ReadHex(std::string_view hex, BitBuffer& bytes) {
  constexpr size_t Most = detail::MaxBits / 4;
  if (hex.empty() || hex.size() > Most)
    Fail("an EPC is 1 to " + std::to_string(Most) + " hexadecimal digits, not " + std::to_string(hex.size()));
  for (size_t k = 0; k < hex.size(); ++k) {
    const int v = HexValue(hex[k]);
    if (v < 0) Fail("'" + std::string(1, hex[k]) + "' is not a hexadecimal digit");
    bytes[k / 2] |= static_cast<uint8_t>(k % 2 == 0 ? v << 4 : v);
  }
  return static_cast<int>(hex.size());
}

// A pure-identity URI's part as its characters: %XX written out.
std::string Unescaped(const PlusScheme& s, std::string_view part) {
  std::string out;
  for (size_t k = 0; k < part.size(); ++k) {
    const int high = part[k] == '%' && k + 2 < part.size() ? HexValue(part[k + 1]) : -1;
    const int low = high >= 0 ? HexValue(part[k + 2]) : -1;
    if (part[k] == '%' && low < 0) Fail(Text(s.Name) + ": " + Text(part) + " has a % without two hex digits");
    out.push_back(part[k] == '%' ? static_cast<char>(high * 16 + low) : part[k]);
    k += part[k] == '%' ? 2 : 0;
  }
  return out;
}

// A "+" scheme from a pure-identity URI: the same GS1 key (TDS 12.3.1), its
// element string made by the URI's own scheme's row (TDS 7), the one whose
// serial takes all the key's characters (SGTIN-198 over SGTIN-96).
Tag PlusFromPureIdentity(const PlusScheme& plus, int filter, int companyPrefixLength, std::string_view uri) {
  if (plus.Dated) Fail(Text(plus.Name) + " takes its date from an element string or GS1 Digital Link URI");
  const Scheme* s = nullptr;
  for (const Scheme& row : detail::Schemes())
    if (row.Family == plus.Family) s = &row;
  const std::string_view body = uri.substr(std::string_view("urn:epc:id:").size());
  if (s == nullptr || !body.starts_with(s->Family) || body.substr(s->Family.size(), 1) != ":")
    Fail(Text(plus.Name) + " takes a pure-identity URI urn:epc:id:" + Text(plus.Family) + ":..., not '" + Text(uri) +
         "'");
  Parts parts;
  SplitUri(*s, body.substr(s->Family.size() + 1), "pure-identity URI", parts);
  const std::string_view company = parts.Text[0];
  if (companyPrefixLength != 0 && companyPrefixLength != static_cast<int>(company.size()))
    Fail("company prefix length " + std::to_string(companyPrefixLength) + " does not match the URI's " + Text(company) +
         " (" + std::to_string(company.size()) + " digits)");
  if (!AllDigits(company) || (s->RefHow == Ref::Digits && !AllDigits(parts.Text[1])))
    Fail(Text(plus.Name) + ": the pure-identity URI's " + Text(company) + "." + Text(parts.Text[1]) +
         " is not all digits");
  Strings text;
  for (int k = 0; k < parts.Count; ++k)
    text[static_cast<size_t>(k)] = Unescaped(plus, parts.Text[static_cast<size_t>(k)]);
  return detail::EncodePlus(plus, filter, ElementString(*s, text));
}

Tag EncodePlusInput(const PlusScheme& plus, int filter, int companyPrefixLength, std::string_view input) {
  if (input.starts_with("urn:epc:id:")) return PlusFromPureIdentity(plus, filter, companyPrefixLength, input);
  if (input.starts_with("(") || input.starts_with("https://") || input.starts_with("http://"))
    return detail::EncodePlus(plus, filter, input);
  Fail(
      "not a GS1 element string ((01)...), a GS1 Digital Link URI (https://...) or a pure-identity URI "
      "(urn:epc:id:...): '" +
      Text(input) + "'");
}

}  // namespace

Tag Encode(std::string_view uri) {
  constexpr std::string_view Prefix = "urn:epc:tag:";
  if (!uri.starts_with(Prefix)) Fail("not a tag URI (urn:epc:tag:SCHEME:...): '" + Text(uri) + "'");
  std::string_view body = uri.substr(Prefix.size());
  const size_t colon = body.find(':');
  const Scheme* s = colon == std::string_view::npos ? nullptr : ByName(body.substr(0, colon), true);
  if (const PlusScheme* plus = s == nullptr ? detail::PlusByName(body.substr(0, colon)) : nullptr)
    Fail(Text(plus->Name) + " has no tag URI (TDS 13): encode its element string or GS1 Digital Link URI");
  if (s == nullptr) Fail("unknown EPC scheme '" + Text(body.substr(0, colon)) + "'");
  body = body.substr(colon + 1);
  int filter = 0;
  if (s->Filtered) {
    const size_t dot = body.find('.');
    const std::string_view digits = body.substr(0, dot);
    if (dot == std::string_view::npos || digits.empty() || digits.size() > 2 || !AllDigits(digits))
      Fail("filter '" + Text(digits) + "' is not 0-7");
    filter = static_cast<int>(DigitsValue(digits));
    body = body.substr(dot + 1);
  }
  Parts parts;
  SplitUri(*s, body, "tag URI", parts);
  return Build(*s, filter, parts);
}

Tag Encode(std::string_view scheme, int filter, int companyPrefixLength, std::string_view input) {
  const Scheme* s = ByName(scheme, false);
  if (const PlusScheme* plus = s == nullptr ? detail::PlusByName(scheme) : nullptr)
    return EncodePlusInput(*plus, filter, companyPrefixLength, input);
  if (s == nullptr) Fail("unknown EPC scheme '" + Text(scheme) + "'");
  Parts parts;
  constexpr std::string_view Prefix = "urn:epc:id:";
  if (input.starts_with(Prefix)) {
    std::string_view body = input.substr(Prefix.size());
    if (!body.starts_with(s->Family) || body.substr(s->Family.size(), 1) != ":")
      Fail(Text(s->Name) + " takes a pure-identity URI urn:epc:id:" + Text(s->Family) + ":..., not '" + Text(input) +
           "'");
    SplitUri(*s, body.substr(s->Family.size() + 1), "pure-identity URI", parts);
    const auto length = static_cast<int>(parts.Text[0].size());
    if (s->PartitionBits != 0 && companyPrefixLength != 0 && companyPrefixLength != length)
      Fail("company prefix length " + std::to_string(companyPrefixLength) + " does not match the URI's " +
           Text(parts.Text[0]) + " (" + std::to_string(length) + " digits)");
  } else if (input.starts_with("(")) {
    FromElementString(*s, companyPrefixLength, input, parts);
  } else {
    Fail("not a GS1 element string ((01)...) or a pure-identity URI (urn:epc:id:...): '" + Text(input) + "'");
  }
  return Build(*s, filter, parts);
}

Decoded Decode(std::string_view hex) {
  BitBuffer bytes{};
  const int digits = ReadHex(hex, bytes);
  const Scheme* s = nullptr;
  for (const Scheme& row : detail::Schemes())
    if (digits >= 2 && row.Header == bytes[0]) s = &row;
  if (const PlusScheme* plus = s == nullptr && digits >= 2 ? detail::PlusByHeader(bytes[0]) : nullptr)
    return detail::DecodePlus(*plus, bytes, digits * 4);
  if (s == nullptr) Fail("header " + Text(hex.substr(0, 2)) + " is no EPC scheme this codec knows");
  const int wanted = (s->Bits + 15) / 16 * 4;
  if (digits != wanted)
    Fail(Text(s->Name) + " takes " + std::to_string(wanted) + " hexadecimal digits (" + std::to_string(s->Bits) +
         " bits), not " + std::to_string(digits));
  BitReader r(bytes, digits * 4);
  r.Get(8);
  Decoded out;
  out.Scheme = s->Name;
  if (s->Filtered) out.Filter = static_cast<int>(r.Get(3));
  Strings parts;
  int count = 0;
  if (s->PartitionBits != 0) {
    ReadPartitioned(*s, r, parts);
    count = 2;
  }
  for (int k = 0; k < s->RestCount; ++k) {
    const Field& f = s->Rest[static_cast<size_t>(k)];
    std::string text = ReadField(*s, f, r);
    if (f.How != Method::Reserved) parts[static_cast<size_t>(count++)] = std::move(text);
  }
  if (!r.Zeros(r.Size() - s->Bits)) Fail(Text(s->Name) + ": bits are set after its " + std::to_string(s->Bits));
  std::string joined;
  for (int k = 0; k < count; ++k) joined += (k == 0 ? "" : ".") + Escape(parts[static_cast<size_t>(k)]);
  out.TagUri = "urn:epc:tag:" + Text(s->TagName) + ":" +
               (s->Filtered ? std::to_string(out.Filter) + "." : std::string()) + joined;
  out.PureIdentity = "urn:epc:id:" + Text(s->Family) + ":" + joined;
  out.ElementString = ElementString(*s, parts);
  return out;
}

std::vector<std::string_view> SchemeNames() {
  std::vector<std::string_view> names;
  for (const Scheme& s : detail::Schemes()) names.push_back(s.Name);
  for (const PlusScheme& s : detail::PlusSchemes()) names.push_back(s.Name);
  return names;
}

}  // namespace morvel::epc
