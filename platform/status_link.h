// Asking a printer for its state: one raw TCP connection carrying queries
// and their framed answers, a usblp node's read channel, a CUPS queue's own
// state attributes, and the Windows spooler's word on a printer. Every wait
// is bounded by one deadline for the whole exchange, so a silent printer
// costs the caller at most its timeout. Each system's adapter answers every
// call; what the system lacks it answers with an Error saying so.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace morvel::platform {

// How many bytes of `received` make the whole answer, or 0 while it is not
// complete yet. Called again as more bytes come.
using AnswerFramer = std::function<size_t(std::string_view received)>;

struct Exchange {
  std::string Query;
  AnswerFramer Framer;
};

// Why a printer could not be reached, in the words status answers give:
// nobody listens on the port (the printer is off, or another device),
// no route to the host, or its name is not known.
inline constexpr const char* ConnectionRefused = "connection refused";
inline constexpr const char* HostUnreachable = "host unreachable";
inline constexpr const char* NameNotFound = "name not found";

struct LinkResult {
  bool Connected = false;
  bool TimedOut = false;              // the deadline passed before an answer was whole
  std::string Error;                  // why nothing could be asked (resolve, connect)
  const char* Unreachable = nullptr;  // one of the words above when the printer is not there
  std::vector<std::string> Answers;   // one per exchange that was answered whole, in order
  std::string Partial;                // the bytes of the answer that did not come whole
};

// Connects to HOST:PORT and runs the exchanges in order on one connection,
// stopping at the first that is not answered whole before the deadline.
LinkResult AskSocket(const std::string& host, const std::string& port, const std::vector<Exchange>& exchanges,
                     std::chrono::steady_clock::time_point deadline);

// The same over a device node opened for reading and writing (a usblp node
// answers on its read channel).
LinkResult AskDevice(const std::string& node, const std::vector<Exchange>& exchanges,
                     std::chrono::steady_clock::time_point deadline);

struct QueueState {
  bool Answered = false;
  std::string Error;
  int State = 0;                     // IPP printer-state: 3 idle, 4 processing, 5 stopped
  std::vector<std::string> Reasons;  // printer-state-reasons as CUPS gives them
  std::string Message;               // printer-state-message
  std::string DeviceUri;             // empty when the server does not tell it
};

// The queue's printer-state, printer-state-reasons and device-uri from the
// CUPS server in use (CUPS_SERVER), within the time left.
QueueState AskCupsQueue(const std::string& queue, std::chrono::steady_clock::time_point deadline);

// Where an installed printer's state is asked, from the uri its system's
// printer list gives it.
struct StatusTarget {
  // socket://HOST:PORT, usb:NODE, cups:QUEUE, file:DIR, or spooler:PORT,
  // the spooler's own word on the printer attached to PORT.
  std::string Uri;
  // A spooler queue stands before the device: when the spooler holds the
  // queue, jobs wait there whatever the device says.
  bool Spooled = false;
  // For spooler:, the port where the printer hangs on this computer itself
  // (USB, parallel, serial), which the printer could be asked on but is not.
  std::string LocalPort;
  // Why the port's settings cannot be used; then the printer is not asked.
  std::string Error;
};
// On Linux the uri is the target. On Windows the list gives the spooler
// port: a Standard TCP/IP port that speaks raw is the device's
// socket://HOST:PORT, every other port is spooler:PORT.
StatusTarget StatusTargetOf(const std::string& listedUri);

// What the Windows spooler tells of one printer (GetPrinter level 2).
struct SpoolerState {
  bool Answered = false;
  std::string Error;
  uint32_t Status = 0;      // PRINTER_STATUS_* bits
  uint32_t Attributes = 0;  // PRINTER_ATTRIBUTE_* bits
  uint32_t Jobs = 0;        // documents in its queue
};
// The printer's spooler state, by its name (UTF-8). Never waits on the
// device: the spooler answers from what it holds.
SpoolerState AskSpooler(const std::string& printer);

}  // namespace morvel::platform
