// The "+" schemes of the EPC Tag Data Standard (TDS 14.5, 14.6, 15.3): the
// input read into its AIs and their values; the header, the +AIDC data
// toggle bit, the filter, DSGTIN+'s prioritised date and the scheme's own
// AIs' values by Table F; then every further AI with its header, the
// +AIDC data. Decoding reads the same fields back into an element string.
#include "codec/epc/Plus.h"

#include <algorithm>
#include <string>
#include <vector>

#include "codec/epc/PlusMethods.h"
#include "codec/epc/TableF.h"

namespace morvel::epc::detail {
namespace {

std::string Text(std::string_view view) { return std::string(view); }

[[noreturn]] void Fail(const PlusScheme& s, const std::string& rule) { throw Refused(Text(s.Name) + ": " + rule); }

bool AllDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsAi(std::string_view code) {
  return code.size() >= 2 && code.size() <= 4 && AllDigits(code) && FindFormat(code) != nullptr;
}

// The date AIs of DSGTIN+'s prioritised date, by their 4-bit date type indicator (TDS 14.5.3).
constexpr std::string_view DateAis[] = {"11", "13", "15", "16", "17", "7006", "7007"};
constexpr Component DateValue = {Form::Date, 6, 16};

struct Element {
  std::string Ai;
  std::string Value;
};
using Elements = std::vector<Element>;

// ---- Reading the input ----

// Whether "(" and 2-4 digits and ")" begin at `at`: where an element string's value ends.
bool AiAt(std::string_view text, size_t at) {
  if (text[at] != '(') return false;
  const size_t close = text.find(')', at);
  const std::string_view code = close == std::string_view::npos ? "" : text.substr(at + 1, close - at - 1);
  return code.size() >= 2 && code.size() <= 4 && AllDigits(code);
}

// "(01)79521141123453(21)32a/b": each value runs to the next "(" and 2-4
// digits and ")". A value of the GS1 set may hold such text; it reads as a
// further AI (GS1 Digital Link URIs have no such doubt).
Elements FromElementString(const PlusScheme& s, std::string_view text) {
  Elements out;
  for (size_t at = 0; at < text.size();) {
    const size_t close = text[at] == '(' ? text.find(')', at) : std::string_view::npos;
    const std::string_view code = close == std::string_view::npos ? "" : text.substr(at + 1, close - at - 1);
    if (code.size() < 2 || code.size() > 4 || !AllDigits(code))
      Fail(s, "no (AI) at '" + Text(text.substr(at)) + "' in the element string");
    if (!IsAi(code)) Fail(s, "(" + Text(code) + ") is no AI of Table F in the EPC Tag Data Standard");
    size_t end = close + 1;
    while (end < text.size() && !AiAt(text, end)) ++end;
    out.push_back({Text(code), Text(text.substr(close + 1, end - close - 1))});
    at = end;
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string PercentDecoded(const PlusScheme& s, std::string_view text) {
  std::string out;
  for (size_t k = 0; k < text.size(); ++k) {
    if (text[k] != '%') {
      out.push_back(text[k]);
      continue;
    }
    const int high = k + 2 < text.size() ? HexValue(text[k + 1]) : -1, low = high >= 0 ? HexValue(text[k + 2]) : -1;
    if (low < 0) Fail(s, "'" + Text(text) + "' has a % without two hex digits");
    out.push_back(static_cast<char>(high * 16 + low));
    k += 2;
  }
  return out;
}

void AddPair(const PlusScheme& s, std::string_view ai, std::string_view value, Elements& out) {
  if (!IsAi(ai))
    Fail(s, "the GS1 Digital Link URI's " + Text(ai) + " is no AI of Table F in the EPC Tag Data Standard");
  std::string text = PercentDecoded(s, value);
  // GS1 Digital Link writes a GTIN-8, -12 or -13 as it is; the element string's GTIN has 14 digits.
  if (ai == "01" && (text.size() == 8 || text.size() == 12 || text.size() == 13) && AllDigits(text))
    text.insert(0, 14 - text.size(), '0');
  out.push_back({Text(ai), std::move(text)});
}

// "https://id.gs1.org/01/79521141123453/21/32a%2Fb?17=220630": the path's
// AI/value pairs from the scheme's key on (a custom host may put a path
// before it), then the query's AI=value pairs; other query parameters
// (linkType and the like) name no data and are left.
Elements FromDigitalLink(const PlusScheme& s, std::string_view uri) {
  const size_t host = uri.find("://") + 3, path = uri.find('/', host);
  const size_t query = uri.find_first_of("?#", path);
  std::vector<std::string_view> segments;
  for (size_t at = path; at < query && at != std::string_view::npos;) {
    const size_t next = std::min(uri.find('/', at + 1), query);
    if (next > at + 1) segments.push_back(uri.substr(at + 1, next - at - 1));
    at = next;
  }
  const auto key = std::find(segments.begin(), segments.end(), s.Ais[0]);
  if (key == segments.end())
    Fail(s, "the GS1 Digital Link URI has no /" + Text(s.Ais[0]) + "/ in its path: '" + Text(uri) + "'");
  if ((segments.end() - key) % 2 != 0) Fail(s, "the GS1 Digital Link URI's path ends in an AI without its value");
  Elements out;
  for (auto at = key; at != segments.end(); at += 2) AddPair(s, *at, *(at + 1), out);
  if (query == std::string_view::npos || uri[query] != '?') return out;
  const std::string_view params = uri.substr(query + 1, uri.find('#', query) - query - 1);
  for (size_t at = 0; at <= params.size();) {
    const size_t end = std::min(params.find('&', at), params.size());
    const std::string_view param = params.substr(at, end - at);
    const size_t equals = param.find('=');
    if (equals != std::string_view::npos && equals > 0 && AllDigits(param.substr(0, equals)))
      AddPair(s, param.substr(0, equals), param.substr(equals + 1), out);
    at = end + 1;
  }
  return out;
}

// ---- Values ----

// The check digit of `digits` (GS1 General Specifications 7.9.1): weights 3, 1, 3, ... from the right.
char CheckDigit(std::string_view digits) {
  int sum = 0, weight = 3;
  for (size_t k = digits.size(); k-- > 0; weight = 4 - weight) sum += (digits[k] - '0') * weight;
  return static_cast<char>('0' + (10 - sum % 10) % 10);
}

// The GS1 keys whose check digit a value carries: the digits from `From`,
// `Digits` of them, the last the check digit; (8003) begins with a 0.
struct Key {
  std::string_view Ai, Name;
  size_t From, Digits;
};
constexpr Key Keys[] = {
    {"00", "SSCC", 0, 18},   {"01", "GTIN", 0, 14},   {"02", "GTIN", 0, 14},   {"253", "GDTI", 0, 13},
    {"255", "GCN", 0, 13},   {"410", "GLN", 0, 13},   {"411", "GLN", 0, 13},   {"412", "GLN", 0, 13},
    {"413", "GLN", 0, 13},   {"414", "GLN", 0, 13},   {"415", "GLN", 0, 13},   {"416", "GLN", 0, 13},
    {"417", "GLN", 0, 13},   {"8003", "GRAI", 1, 13}, {"8006", "GTIN", 0, 14}, {"8017", "GSRN", 0, 18},
    {"8018", "GSRN", 0, 18}, {"8026", "GTIN", 0, 14},
};

void CheckKey(const Place& at, std::string_view value) {
  if (at.Ai == "8003" && !value.empty() && value[0] != '0')
    Refuse(at, "starts with 0, not " + std::string(1, value[0]));
  for (const Key& key : Keys) {
    if (key.Ai != at.Ai || value.size() < key.From + key.Digits) continue;
    const std::string_view digits = value.substr(key.From, key.Digits);
    if (!AllDigits(digits)) return;
    const char wanted = CheckDigit(digits.substr(0, key.Digits - 1));
    if (digits.back() != wanted)
      Refuse(at, Text(key.Name) + " check digit " + std::string(1, digits.back()) + " does not match (" +
                     std::string(1, wanted) + ")");
  }
}

// A value by its Table F row; `own`: one of the EPC's AIs, whose second
// component (a serial) is not optional.
void PutValue(const PlusScheme& s, const Element& e, bool own, BitWriter& w) {
  const AiFormat& format = *FindFormat(e.Ai);
  const Place at{s.Name, e.Ai, format.Set39};
  CheckKey(at, e.Value);
  if (format.Two.How == Form::None) {
    PutComponent(format.One, e.Value, false, at, w);
    return;
  }
  const size_t split = std::min<size_t>(format.One.Length, e.Value.size());
  PutComponent(format.One, std::string_view(e.Value).substr(0, split), false, at, w);
  PutComponent(format.Two, std::string_view(e.Value).substr(split), !own, at, w);
}

std::string GetValue(const PlusScheme& s, std::string_view ai, bool own, BitReader& r) {
  const AiFormat& format = *FindFormat(ai);
  const Place at{s.Name, ai, format.Set39};
  std::string value = GetComponent(format.One, false, at, r);
  if (format.Two.How != Form::None) value += GetComponent(format.Two, !own, at, r);
  CheckKey(at, value);
  return value;
}

// An AI's digits, 4 bits each: the +AIDC data header and what Table K adds to it (TDS 15.3).
void PutHeader(std::string_view ai, BitWriter& w) {
  for (char d : ai) w.Put(static_cast<uint64_t>(d - '0'), 4);
}

// ---- Encoding ----

struct Layout {
  std::array<Element, 2> Own;
  int DateType = -1;
  Element Date;
  Elements Data;  // the +AIDC data, in the input's order
};

// The input's AIs sorted into the scheme's own, DSGTIN+'s date and the +AIDC data.
Layout Sort(const PlusScheme& s, Elements elements) {
  for (size_t k = 0; k < elements.size(); ++k)
    for (size_t j = k + 1; j < elements.size(); ++j)
      if (elements[k].Ai == elements[j].Ai) Fail(s, "(" + elements[k].Ai + ") stands twice");
  Layout layout;
  for (Element& e : elements) {
    const auto own = std::find(s.Ais.begin(), s.Ais.end(), e.Ai);
    const auto date = std::find(std::begin(DateAis), std::end(DateAis), e.Ai);
    if (own != s.Ais.end()) {
      layout.Own[static_cast<size_t>(own - s.Ais.begin())] = std::move(e);
    } else if (s.Dated && layout.DateType < 0 && date != std::end(DateAis) && e.Value.size() == 6) {
      layout.DateType = static_cast<int>(date - std::begin(DateAis));
      layout.Date = std::move(e);
    } else {
      layout.Data.push_back(std::move(e));
    }
  }
  for (size_t k = 0; k < 2; ++k) {
    if (s.Ais[k].empty() || !layout.Own[k].Ai.empty()) continue;
    if (k == 0 || s.Absent.empty()) Fail(s, "takes (" + Text(s.Ais[k]) + ")");
    layout.Own[k] = {Text(s.Ais[k]), Text(s.Absent)};
  }
  if (s.Dated && layout.DateType < 0)
    Fail(s, "takes a date of six digits: (11), (13), (15), (16), (17), (7006) or (7007)");
  return layout;
}

// ---- Decoding ----

// One AI of the +AIDC data into `out`; false where none follows (TDS 15.3:
// fewer than 8 bits left, or 8 zero bits that cannot head an SSCC's 72).
bool ReadData(const PlusScheme& s, BitReader& r, std::string& out) {
  if (r.Left() < 8) return false;
  BitReader look = r;
  const auto header = static_cast<unsigned>(look.Get(8));
  if (header == 0 && r.Left() < 8 + 72) return false;
  r.Get(8);
  static constexpr char Hex[] = "0123456789ABCDEF";
  std::string ai{Hex[header >> 4], Hex[header & 15]};
  if (header >> 4 > 9 || (header & 15) > 9)
    Fail(s, "+AIDC data header " + ai + " is a special header this codec does not know (TDS 15.3)");
  const int length = AiLength(static_cast<int>(header >> 4) * 10 + static_cast<int>(header & 15));
  if (length == 0) Fail(s, "+AIDC data header " + ai + " begins no AI (TDS 15.3, Table K)");
  while (static_cast<int>(ai.size()) < length) {
    if (r.Left() < 4) Fail(s, "+AIDC data ends inside the AI (" + ai + "...)");
    const auto digit = static_cast<unsigned>(r.Get(4));
    if (digit > 9) Fail(s, "+AIDC data's AI (" + ai + "...) has 4-bit value " + std::to_string(digit));
    ai.push_back(Hex[digit]);
  }
  if (FindFormat(ai) == nullptr) Fail(s, "+AIDC data holds (" + ai + "), which Table F does not list");
  out += "(" + ai + ")" + GetValue(s, ai, false, r);
  return true;
}

}  // namespace

const PlusScheme* PlusByName(std::string_view name) {
  const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
  for (const PlusScheme& s : PlusSchemes())
    if (s.Name.size() == name.size() &&
        std::equal(s.Name.begin(), s.Name.end(), name.begin(), [&](char a, char b) { return a == upper(b); }))
      return &s;
  return nullptr;
}

const PlusScheme* PlusByHeader(uint8_t header) {
  for (const PlusScheme& s : PlusSchemes())
    if (s.Header == header) return &s;
  return nullptr;
}

Tag EncodePlus(const PlusScheme& s, int filter, std::string_view input) {
  if (filter < 0 || filter > 7) throw Refused("filter " + std::to_string(filter) + " is not 0-7");
  const Layout layout = Sort(s, input.starts_with("(") ? FromElementString(s, input) : FromDigitalLink(s, input));
  BitWriter w;
  w.Put(s.Header, 8);
  w.Put(!layout.Data.empty(), 1);
  w.Put(static_cast<uint64_t>(filter), 3);
  if (s.Dated) {
    w.Put(static_cast<uint64_t>(layout.DateType), 4);
    PutComponent(DateValue, layout.Date.Value, false, {s.Name, layout.Date.Ai}, w);
  }
  for (const Element& e : layout.Own)
    if (!e.Ai.empty()) PutValue(s, e, true, w);
  for (const Element& e : layout.Data) {
    PutHeader(e.Ai, w);
    PutValue(s, e, false, w);
  }
  if (w.Position() > MaxBits)
    Fail(s, std::to_string(w.Position()) + " bits, over the " + std::to_string(MaxBits) +
                " an EPC bank's length counts (TDS 14.6)");
  return MakeTag(s.Name, w.Position(), w.Bytes());
}

Decoded DecodePlus(const PlusScheme& s, const BitBuffer& bytes, int bits) {
  BitReader r(bytes, bits);
  r.Get(8);
  if (r.Left() < 4) Fail(s, "ends before its filter");
  const bool data = r.Get(1) != 0;
  Decoded out;
  out.Scheme = s.Name;
  out.Filter = static_cast<int>(r.Get(3));
  std::string date;
  if (s.Dated) {
    if (r.Left() < 20) Fail(s, "ends inside its date");
    const auto type = static_cast<size_t>(r.Get(4));
    if (type >= std::size(DateAis))
      Fail(s, "date type indicator " + std::to_string(type) + " is reserved (TDS 14.5.3)");
    date = "(" + Text(DateAis[type]) + ")" + GetComponent(DateValue, false, {s.Name, DateAis[type]}, r);
  }
  for (size_t k = 0; k < 2; ++k) {
    if (s.Ais[k].empty()) continue;
    const std::string value = GetValue(s, s.Ais[k], true, r);
    if (k == 0 || value != s.Absent) out.ElementString += "(" + Text(s.Ais[k]) + ")" + value;
  }
  out.ElementString += date;
  if (data) {
    if (!ReadData(s, r, out.ElementString)) Fail(s, "its +AIDC data toggle is 1, but no AIDC data follows");
    while (ReadData(s, r, out.ElementString)) continue;
  }
  const int end = r.Position();
  if (!r.Zeros(r.Left()))
    Fail(s, "bits are set after its " + std::to_string(end) + (data ? " bits of EPC and +AIDC data" : " bits"));
  const int least = (end + 3) / 4, most = (end + 15) / 16 * 4;
  if (bits - end >= 16)
    Fail(s, "takes " + std::to_string(least) + (least < most ? " to " + std::to_string(most) : std::string()) +
                " hexadecimal digits (" + std::to_string(end) + " bits), not " + std::to_string(bits / 4));
  return out;
}

}  // namespace morvel::epc::detail
