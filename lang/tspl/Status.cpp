// TSPL's status byte (ESC !?) and four-byte status (ESC !S), as the Orx
// printers' programming guide lays them out.
#include <string>

#include "lang/Status.h"
#include "lang/StatusText.h"

namespace morvel::lang::tspl {
namespace {

using namespace answer_text;

bool Printing(const Snapshot& s) { return s.State.CanPrint() && s.FormatsInBuffer > 0; }

constexpr StatusQuery Queries[] = {
    {"ESC !?", "\x1b!?", "\x1b!?", StatusByteFrame, ReadStatusByte, StatusByte},
    {"ESC !S", "\x1b!S", "", ExtendedFrame, ReadExtended, ExtendedStatus},
};

}  // namespace

constinit const StatusLanguage Status{Queries, false, {}, {}};

size_t StatusByteFrame(std::string_view received) { return received.empty() ? 0 : 1; }

size_t ExtendedFrame(std::string_view received) {
  if (received.empty()) return 0;
  if (received[0] != Stx) return 1;
  return received.size() >= 8 ? 8 : 0;
}

Reading ReadStatusByte(std::string_view answer) {
  Reading reading;
  if (answer.size() != 1) return reading;
  const auto b = static_cast<unsigned char>(answer[0]);
  reading.Understood = true;
  if (b & 0x01) AddReason(reading.Reasons, "cover-open");  // head opened
  if (b & 0x02) AddReason(reading.Reasons, "media-jam");
  if (b & 0x04) AddReason(reading.Reasons, "media-empty");
  if (b & 0x08) AddReason(reading.Reasons, "marker-supply-empty");
  if (b & 0x10) AddReason(reading.Reasons, "paused");
  if (b & 0x40) AddReason(reading.Reasons, "cover-open");
  if (b & 0x80) AddReason(reading.Reasons, "other");
  reading.State = StateFor(reading.Reasons, (b & 0x20) ? "processing" : "idle");
  return reading;
}

Reading ReadExtended(std::string_view answer) {
  Reading reading;
  if (answer.size() < 6 || answer[0] != Stx || answer[5] != Etx) return reading;
  for (int k = 1; k <= 4; ++k)
    if ((static_cast<unsigned char>(answer[k]) & 0xC0) != 0x40) return reading;
  reading.Understood = true;
  const char message = answer[1], error = answer[3], media = answer[4];
  // Byte 2 (the warning) only ever says "receive buffer full": no IPP reason.
  if (message == '`') AddReason(reading.Reasons, "paused");
  if (media & 0x01) AddReason(reading.Reasons, "media-empty");
  if (media & 0x02) AddReason(reading.Reasons, "media-jam");
  if (media & 0x04) AddReason(reading.Reasons, "marker-supply-empty");
  if ((media & 0x38) || error != '@' || (message == 'E' && reading.Reasons.empty()))
    AddReason(reading.Reasons, "other");
  const bool busy = message == 'P' || message == 'W' || message == 'C' || message == 'F' || message == 'B';
  reading.State = StateFor(reading.Reasons, busy ? "processing" : "idle");
  return reading;
}

std::string StatusByte(const Snapshot& s) {
  unsigned b = (s.State.HeadOpen ? 0x01u : 0) | (s.State.PaperOut ? 0x04u : 0) | (s.State.RibbonOut ? 0x08u : 0) |
               (s.State.Paused ? 0x10u : 0) | (Printing(s) ? 0x20u : 0);
  return std::string(1, static_cast<char>(b));
}

std::string ExtendedStatus(const Snapshot& s) {
  // Byte 1 message: @ normal, ` pause, E printer error, P printing batch.
  // Byte 4: @ normal, bit 0 paper empty, bit 2 ribbon empty. The table has
  // no head-open flag: an open head is a printer error.
  char message = '@';
  if (s.State.HeadOpen || s.State.PaperOut || s.State.RibbonOut)
    message = 'E';
  else if (s.State.Paused)
    message = '`';
  else if (Printing(s))
    message = 'P';
  char media = static_cast<char>(0x40 | (s.State.PaperOut ? 0x01 : 0) | (s.State.RibbonOut ? 0x04 : 0));
  return std::string{Stx, message, '@', '@', media, Etx, '\r', '\n'};
}

}  // namespace morvel::lang::tspl
