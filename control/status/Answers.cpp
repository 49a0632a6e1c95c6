// Status answers read into IPP terms. The field layouts are those of the
// programming guides: ZPL's ~HS strings and ~HQES bit groups, SBPL's Status 4
// status character table, TSPL's status byte and four-byte status.
#include "control/status/Answers.h"

#include "control/status/SpoolerTable.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace morvel::status {
namespace {

constexpr char Stx = 0x02, Etx = 0x03, Enq = 0x05;

void Add(std::vector<std::string>& reasons, const std::string& reason) {
  if (std::find(reasons.begin(), reasons.end(), reason) == reasons.end()) reasons.push_back(reason);
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// End of the STX..ETX frame starting at or after `from`, CR LF included
// when they follow; 0 when incomplete.
size_t FrameEnd(std::string_view b, size_t from, bool wantLineEnd) {
  size_t stx = b.find(Stx, from);
  if (stx == std::string_view::npos) {
    // Bytes that never start a frame: a long run of them is no answer.
    return b.size() - from > 512 ? b.size() : 0;
  }
  size_t etx = b.find(Etx, stx + 1);
  if (etx == std::string_view::npos) return b.size() - stx > 4096 ? b.size() : 0;
  if (!wantLineEnd) return etx + 1;
  if (etx + 2 < b.size() + 0 && b[etx + 1] == '\r' && b[etx + 2] == '\n') return etx + 3;
  if (etx + 1 < b.size() && b[etx + 1] != '\r') return etx + 1;
  if (etx + 2 < b.size() && b[etx + 2] != '\n') return etx + 2;
  return 0;  // the line end is on its way
}

std::vector<std::string_view> Frames(std::string_view b) {
  std::vector<std::string_view> frames;
  size_t at = 0;
  while ((at = b.find(Stx, at)) != std::string_view::npos) {
    size_t etx = b.find(Etx, at + 1);
    if (etx == std::string_view::npos) break;
    frames.push_back(b.substr(at + 1, etx - at - 1));
    at = etx + 1;
  }
  return frames;
}

std::vector<std::string_view> Fields(std::string_view text) {
  std::vector<std::string_view> out;
  size_t start = 0;
  for (;;) {
    size_t comma = text.find(',', start);
    out.push_back(text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return out;
}

bool Digits(std::string_view text, size_t length) {
  return text.size() == length &&
         std::all_of(text.begin(), text.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

bool Flag(std::string_view text, bool& on) {
  if (text != "0" && text != "1") return false;
  on = text == "1";
  return true;
}

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
  std::string_view line = answer.substr(at + label.size(), end == std::string_view::npos ? end : end - at - label.size());
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

const std::vector<std::string>& StopReasons() {
  static const std::vector<std::string> stop = {"media-empty", "media-jam", "cover-open",       "marker-supply-empty",
                                                "paused",      "offline",   "door-open",        "output-area-full",
                                                "shutdown",    "other"};
  return stop;
}

int Gravity(const std::string& state) {
  if (state == "stopped") return 3;
  if (state == "unknown") return 2;
  if (state == "processing") return 1;
  return 0;
}

}  // namespace

Brand BrandOf(std::string_view printerName) {
  std::string name = Lower(printerName);
  for (const char* word : {"zdesigner", "zebra", "zpl"})
    if (name.find(word) != std::string::npos) return Brand::Zebra;
  if (name.find("sato") != std::string::npos || name.find("sbpl") != std::string::npos) return Brand::Sato;
  if (name.find("orx") != std::string::npos || name.find("tspl") != std::string::npos) return Brand::Orx;
  return Brand::Other;
}

size_t ZplHostQueryFrame(std::string_view received) { return FrameEnd(received, 0, true); }

size_t ZplHostStatusFrame(std::string_view received) {
  size_t at = 0;
  for (int k = 0; k < 3; ++k) {
    size_t end = FrameEnd(received, at, true);
    if (end == 0) return 0;
    at = end;
  }
  return at;
}

size_t SbplStatus4Frame(std::string_view received) {
  if (received.empty()) return 0;
  if (received[0] == Stx) return FrameEnd(received, 0, false);
  if (received.size() < 4) return 0;
  const auto* b = reinterpret_cast<const unsigned char*>(received.data());
  uint32_t length = uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
  if (length > 1024) return 4;  // no Status 4 answer is that long
  return received.size() >= 4 + length ? 4 + length : 0;
}

size_t TsplStatusByteFrame(std::string_view received) { return received.empty() ? 0 : 1; }

size_t TsplExtendedFrame(std::string_view received) {
  if (received.empty()) return 0;
  if (received[0] != Stx) return 1;
  return received.size() >= 8 ? 8 : 0;
}

std::string StateFor(const std::vector<std::string>& reasons, const std::string& fallback) {
  for (const auto& r : reasons)
    if (std::find(StopReasons().begin(), StopReasons().end(), r) != StopReasons().end()) return "stopped";
  return fallback;
}

Reading ReadZplHostQuery(std::string_view answer) {
  Reading reading;
  bool errorFlag = false, warningFlag = false;
  uint32_t e2 = 0, e1 = 0, w2 = 0, w1 = 0;
  if (!BitGroups(answer, "ERRORS:", errorFlag, e2, e1) || !BitGroups(answer, "WARNINGS:", warningFlag, w2, w1))
    return reading;
  reading.Understood = true;
  if (errorFlag) {
    if (e1 & 0x1) Add(reading.Reasons, "media-empty");
    if (e1 & 0x2) Add(reading.Reasons, "marker-supply-empty");
    if (e1 & 0x4) Add(reading.Reasons, "cover-open");
    if ((e1 & ~0x7u) != 0 || e2 != 0 || (e1 == 0 && e2 == 0)) Add(reading.Reasons, "other");
  }
  // Group 1 bit 3 of the warnings is the paper-near-end sensor.
  if (warningFlag && (w1 & 0x8)) Add(reading.Reasons, "media-low");
  reading.State = StateFor(reading.Reasons, "idle");
  return reading;
}

Reading ReadZplHostStatus(std::string_view answer) {
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
  if (paperOut) Add(reading.Reasons, "media-empty");
  if (headUp) Add(reading.Reasons, "cover-open");
  if (ribbonOut) Add(reading.Reasons, "marker-supply-empty");
  if (paused) Add(reading.Reasons, "paused");
  if (ramLost || under || over) Add(reading.Reasons, "other");
  const bool busy = std::stoi(std::string(one[4])) > 0 || std::stol(std::string(two[8])) > 0 || partial;
  reading.State = StateFor(reading.Reasons, busy ? "processing" : "idle");
  return reading;
}

Reading ReadSbplStatus4(std::string_view answer) {
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
    Add(reading.Reasons, "offline");  // the printer is off-line: set so at its panel
    if (status == '1' || status == '3') Add(reading.Reasons, "marker-supply-low");
    if (status == '4') Add(reading.Reasons, "paused");
  } else if (status >= 'A' && status <= 'E') {
    if (status == 'B' || status == 'D') Add(reading.Reasons, "marker-supply-low");
    if (status == 'E') Add(reading.Reasons, "paused");
    state = remaining ? "processing" : "idle";
  } else if ((status >= 'G' && status <= 'K') || (status >= 'M' && status <= 'Q') || (status >= 'S' && status <= 'W')) {
    const char base = status >= 'S' ? 'S' : status >= 'M' ? 'M' : 'G';
    if (status - base == 1 || status - base == 3) Add(reading.Reasons, "marker-supply-low");
    if (status - base == 4) Add(reading.Reasons, "paused");
    state = "processing";
  } else if (status == 'b') {
    Add(reading.Reasons, "cover-open");  // head open
  } else if (status == 'c') {
    Add(reading.Reasons, "media-empty");  // paper end
  } else if (status == 'd') {
    Add(reading.Reasons, "marker-supply-empty");  // ribbon end
  } else if (status == 'e') {
    Add(reading.Reasons, "media-jam");  // media error
  } else if (status == ' ') {
    state = "idle";  // nothing in the buffer
  } else {
    Add(reading.Reasons, "other");  // sensor, head, cutter, card or other errors
  }
  reading.State = StateFor(reading.Reasons, state);
  return reading;
}

Reading ReadTsplStatusByte(std::string_view answer) {
  Reading reading;
  if (answer.size() != 1) return reading;
  const auto b = static_cast<unsigned char>(answer[0]);
  reading.Understood = true;
  if (b & 0x01) Add(reading.Reasons, "cover-open");  // head opened
  if (b & 0x02) Add(reading.Reasons, "media-jam");
  if (b & 0x04) Add(reading.Reasons, "media-empty");
  if (b & 0x08) Add(reading.Reasons, "marker-supply-empty");
  if (b & 0x10) Add(reading.Reasons, "paused");
  if (b & 0x40) Add(reading.Reasons, "cover-open");
  if (b & 0x80) Add(reading.Reasons, "other");
  reading.State = StateFor(reading.Reasons, (b & 0x20) ? "processing" : "idle");
  return reading;
}

Reading ReadTsplExtended(std::string_view answer) {
  Reading reading;
  if (answer.size() < 6 || answer[0] != Stx || answer[5] != Etx) return reading;
  for (int k = 1; k <= 4; ++k)
    if ((static_cast<unsigned char>(answer[k]) & 0xC0) != 0x40) return reading;
  reading.Understood = true;
  const char message = answer[1], warning = answer[2], error = answer[3], media = answer[4];
  if (message == '`') Add(reading.Reasons, "paused");
  if (media & 0x01) Add(reading.Reasons, "media-empty");
  if (media & 0x02) Add(reading.Reasons, "media-jam");
  if (media & 0x04) Add(reading.Reasons, "marker-supply-empty");
  if ((media & 0x38) || error != '@' || (message == 'E' && reading.Reasons.empty())) Add(reading.Reasons, "other");
  (void)warning;  // only "receive buffer full": no IPP reason
  const bool busy = message == 'P' || message == 'W' || message == 'C' || message == 'F' || message == 'B';
  reading.State = StateFor(reading.Reasons, busy ? "processing" : "idle");
  return reading;
}

Reading ReadCups(int printerState, const std::vector<std::string>& reasons) {
  Reading reading;
  reading.Understood = printerState >= 3 && printerState <= 5;
  static const std::vector<std::string> known = {"media-empty", "media-jam",  "cover-open", "marker-supply-empty",
                                                 "media-low",   "marker-supply-low", "paused", "offline",
                                                 "timed-out"};
  for (const std::string& raw : reasons) {
    std::string r = raw;
    for (const char* suffix : {"-error", "-warning", "-report"})
      if (r.size() > std::string_view(suffix).size() && r.ends_with(suffix)) r.resize(r.size() - std::string_view(suffix).size());
    if (r == "none") continue;
    if (r == "media-needed") r = "media-empty";
    if (r == "door-open") r = "cover-open";
    if (r == "connecting-to-device") continue;  // CUPS at work, not a fault
    if (r == "offline" || r == "paused" || std::find(known.begin(), known.end(), r) != known.end())
      Add(reading.Reasons, r);
    else if (raw.ends_with("-error"))
      Add(reading.Reasons, "other");
  }
  std::string state = printerState == 3 ? "idle" : printerState == 4 ? "processing" : printerState == 5 ? "stopped" : "unknown";
  if (state == "stopped" && reading.Reasons.empty()) Add(reading.Reasons, "paused");
  reading.State = StateFor(reading.Reasons, state);
  return reading;
}

Reading ReadSpooler(uint32_t status, uint32_t attributes, uint32_t jobs) {
  Reading reading;
  reading.Understood = true;
  std::string state = jobs > 0 ? "processing" : "idle";
  bool vague = false;
  for (const SpoolerBit& row : SpoolerStatusTable) {
    if ((status & row.Bit) == 0) continue;
    if (row.Vague) vague = true;
    else if (!row.Reason.empty()) Add(reading.Reasons, std::string(row.Reason));
    if (!row.State.empty() && Gravity(std::string(row.State)) > Gravity(state)) state = row.State;
  }
  if (attributes & SpoolerWorkOffline) Add(reading.Reasons, "offline");
  if (vague && StateFor(reading.Reasons, "") != "stopped") Add(reading.Reasons, "other");
  reading.State = StateFor(reading.Reasons, state);
  // A spooler that does not know the printer's state knows of no fault either.
  if (state == "unknown" && reading.Reasons == std::vector<std::string>{"other"}) reading.State = "unknown";
  return reading;
}

Reading Combine(const Reading& first, const Reading& second) {
  Reading both = first;
  both.Understood = first.Understood || second.Understood;
  for (const auto& r : second.Reasons) Add(both.Reasons, r);
  both.State = Gravity(second.State) > Gravity(first.State) ? second.State : first.State;
  both.State = StateFor(both.Reasons, both.State);
  return both;
}

}  // namespace morvel::status
