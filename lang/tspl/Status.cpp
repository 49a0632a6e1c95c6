// TSPL's status byte (ESC !?) and four-byte status (ESC !S), as the Orx
// printers' programming guide lays them out.
#include <span>
#include <string>

#include "lang/Status.h"
#include "lang/StatusText.h"

namespace morvel::lang::tspl {
namespace {

using namespace answer_text;

bool Printing(const Snapshot& s) { return s.State.CanPrint() && s.FormatsInBuffer > 0; }

// A bit of the status byte or of the four-byte status's media byte, and the
// condition of the virtual printer that sets it (none: it never does).
struct Bit {
  unsigned char Mask;
  Reason Says;
  bool PrinterState::*Condition;
};
constexpr Bit StatusBits[] = {
    {0x01, Reason::CoverOpen, &PrinterState::HeadOpen},  // head opened
    {0x02, Reason::MediaJam, nullptr},
    {0x04, Reason::MediaEmpty, &PrinterState::PaperOut},
    {0x08, Reason::MarkerSupplyEmpty, &PrinterState::RibbonOut},
    {0x10, Reason::Paused, &PrinterState::Paused},
    {0x40, Reason::CoverOpen, nullptr},  // cover opened
    {0x80, Reason::Other, nullptr},
};
constexpr unsigned char PrintingBit = 0x20;
// The media byte: @ and the flags in its low six bits.
constexpr Bit MediaBits[] = {
    {0x01, Reason::MediaEmpty, &PrinterState::PaperOut},
    {0x02, Reason::MediaJam, nullptr},
    {0x04, Reason::MarkerSupplyEmpty, &PrinterState::RibbonOut},
};
constexpr unsigned char MediaFlags = 0x3F;
// The message byte: normal, paused, a printer error, and those of a printer
// at work, printing a batch (P) first.
constexpr char Normal = '@', Pause = '`', PrinterError = 'E';
constexpr std::string_view AtWork = "PWCFB";

unsigned char BitsRead(unsigned char b, std::span<const Bit> bits, Reading& reading) {
  unsigned char known = 0;
  for (const Bit& bit : bits) {
    if (b & bit.Mask) AddReason(reading.Reasons, bit.Says);
    known |= bit.Mask;
  }
  return b & ~known;  // the bits no row reads
}

unsigned char BitsOf(const PrinterState& state, std::span<const Bit> bits) {
  unsigned char b = 0;
  for (const Bit& bit : bits)
    if (bit.Condition && state.*bit.Condition) b |= bit.Mask;
  return b;
}

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
  BitsRead(b, StatusBits, reading);
  reading.State = StateFor(reading.Reasons, (b & PrintingBit) ? "processing" : "idle");
  return reading;
}

Reading ReadExtended(std::string_view answer) {
  Reading reading;
  if (answer.size() < 6 || answer[0] != Stx || answer[5] != Etx) return reading;
  for (int k = 1; k <= 4; ++k)
    if ((static_cast<unsigned char>(answer[k]) & 0xC0) != 0x40) return reading;
  reading.Understood = true;
  const char message = answer[1], error = answer[3];
  // Byte 2 (the warning) only ever says "receive buffer full": no IPP reason.
  if (message == Pause) AddReason(reading.Reasons, Reason::Paused);
  const unsigned char unread = BitsRead(static_cast<unsigned char>(answer[4]) & MediaFlags, MediaBits, reading);
  if (unread || error != Normal || (message == PrinterError && reading.Reasons.empty()))
    AddReason(reading.Reasons, Reason::Other);
  const bool busy = AtWork.find(message) != std::string_view::npos;
  reading.State = StateFor(reading.Reasons, busy ? "processing" : "idle");
  return reading;
}

std::string StatusByte(const Snapshot& s) {
  return std::string(1, static_cast<char>(BitsOf(s.State, StatusBits) | (Printing(s) ? PrintingBit : 0)));
}

std::string ExtendedStatus(const Snapshot& s) {
  // The media byte has no head-open flag: an open head is a printer error.
  const char message = s.State.Faulted() ? PrinterError : s.State.Paused ? Pause : Printing(s) ? AtWork[0] : Normal;
  const char media = static_cast<char>(Normal | BitsOf(s.State, MediaBits));
  return std::string{Stx, message, Normal, Normal, media, Etx, '\r', '\n'};
}

}  // namespace morvel::lang::tspl
