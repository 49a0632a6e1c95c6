// ZPL's host status (~HS), host query of errors and warnings (~HQES) and
// host identification (~HI), as the ZPL programming guide lays them out.
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

const char* Bit(bool on) { return on ? "1" : "0"; }

constexpr StatusQuery Queries[] = {
    {"~HQES", "~HQES", "~HQES\r\n", HostQueryFrame, ReadHostQuery, HostQuery},
    {"~HS", "~HS", "~HS\r\n", HostStatusFrame, ReadHostStatus, HostStatus},
    {"~HI", "~HI", "", HostQueryFrame, nullptr, HostIdentification},
};

}  // namespace

constinit const StatusLanguage Status{Queries, true, {}, {}};

size_t HostQueryFrame(std::string_view received) { return FrameEnd(received, 0, true); }

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
    if (e1 & 0x1) AddReason(reading.Reasons, "media-empty");
    if (e1 & 0x2) AddReason(reading.Reasons, "marker-supply-empty");
    if (e1 & 0x4) AddReason(reading.Reasons, "cover-open");
    if ((e1 & ~0x7u) != 0 || e2 != 0 || (e1 == 0 && e2 == 0)) AddReason(reading.Reasons, "other");
  }
  // Group 1 bit 3 of the warnings is the paper-near-end sensor.
  if (warningFlag && (w1 & 0x8)) AddReason(reading.Reasons, "media-low");
  reading.State = StateFor(reading.Reasons, "idle");
  return reading;
}

Reading ReadHostStatus(std::string_view answer) {
  Reading reading;
  auto frames = Frames(answer);
  if (frames.size() < 2) return reading;
  auto one = Fields(frames[0]);
  auto two = Fields(frames[1]);
  if (one.size() != 12 || two.size() != 11) return reading;
  bool paperOut = false, paused = false, bufferFull = false, diagnostic = false, partial = false, ramLost = false,
       under = false, over = false, headUp = false, ribbonOut = false, transfer = false, waiting = false;
  if (!Digits(one[0], 3) || !Flag(one[1], paperOut) || !Flag(one[2], paused) || !Digits(one[3], 4) ||
      !Digits(one[4], 3) || !Flag(one[5], bufferFull) || !Flag(one[6], diagnostic) || !Flag(one[7], partial) ||
      !Digits(one[8], 3) || !Flag(one[9], ramLost) || !Flag(one[10], under) || !Flag(one[11], over))
    return reading;
  if (!Digits(two[0], 3) || two[1].size() != 1 || !Flag(two[2], headUp) || !Flag(two[3], ribbonOut) ||
      !Flag(two[4], transfer) || two[5].size() != 1 || two[6].size() != 1 || !Flag(two[7], waiting) ||
      !Digits(two[8], 8) || two[9].size() != 1 || !Digits(two[10], 3))
    return reading;
  reading.Understood = true;
  if (paperOut) AddReason(reading.Reasons, "media-empty");
  if (headUp) AddReason(reading.Reasons, "cover-open");
  if (ribbonOut) AddReason(reading.Reasons, "marker-supply-empty");
  if (paused) AddReason(reading.Reasons, "paused");
  if (ramLost || under || over) AddReason(reading.Reasons, "other");
  const bool busy = std::stoi(std::string(one[4])) > 0 || std::stol(std::string(two[8])) > 0 || partial;
  reading.State = StateFor(reading.Reasons, busy ? "processing" : "idle");
  return reading;
}

std::string HostStatus(const Snapshot& s) {
  // String 1: aaa 030 is 9600 baud, 8 data bits, 1 stop bit, no parity,
  // Xon/Xoff; dddd the label length (4 inches); the flags are the state's.
  std::string one = std::string(1, Stx) + "030," + Bit(s.State.PaperOut) + "," + Bit(s.State.Paused) + "," +
                    ZeroPadded(s.Dpi * 4L, 4) + "," + ZeroPadded(s.FormatsInBuffer, 3) + ",0,0,0,000,0,0,0" + Etx +
                    "\r\n";
  // String 2: mmm 001 thermal transfer media; head up, ribbon out; print
  // mode 2 tear-off, width mode 6; labels remaining; v always 1.
  std::string two = std::string(1, Stx) + "001,0," + Bit(s.State.HeadOpen) + "," + Bit(s.State.RibbonOut) +
                    ",1,2,6,0," + ZeroPadded(s.LabelsRemaining, 8) + ",1,000" + Etx + "\r\n";
  // String 3: the password and no static RAM.
  std::string three = std::string(1, Stx) + "1234,0" + Etx + "\r\n";
  return one + two + three;
}

std::string HostQuery(const Snapshot& s) {
  // Error group 1: media out 1, ribbon out 2, head open 4.
  unsigned errors = (s.State.PaperOut ? 0x1u : 0) | (s.State.RibbonOut ? 0x2u : 0) | (s.State.HeadOpen ? 0x4u : 0);
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
