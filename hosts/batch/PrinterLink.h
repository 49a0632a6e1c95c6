// How a batch reaches its printer: one label's job at a time, through the
// raw channel the drivers write through, and, where the printer can answer
// (a socket:// printer speaking ZPL), its word that the label printed: the
// label carries its own token in a field off the printable area, which the
// printer sends back after the label has left it (^HV with the
// label-by-label option, RFID Programming Guide 58978L-008, ^HV: "one for
// every label printed"). While it waits, the link asks the printer's state
// (~HS), so a printer out of paper or paused is reported, and waited for.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "drivers/shared/RawChannel.h"
#include "lang/Language.h"

namespace morvel::batch {

// The printer's word on one label.
struct Word {
  enum class Kind {
    Printed,  // it echoed the label's token: printed
    Lost,     // the connection ended, or the printer stopped answering
    Silent,   // the printer stood idle for the whole grace and never echoed it
    Stopped,  // the run was interrupted while it waited
  };
  Kind What = Kind::Lost;
  std::string Detail;
};

class PrinterLink {
 public:
  // Opens the installed printer of that name; throws std::runtime_error
  // naming it when it cannot be opened.
  PrinterLink(const std::string& printer, lang::Language language);
  ~PrinterLink();
  PrinterLink(const PrinterLink&) = delete;
  PrinterLink& operator=(const PrinterLink&) = delete;

  // Why this printer cannot confirm its labels (then the batch runs in
  // "sent" mode); empty when it can.
  const std::string& WhyNoWord() const { return whyNot_; }

  // The label's job, made to echo `token` after each label it prints.
  std::string Echoing(std::string job, std::string_view token) const;
  // Writes the bytes; throws std::runtime_error when the printer is gone.
  void Send(std::string_view bytes);

  struct Waits {
    std::chrono::milliseconds Ask{1000};     // silence before the printer's state is asked
    std::chrono::milliseconds Answer{5000};  // for the state's answer
    std::chrono::milliseconds Idle{10000};   // idle without the echo: the label is not coming
  };
  // Waits for the echo of `token`. `told` hears the printer's state when it
  // changes while it waits ("paused: media-empty", "printing"); `stop`
  // ends the wait early when it returns true.
  Word Await(std::string_view token, const Waits& waits, const std::function<void(const std::string&)>& told,
             const std::function<bool()>& stop);

 private:
  // A whole line of the printer's into `line`, false when none is whole.
  bool TakeLine(std::string& line);

  RawChannel channel_;
  lang::Language language_;
  std::string whyNot_;
  std::string pending_;
};

}  // namespace morvel::batch
