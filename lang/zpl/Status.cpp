// ZPL's host status (~HS), host query of errors and warnings (~HQES) and
// host identification (~HI), as the ZPL programming guide lays them out;
// and the RFID odometers, asked with SGD getvar (RFID Programming Guide
// 58978L-008, "SGD Commands for RFID": odometer.rfid.valid_resettable and
// odometer.rfid.void_resettable).
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "lang/Status.h"
#include "lang/StatusText.h"
#include "morvel/version.h"  // the firmware version ~HI answers

namespace morvel::lang::zpl {
namespace {

using namespace answer_text;

bool Hex(std::string_view text, uint32_t& value) {
  if (text.size() != 8) return false;
  value = 0;
  for (char c : text) {
    int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
            : (c >= 'A' && c <= 'F')                    ? c - 'A' + 10
            : (c >= 'a' && c <= 'f')                    ? c - 'a' + 10
                                                        : -1;
    if (d < 0) return false;
    value = value << 4 | static_cast<uint32_t>(d);
  }
  return true;
}

// "ERRORS:  1 00000000 00000005": the flag, group 2, group 1.
bool BitGroups(std::string_view answer, std::string_view label, bool& flag, uint32_t& group2, uint32_t& group1) {
  size_t at = answer.find(label);
  if (at == std::string_view::npos) return false;
  size_t end = answer.find_first_of("\r\n", at);
  std::string_view line =
      answer.substr(at + label.size(), end == std::string_view::npos ? end : end - at - label.size());
  std::vector<std::string_view> words;
  size_t k = 0;
  while (k < line.size()) {
    while (k < line.size() && (line[k] == ' ' || line[k] == '\t')) ++k;
    size_t start = k;
    while (k < line.size() && line[k] != ' ' && line[k] != '\t') ++k;
    if (k > start) words.push_back(line.substr(start, k - start));
  }
  return words.size() == 3 && Flag(words[0], flag) && Hex(words[1], group2) && Hex(words[2], group1);
}

// ~HQES error group 1: a bit a fault, the condition of the virtual printer
// that sets it.
struct ErrorBit {
  uint32_t Mask;
  Reason Says;
  bool PrinterState::*Condition;
};
constexpr ErrorBit ErrorBits[] = {
    {0x1, Reason::MediaEmpty, &PrinterState::PaperOut},
    {0x2, Reason::MarkerSupplyEmpty, &PrinterState::RibbonOut},
    {0x4, Reason::CoverOpen, &PrinterState::HeadOpen},
};
constexpr uint32_t KnownErrors = [] {
  uint32_t known = 0;
  for (const ErrorBit& bit : ErrorBits) known |= bit.Mask;
  return known;
}();
constexpr uint32_t PaperNearEnd = 0x8;  // ~HQES warning group 1

// The ~HS strings' fields, the guide's letters: a digit is that many digits,
// f a flag 0 or 1, . any one character.
constexpr std::string_view HostStatusShape[] = {
    "3ff43fff3fff",  // aaa,b,c,dddd,eee,f,g,h,iii,j,k,l
    "3.fff..f8.3",   // mmm,n,o,p,q,r,s,t,uuuuuuuu,v,www
};
// The ~HS flags that tell a reason, in the order they are told: the string,
// the field, and the condition of the virtual printer that raises it (none:
// the virtual printer never does).
struct HostStatusFlag {
  size_t String, Field;
  Reason Says;
  bool PrinterState::*Condition;
};
constexpr HostStatusFlag HostStatusFlags[] = {
    {0, 1, Reason::MediaEmpty, &PrinterState::PaperOut},
    {1, 2, Reason::CoverOpen, &PrinterState::HeadOpen},
    {1, 3, Reason::MarkerSupplyEmpty, &PrinterState::RibbonOut},
    {0, 2, Reason::Paused, &PrinterState::Paused},
    {0, 9, Reason::Other, nullptr},   // RAM corrupt
    {0, 10, Reason::Other, nullptr},  // temperature under range
    {0, 11, Reason::Other, nullptr},  // temperature over range
};

bool Shaped(const std::vector<std::string_view>& fields, std::string_view shape) {
  if (fields.size() != shape.size()) return false;
  for (size_t k = 0; k < shape.size(); ++k) {
    bool on = false;
    const bool fits = shape[k] == 'f'   ? Flag(fields[k], on)
                      : shape[k] == '.' ? fields[k].size() == 1
                                        : Digits(fields[k], static_cast<size_t>(shape[k] - '0'));
    if (!fits) return false;
  }
  return true;
}

std::string Framed(const std::vector<std::string>& fields) {
  std::string line(1, Stx);
  for (size_t k = 0; k < fields.size(); ++k) line += (k ? "," : "") + fields[k];
  return line + Etx + "\r\n";
}

constexpr StatusQuery Queries[] = {
    {"~HQES", "~HQES", "~HQES\r\n", HostQueryFrame, ReadHostQuery, HostQuery},
    {"~HS", "~HS", "~HS\r\n", HostStatusFrame, ReadHostStatus, HostStatus},
    {"~HI", "~HI", "", HostQueryFrame, nullptr, HostIdentification},
    {"RFID valid odometer", ValidTagsQuery, "", QuotedFrame, nullptr, ValidTagsAnswer},
    {"RFID void odometer", VoidTagsQuery, "", QuotedFrame, nullptr, VoidTagsAnswer},
};

}  // namespace

constinit const StatusLanguage Status{Queries, true, {}, {}};

const StatusQuery& HostStatusQuery() {
  for (const StatusQuery& q : Queries)
    if (q.Name == "~HS") return q;
  return Queries[0];
}

size_t HostQueryFrame(std::string_view received) { return FrameEnd(received, 0, true); }

size_t QuotedFrame(std::string_view received) {
  const size_t open = received.find('"');
  if (open == std::string_view::npos) return received.size() > 512 ? received.size() : 0;
  const size_t close = received.find('"', open + 1);
  if (close == std::string_view::npos) return received.size() - open > 512 ? received.size() : 0;
  return close + 1;
}

std::optional<long> ReadQuotedCount(std::string_view answer) {
  const size_t open = answer.find('"');
  const size_t close = open == std::string_view::npos ? open : answer.find('"', open + 1);
  if (close == std::string_view::npos) return {};
  const std::string_view digits = answer.substr(open + 1, close - open - 1);
  if (digits.empty() || digits.size() > 9 || !Digits(digits, digits.size())) return {};
  return std::stol(std::string(digits));
}

std::string ValidTagsAnswer(const Snapshot& s) { return "\"" + std::to_string(s.Tags.Written) + "\""; }

std::string VoidTagsAnswer(const Snapshot& s) { return "\"" + std::to_string(s.Tags.Failed) + "\""; }

size_t HostStatusFrame(std::string_view received) {
  size_t at = 0;
  for (int k = 0; k < 3; ++k) {
    size_t end = FrameEnd(received, at, true);
    if (end == 0) return 0;
    at = end;
  }
  return at;
}

Reading ReadHostQuery(std::string_view answer) {
  Reading reading;
  bool errorFlag = false, warningFlag = false;
  uint32_t e2 = 0, e1 = 0, w2 = 0, w1 = 0;
  if (!BitGroups(answer, "ERRORS:", errorFlag, e2, e1) || !BitGroups(answer, "WARNINGS:", warningFlag, w2, w1))
    return reading;
  reading.Understood = true;
  if (errorFlag) {
    for (const ErrorBit& bit : ErrorBits)
      if (e1 & bit.Mask) AddReason(reading.Reasons, bit.Says);
    if ((e1 & ~KnownErrors) != 0 || e2 != 0 || (e1 == 0 && e2 == 0)) AddReason(reading.Reasons, Reason::Other);
  }
  if (warningFlag && (w1 & PaperNearEnd)) AddReason(reading.Reasons, Reason::MediaLow);
  reading.State = StateFor(reading.Reasons, "idle");
  return reading;
}

Reading ReadHostStatus(std::string_view answer) {
  Reading reading;
  auto frames = Frames(answer);
  if (frames.size() < 2) return reading;
  const std::vector<std::string_view> strings[] = {Fields(frames[0]), Fields(frames[1])};
  for (size_t k = 0; k < 2; ++k)
    if (!Shaped(strings[k], HostStatusShape[k])) return reading;
  reading.Understood = true;
  for (const HostStatusFlag& flag : HostStatusFlags)
    if (strings[flag.String][flag.Field] == "1") AddReason(reading.Reasons, flag.Says);
  // eee formats in the buffer, h a partial format, uuuuuuuu labels remaining.
  const auto& [one, two] = strings;
  const bool busy = std::stoi(std::string(one[4])) > 0 || std::stol(std::string(two[8])) > 0 || one[7] == "1";
  reading.State = StateFor(reading.Reasons, busy ? "processing" : "idle");
  return reading;
}

std::string HostStatus(const Snapshot& s) {
  // String 1: aaa 030 is 9600 baud, 8 data bits, 1 stop bit, no parity,
  // Xon/Xoff; dddd the label length (4 inches); eee the formats waiting.
  // String 2: mmm 001 thermal transfer media; print mode 2 tear-off, width
  // mode 6; uuuuuuuu labels remaining; v always 1. The flags are the state's.
  std::vector<std::string> strings[] = {
      {"030", "0", "0", ZeroPadded(s.Dpi * 4L, 4), ZeroPadded(s.FormatsInBuffer, 3), "0", "0", "0", "000", "0", "0",
       "0"},
      {"001", "0", "0", "0", "1", "2", "6", "0", ZeroPadded(s.LabelsRemaining, 8), "1", "000"},
  };
  for (const HostStatusFlag& flag : HostStatusFlags)
    if (flag.Condition && s.State.*flag.Condition) strings[flag.String][flag.Field] = "1";
  // String 3: the password and no static RAM.
  return Framed(strings[0]) + Framed(strings[1]) + Framed({"1234", "0"});
}

std::string HostQuery(const Snapshot& s) {
  uint32_t errors = 0;
  for (const ErrorBit& bit : ErrorBits)
    if (s.State.*bit.Condition) errors |= bit.Mask;
  char line[96];
  std::string answer = std::string(1, Stx) + "\r\n PRINTER STATUS\r\n";
  std::snprintf(line, sizeof line, "   ERRORS:         %d 00000000 %08X\r\n", errors != 0 ? 1 : 0, errors);
  answer += line;
  answer += "   WARNINGS:       0 00000000 00000000\r\n";
  answer += std::string(1, Etx) + "\r\n";
  return answer;
}

std::string HostIdentification(const Snapshot& s) {
  // Model, firmware version, dots per millimetre, memory.
  const int dotsPerMm = static_cast<int>(std::lround(s.Dpi / 25.4));
  return std::string{Stx} + "MORVEL EMULATE,V" MORVEL_VERSION "," + std::to_string(dotsPerMm) + ",8192KB" + Etx +
         "\r\n";
}

}  // namespace morvel::lang::zpl
