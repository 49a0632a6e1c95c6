// The virtual printer's status answers and the scanner that finds the
// queries in a job's stream. Every field follows the programming guides:
// ZPL's ~HS strings and ~HQES bit groups, SBPL's Status 4 layout and status
// character table, TSPL's status byte and four-byte status.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "hosts/cli/Emulator.h"

namespace morvel::emulate {
namespace {

constexpr char Stx = 0x02, Etx = 0x03, Enq = 0x05, Ack = 0x06, Nak = 0x15, Can = 0x18, Esc = 0x1B;

std::string Digits(long value, int width) {
  const long top = static_cast<long>(std::pow(10, width)) - 1;
  char text[32];
  std::snprintf(text, sizeof text, "%0*ld", width, std::clamp(value, 0L, top));
  return text;
}

const char* Bit(bool on) { return on ? "1" : "0"; }

bool Printing(const Snapshot& s) { return s.State.CanPrint() && s.FormatsInBuffer > 0; }

}  // namespace

const char* NameOf(Tongue tongue) {
  switch (tongue) {
    case Tongue::Zpl: return "zpl";
    case Tongue::Sbpl: return "sbpl";
    case Tongue::Tspl: return "tspl";
  }
  return "?";
}

std::string ZplHostStatus(const Snapshot& s) {
  // String 1: aaa 030 is 9600 baud, 8 data bits, 1 stop bit, no parity,
  // Xon/Xoff; dddd the label length (4 inches); the flags are the state's.
  std::string one = std::string(1, Stx) + "030," + Bit(s.State.PaperOut) + "," + Bit(s.State.Paused) + "," +
                    Digits(s.Dpi * 4L, 4) + "," + Digits(s.FormatsInBuffer, 3) + ",0,0,0,000,0,0,0" + Etx + "\r\n";
  // String 2: mmm 001 thermal transfer media; head up, ribbon out; print
  // mode 2 tear-off, width mode 6; labels remaining; v always 1.
  std::string two = std::string(1, Stx) + "001,0," + Bit(s.State.HeadOpen) + "," + Bit(s.State.RibbonOut) + ",1,2,6,0," +
                    Digits(s.LabelsRemaining, 8) + ",1,000" + Etx + "\r\n";
  // String 3: the password and no static RAM.
  std::string three = std::string(1, Stx) + "1234,0" + Etx + "\r\n";
  return one + two + three;
}

std::string ZplHostQuery(const Snapshot& s) {
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

std::string ZplHostIdentification(const Snapshot& s) {
  // Model, firmware version, dots per millimetre, memory.
  const int dotsPerMm = static_cast<int>(std::lround(s.Dpi / 25.4));
  return std::string{Stx} + "MORVEL EMULATE,V" MORVEL_VERSION "," + std::to_string(dotsPerMm) + ",8192KB" + Etx + "\r\n";
}

std::string SbplStatus4(const Snapshot& s) {
  char status = 'A';  // on-line, waiting for data, no error
  if (s.State.HeadOpen) status = 'b';
  else if (s.State.PaperOut) status = 'c';
  else if (s.State.RibbonOut) status = 'd';
  else if (s.State.Paused) status = '0';  // off-line, no error
  else if (Printing(s)) status = 'G';     // on-line, printing
  const bool job = s.FormatsInBuffer > 0;
  std::string id = job && s.JobId.size() == 2 ? s.JobId : "  ";
  std::string name = job ? s.JobName.substr(0, 16) : "";
  name.resize(16, ' ');
  std::string body = std::string(1, Enq) + Stx + id + status + Digits(job ? s.LabelsRemaining : 0, 6) + name + Etx;
  // LAN ports put the count of the bytes that follow first, four bytes, high first.
  const uint32_t n = static_cast<uint32_t>(body.size());
  std::string length = {static_cast<char>(n >> 24), static_cast<char>(n >> 16 & 0xFF), static_cast<char>(n >> 8 & 0xFF),
                        static_cast<char>(n & 0xFF)};
  return length + body;
}

std::string SbplCancelReply(const Snapshot& s) {
  return std::string(1, s.State.HeadOpen || s.State.PaperOut || s.State.RibbonOut ? Nak : Ack);
}

std::string TsplStatusByte(const Snapshot& s) {
  unsigned b = (s.State.HeadOpen ? 0x01u : 0) | (s.State.PaperOut ? 0x04u : 0) | (s.State.RibbonOut ? 0x08u : 0) |
               (s.State.Paused ? 0x10u : 0) | (Printing(s) ? 0x20u : 0);
  return std::string(1, static_cast<char>(b));
}

std::string TsplExtendedStatus(const Snapshot& s) {
  // Byte 1 message: @ normal, ` pause, E printer error, P printing batch.
  // Byte 4: @ normal, bit 0 paper empty, bit 2 ribbon empty. The table has
  // no head-open flag: an open head is a printer error.
  char message = '@';
  if (s.State.HeadOpen || s.State.PaperOut || s.State.RibbonOut) message = 'E';
  else if (s.State.Paused) message = '`';
  else if (Printing(s)) message = 'P';
  char media = static_cast<char>(0x40 | (s.State.PaperOut ? 0x01 : 0) | (s.State.RibbonOut ? 0x04 : 0));
  return std::string{Stx, message, '@', '@', media, Etx, '\r', '\n'};
}

void QueryScanner::Feed(std::string_view chunk, std::string& job, std::vector<Query>& queries) {
  std::string data = held_;
  data.append(chunk);
  held_.clear();
  size_t i = 0;
  auto upper = [&](size_t k) { return static_cast<char>(std::toupper(static_cast<unsigned char>(data[k]))); };
  while (i < data.size()) {
    const char c = data[i];
    if (tongue_ == Tongue::Zpl && c == '~') {
      // ~HS, ~HI and ~HQES; any other tilde command belongs to the job.
      const char* const words[] = {"~HS", "~HI", "~HQES"};
      const Query kinds[] = {Query::HostStatus, Query::HostIdentification, Query::HostQuery};
      bool matched = false, partial = false;
      for (int w = 0; w < 3 && !matched; ++w) {
        std::string_view word = words[w];
        size_t k = 0;
        while (k < word.size() && i + k < data.size() && upper(i + k) == word[k]) ++k;
        if (k == word.size()) {
          queries.push_back(kinds[w]);
          i += word.size();
          matched = true;
        } else if (i + k == data.size()) {
          partial = true;
        }
      }
      if (matched) continue;
      if (partial) {
        held_ = data.substr(i);
        return;
      }
    } else if (tongue_ == Tongue::Sbpl) {
      if (c == Esc) {
        if (i + 1 >= data.size()) {
          held_ = data.substr(i);
          return;
        }
        if (data[i + 1] == 'A') insideSbplJob_ = true;
        if (data[i + 1] == 'Z') insideSbplJob_ = false;
      } else if (!insideSbplJob_ && (c == Enq || c == Can)) {
        queries.push_back(c == Enq ? Query::Enquiry : Query::Cancel);
        ++i;
        continue;
      }
    } else if (tongue_ == Tongue::Tspl && c == Esc) {
      if (i + 2 >= data.size() && (i + 1 >= data.size() || data[i + 1] == '!')) {
        held_ = data.substr(i);
        return;
      }
      if (data[i + 1] == '!' && (data[i + 2] == '?' || data[i + 2] == 'S')) {
        queries.push_back(data[i + 2] == '?' ? Query::StatusByte : Query::ExtendedStatus);
        i += 3;
        continue;
      }
    }
    job.push_back(c);
    ++i;
  }
}

void QueryScanner::Finish(std::string& job) {
  job += held_;
  held_.clear();
}

const char* NameOf(JobStage stage) {
  switch (stage) {
    case JobStage::Waiting: return "waiting";
    case JobStage::Printing: return "printing";
    case JobStage::Printed: return "printed";
    case JobStage::Cancelled: return "cancelled";
  }
  return "?";
}

}  // namespace morvel::emulate
