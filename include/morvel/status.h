// The real state of an installed printer: asked of the printer itself in its
// brand's language over its transport (raw TCP, usblp, CUPS), told as an IPP
// printer-state and printer-state-reasons keywords.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#if defined(__GNUC__) && !defined(_WIN32)
#define MORVEL_STATUS_API __attribute__((visibility("default")))
#else
#define MORVEL_STATUS_API
#endif

namespace morvel {

struct PrinterStatus {
  std::string Printer;  // the name asked for (UTF-8)
  std::string Uri;      // where it was asked
  // idle, processing, stopped, or unknown when nobody answered.
  std::string State = "unknown";
  // IPP keywords: media-empty, media-jam, cover-open, marker-supply-empty,
  // media-low, marker-supply-low, paused, offline, timed-out, other; from
  // the Windows spooler also door-open, output-area-full and shutdown.
  // Empty means none.
  std::vector<std::string> Reasons;
  // What the printer (and CUPS) answered, as received; for tools and logs.
  std::string Raw;
  // Why the printer could not be asked, when it could not.
  std::string Error;
  // For a printer that is not there (state stopped, reason offline), why in
  // a few words: "connection refused", "host unreachable" or "name not
  // found"; empty otherwise.
  MORVEL_STATUS_API std::string Cause() const;

  // Answered, idle or processing, and nothing but low-supply warnings.
  MORVEL_STATUS_API bool Ready() const;
  // The reasons joined by commas, or "none".
  MORVEL_STATUS_API std::string ReasonsText() const;
  // Raw with every byte outside printable ASCII (and the backslash) as \xHH,
  // so that it can travel as text.
  MORVEL_STATUS_API std::string RawShown() const;
};

// Asks the printer named `printerName` (as `morvel printers` lists it) for
// its state, waiting at most `timeout` for the whole exchange. Never throws:
// an unknown name is state unknown with reason other and Error set.
MORVEL_STATUS_API PrinterStatus QueryStatus(const std::string& printerName,
                                            std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));

// Every installed printer, in the order `morvel printers` lists them.
MORVEL_STATUS_API std::vector<PrinterStatus> QueryAllStatus(
    std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));

}  // namespace morvel
