// SBPL's Status 4 (ENQ) and the reply to CAN, as the SBPL programming guide
// lays them out: on a LAN port the answer's byte count first, then ENQ and
// STX, the job ID, the status character of the guide's table, the labels
// remaining and the job name, then ETX. And SOH RU, the status of the last
// RFID write, and SOH RB, the RFID settings and counters (SATO S84-ex /
// S86-ex Programming Reference, RFID, "Specify return by SOH+RU",
// pp. 308-310, and "RFID setting status request", p. 344).
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "lang/Status.h"
#include "lang/StatusText.h"

namespace morvel::lang::sbpl {
namespace {

using namespace answer_text;

size_t OneByte(std::string_view received) { return received.empty() ? 0 : 1; }

// The status character's errors, and the condition of the virtual printer
// that answers each (none: the virtual printer never does), the graver first.
struct Fault {
  char Code;
  Reason Says;
  bool PrinterState::*Condition;
};
constexpr Fault Faults[] = {
    {'b', Reason::CoverOpen, &PrinterState::HeadOpen},           // head open
    {'c', Reason::MediaEmpty, &PrinterState::PaperOut},          // paper end
    {'d', Reason::MarkerSupplyEmpty, &PrinterState::RibbonOut},  // ribbon end
    {'e', Reason::MediaJam, nullptr},                            // media error
};
constexpr char NoData = ' ';

// The groups of five status characters without an error, each its first;
// the place in the group tells the rest.
enum class Busy { Never, WithLabels, Always };
struct Group {
  char First;
  std::optional<Reason> Says;
  Busy Printing;  // whether the printer is at work
};
constexpr char OffLine = '0', OnLine = 'A', OnLinePrinting = 'G';
constexpr Group Groups[] = {
    {OffLine, Reason::Offline, Busy::Never},  // set off-line at the printer's panel
    {OnLine, {}, Busy::WithLabels},           // waiting for data
    {OnLinePrinting, {}, Busy::Always},
    {'M', {}, Busy::Always},  // waiting to dispense
    {'S', {}, Busy::Always},  // analysing or editing
};
// 0 no error, 1 ribbon near end, 2 buffer near full, 3 both, 4 print paused.
constexpr std::optional<Reason> InGroup[] = {{}, Reason::MarkerSupplyLow, {}, Reason::MarkerSupplyLow, Reason::Paused};

const Fault* FaultOf(const PrinterState& state) {
  for (const Fault& fault : Faults)
    if (fault.Condition && state.*fault.Condition) return &fault;
  return nullptr;
}

// The state the status character tells, its reasons added to `reading`.
std::string ReadCode(char status, bool remaining, Reading& reading) {
  for (const Fault& fault : Faults)
    if (status == fault.Code) {
      AddReason(reading.Reasons, fault.Says);
      return "idle";
    }
  for (const Group& group : Groups) {
    if (status < group.First || status >= group.First + static_cast<int>(std::size(InGroup))) continue;
    if (group.Says) AddReason(reading.Reasons, *group.Says);
    if (auto said = InGroup[status - group.First]) AddReason(reading.Reasons, *said);
    const bool busy = group.Printing == Busy::Always || (group.Printing == Busy::WithLabels && remaining);
    return busy ? "processing" : "idle";
  }
  if (status != NoData) AddReason(reading.Reasons, Reason::Other);  // sensor, head, cutter, card or other errors
  return "idle";
}

constexpr StatusQuery Queries[] = {
    {"ENQ", "\x05", "\x05", Status4Frame, ReadStatus4, Status4},
    {"CAN", "\x18", "", OneByte, nullptr, CancelReply, true},
    {"SOH RU", TagWriteQuery, "", TagWriteFrame, nullptr, TagWriteAnswer},
    {"SOH RB", TagCountsQuery, "", TagCountsFrame, nullptr, TagCountsAnswer},
};

// The error symbols of SOH RU's answer, in words.
struct TagError {
  char Symbol;
  const char* Words;
};
constexpr TagError TagErrors[] = {
    {'N', "no error"},
    {'E', "the EPC could not be written"},
    {'T', "the TID could not be read"},
    {'M', "the tag's chip is not the one set, or not supported (MCS)"},
    {'A', "the EPC could not be written nor the TID read"},
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
  const std::string state = ReadCode(status, remaining, reading);
  reading.State = StateFor(reading.Reasons, state);
  return reading;
}

std::string Status4(const Snapshot& s) {
  const Fault* fault = FaultOf(s.State);
  const char status = fault                                         ? fault->Code
                      : s.State.Paused                              ? OffLine
                      : s.State.CanPrint() && s.FormatsInBuffer > 0 ? OnLinePrinting
                                                                    : OnLine;
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

std::string CancelReply(const Snapshot& s) { return std::string(1, FaultOf(s.State) ? Nak : Ack); }

size_t TagWriteFrame(std::string_view received) { return FrameEnd(received, 0, false); }

TagWriteStatus ReadTagWrite(std::string_view answer) {
  TagWriteStatus status;
  const std::vector<std::string_view> frames = Frames(answer);
  if (frames.size() != 1) return status;
  const std::string_view body = frames.front();
  // a, the count of what follows its comma, then b, c and d.
  const size_t comma = body.find(',');
  if (comma == std::string_view::npos || comma == 0 || comma > 5 || !Digits(body.substr(0, comma), comma))
    return status;
  const std::string_view rest = body.substr(comma + 1);
  size_t count = 0;
  for (char c : body.substr(0, comma)) count = count * 10 + static_cast<size_t>(c - '0');
  if (count != rest.size() || rest.size() < 4 || rest[1] != ',' || rest[3] != ',') return status;
  if (!Flag(rest.substr(0, 1), status.Written)) return status;
  status.Error = rest[2];
  std::string_view data = rest.substr(4);
  if (data.ends_with("\r\n")) data.remove_suffix(2);
  if (!data.empty())
    for (std::string_view field : Fields(data)) {
      if (field.starts_with("EP:"))
        status.Epc = std::string(field.substr(3));
      else if (field.starts_with("ID:"))
        status.Tid = std::string(field.substr(3));
      else
        return status;
    }
  status.Understood = true;
  return status;
}

std::string TagWriteAnswer(const Snapshot& s) {
  TagWriteStatus last;
  if (s.LastTagWrite) last = *s.LastTagWrite;
  std::string data;
  if (last.Epc) data = "EP:" + *last.Epc;
  if (last.Tid) data += (data.empty() ? "ID:" : ",ID:") + *last.Tid;
  const std::string rest = std::string(last.Written ? "1" : "0") + "," + last.Error + "," + data + "\r\n";
  return Stx + std::to_string(rest.size()) + "," + rest + Etx;
}

size_t TagCountsFrame(std::string_view received) { return FrameEnd(received, 0, false); }

std::optional<TagCounts> ReadTagCounts(std::string_view answer) {
  // STX, the mode byte, four digits, the fields, ETX; the mode byte is 02h,
  // as STX is, so the frame is read by its length rather than split.
  constexpr char RfidOn = 0x02;
  if (answer.size() < 7 || answer[0] != Stx || answer[1] != RfidOn || !Digits(answer.substr(2, 4), 4)) return {};
  size_t length = 0;
  for (char c : answer.substr(2, 4)) length = length * 10 + static_cast<size_t>(c - '0');
  if (answer.size() != 6 + length + 1 || answer.back() != Etx) return {};
  const std::vector<std::string_view> fields = Fields(answer.substr(6, length));
  // "Lc:" and the two values after it: successes, failures, total, each
  // of at most six digits.
  for (size_t k = 0; k + 2 < fields.size(); ++k) {
    if (!fields[k].starts_with("Lc:")) continue;
    long values[3] = {};
    const std::string_view texts[3] = {fields[k].substr(3), fields[k + 1], fields[k + 2]};
    for (int v = 0; v < 3; ++v) {
      if (texts[v].empty() || texts[v].size() > 6 || !Digits(texts[v], texts[v].size())) return {};
      for (char c : texts[v]) values[v] = values[v] * 10 + (c - '0');
    }
    return TagCounts{values[0], values[1], values[2]};
  }
  return {};
}

std::string TagCountsAnswer(const Snapshot& s) {
  // The six-digit counters go round past 999999.
  auto six = [](long n) { return std::to_string(n % 1000000); };
  const TagCounts& c = s.Tags;
  const std::string counts = six(c.Written) + "," + six(c.Failed) + "," + six(c.Total) + ",";
  const std::string fields = "Lc:" + counts + "Rc:" + counts;
  return Stx + std::string(1, 0x02) + ZeroPadded(static_cast<long>(fields.size()), 4) + fields + Etx;
}

std::string TagErrorWords(char symbol) {
  for (const TagError& e : TagErrors)
    if (e.Symbol == symbol) return e.Words;
  return std::string("error ") + symbol + ", which the guide does not name";
}

}  // namespace morvel::lang::sbpl
