// SBPL's Status 4 (ENQ) and the reply to CAN, as the SBPL programming guide
// lays them out: on a LAN port the answer's byte count first, then ENQ and
// STX, the job ID, the status character of the guide's table, the labels
// remaining and the job name, then ETX.
#include <cstdint>
#include <string>

#include "lang/Status.h"
#include "lang/StatusText.h"

namespace morvel::lang::sbpl {
namespace {

using namespace answer_text;

size_t OneByte(std::string_view received) { return received.empty() ? 0 : 1; }

constexpr StatusQuery Queries[] = {
    {"ENQ", "\x05", "\x05", Status4Frame, ReadStatus4, Status4},
    {"CAN", "\x18", "", OneByte, nullptr, CancelReply, true},
};

}  // namespace

constinit const StatusLanguage Status{Queries, false,
                                      "\x1b"
                                      "A",
                                      "\x1b"
                                      "Z"};

size_t Status4Frame(std::string_view received) {
  if (received.empty()) return 0;
  if (received[0] == Stx) return FrameEnd(received, 0, false);
  if (received.size() < 4) return 0;
  const auto* b = reinterpret_cast<const unsigned char*>(received.data());
  uint32_t length = uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
  if (length > 1024) return 4;  // no Status 4 answer is that long
  return received.size() >= 4 + length ? 4 + length : 0;
}

Reading ReadStatus4(std::string_view answer) {
  Reading reading;
  size_t at = 0;
  if (!answer.empty() && answer[0] != Stx) {
    at = 4;
    if (at < answer.size() && answer[at] == Enq) ++at;
  }
  // STX, job id (2), status (1), remaining labels (6), job name (16), ETX.
  if (answer.size() < at + 27 || answer[at] != Stx || answer[at + 26] != Etx) return reading;
  const char status = answer[at + 3];
  if (!Digits(answer.substr(at + 4, 6), 6)) return reading;
  const bool remaining = answer.substr(at + 4, 6) != "000000";
  reading.Understood = true;
  std::string state = "idle";
  if (status >= '0' && status <= '4') {
    AddReason(reading.Reasons, "offline");  // the printer is off-line: set so at its panel
    if (status == '1' || status == '3') AddReason(reading.Reasons, "marker-supply-low");
    if (status == '4') AddReason(reading.Reasons, "paused");
  } else if (status >= 'A' && status <= 'E') {
    if (status == 'B' || status == 'D') AddReason(reading.Reasons, "marker-supply-low");
    if (status == 'E') AddReason(reading.Reasons, "paused");
    state = remaining ? "processing" : "idle";
  } else if ((status >= 'G' && status <= 'K') || (status >= 'M' && status <= 'Q') || (status >= 'S' && status <= 'W')) {
    const char base = status >= 'S' ? 'S' : status >= 'M' ? 'M' : 'G';
    if (status - base == 1 || status - base == 3) AddReason(reading.Reasons, "marker-supply-low");
    if (status - base == 4) AddReason(reading.Reasons, "paused");
    state = "processing";
  } else if (status == 'b') {
    AddReason(reading.Reasons, "cover-open");  // head open
  } else if (status == 'c') {
    AddReason(reading.Reasons, "media-empty");  // paper end
  } else if (status == 'd') {
    AddReason(reading.Reasons, "marker-supply-empty");  // ribbon end
  } else if (status == 'e') {
    AddReason(reading.Reasons, "media-jam");  // media error
  } else if (status == ' ') {
    state = "idle";  // nothing in the buffer
  } else {
    AddReason(reading.Reasons, "other");  // sensor, head, cutter, card or other errors
  }
  reading.State = StateFor(reading.Reasons, state);
  return reading;
}

std::string Status4(const Snapshot& s) {
  char status = 'A';  // on-line, waiting for data, no error
  if (s.State.HeadOpen)
    status = 'b';
  else if (s.State.PaperOut)
    status = 'c';
  else if (s.State.RibbonOut)
    status = 'd';
  else if (s.State.Paused)
    status = '0';  // off-line, no error
  else if (s.State.CanPrint() && s.FormatsInBuffer > 0)
    status = 'G';  // on-line, printing
  const bool job = s.FormatsInBuffer > 0;
  std::string id = job && s.JobId.size() == 2 ? s.JobId : "  ";
  std::string name = job ? s.JobName.substr(0, 16) : "";
  name.resize(16, ' ');
  std::string body = std::string(1, Enq) + Stx + id + status + ZeroPadded(job ? s.LabelsRemaining : 0, 6) + name + Etx;
  // LAN ports put the count of the bytes that follow first, four bytes, high first.
  const uint32_t n = static_cast<uint32_t>(body.size());
  std::string length = {static_cast<char>(n >> 24), static_cast<char>(n >> 16 & 0xFF), static_cast<char>(n >> 8 & 0xFF),
                        static_cast<char>(n & 0xFF)};
  return length + body;
}

std::string CancelReply(const Snapshot& s) {
  return std::string(1, s.State.HeadOpen || s.State.PaperOut || s.State.RibbonOut ? Nak : Ack);
}

}  // namespace morvel::lang::sbpl
