// A batch's way to its printer, and the printer's word on each label.
#include "hosts/batch/PrinterLink.h"

#include <stdexcept>

#include "lang/Reason.h"
#include "lang/Status.h"

namespace morvel::batch {
namespace {

using Clock = std::chrono::steady_clock;
using Heard = platform::Spooler::Heard;

// The field the token goes in, and the header its echo starts with.
constexpr std::string_view EchoField = "9998";
constexpr std::string_view EchoHeader = "BATCH:";

std::string Said(const lang::Reading& reading) {
  std::string text = reading.State;
  const std::vector<std::string> names = lang::NamesOf(reading.Reasons);
  for (size_t k = 0; k < names.size(); ++k) text += (k == 0 ? ": " : ", ") + names[k];
  return text;
}

}  // namespace

PrinterLink::PrinterLink(const std::string& printer, lang::Language language) : language_(language) {
  String name = FromUtf8(printer);
  channel_.Open(name);
  if (!channel_.IsOpen()) throw std::runtime_error("the printer '" + printer + "' cannot be opened");
  if (!channel_.CanRead())
    whyNot_ = "the way to this printer carries no answer back (a file:, a CUPS queue, a spooler)";
  else if (language != lang::Language::Zpl)
    whyNot_ = std::string("a ") + lang::TitleOf(language) + " printer's word on each label is not read yet";
}

PrinterLink::~PrinterLink() { channel_.Close(); }

std::string PrinterLink::Echoing(std::string job, std::string_view token) const {
  if (!whyNot_.empty()) return job;
  // Before the format's end: the token in a field placed beyond any label
  // (^FO32000,32000: nothing of it is printed), sent back for every label.
  const std::string echo = "^FO32000,32000^A0N,10,10^FN" + std::string(EchoField) + "^FD" + std::string(token) +
                           "^FS^FH_^HV" + std::string(EchoField) + ",64," + std::string(EchoHeader) + ",_0D_0A,L^FS";
  size_t end = std::string::npos;
  for (size_t k = job.size(); k >= 3; --k)
    if (job[k - 3] == '^' && (job[k - 2] == 'X' || job[k - 2] == 'x') && (job[k - 1] == 'Z' || job[k - 1] == 'z')) {
      end = k - 3;
      break;
    }
  if (end == std::string::npos) return job + "^XA" + echo + "^XZ";
  job.insert(end, echo);
  return job;
}

void PrinterLink::Send(std::string_view bytes) {
  if (!channel_.IsOpen()) throw std::runtime_error("the printer is no longer open");
  channel_.Write(bytes);
}

bool PrinterLink::TakeLine(std::string& line) {
  // A status answer (STX..ETX) is not a line of echoes: left for its reader.
  const size_t end = pending_.find('\n');
  if (end == std::string::npos) return false;
  line = pending_.substr(0, end);
  pending_.erase(0, end + 1);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

Word PrinterLink::Await(std::string_view token, const Waits& waits, const std::function<void(const std::string&)>& told,
                        const std::function<bool()>& stop) {
  const std::string expected = std::string(EchoHeader) + std::string(token);
  const lang::StatusQuery& status = lang::zpl::HostStatusQuery();
  std::string lastSaid;
  auto idleSince = Clock::now();
  for (;;) {
    // Echo lines first; another label's (a late one) is passed over.
    for (std::string line; TakeLine(line);)
      if (line.find(expected) != std::string::npos && line.size() - line.find(expected) == expected.size())
        return {Word::Kind::Printed, {}};
    if (stop && stop()) return {Word::Kind::Stopped, "interrupted while the printer printed the label"};
    const Heard heard = channel_.Read(pending_, Clock::now() + waits.Ask);
    if (heard == Heard::Bytes) continue;
    if (heard != Heard::Nothing) return {Word::Kind::Lost, "the connection to the printer ended"};
    // Silence: what is the printer doing?
    channel_.Write(std::string(status.Sent));
    const auto deadline = Clock::now() + waits.Answer;
    lang::Reading reading;
    for (;;) {
      if (const size_t at = pending_.find('\x02'); at != std::string::npos)
        if (const size_t n = status.Frame(std::string_view(pending_).substr(at)); n > 0) {
          reading = status.Read(std::string_view(pending_).substr(at, n));
          pending_.erase(at, n);
          break;
        }
      const Heard more = channel_.Read(pending_, deadline);
      if (more == Heard::Nothing) return {Word::Kind::Lost, "the printer stopped answering"};
      if (more != Heard::Bytes) return {Word::Kind::Lost, "the connection to the printer ended"};
    }
    const std::string said = reading.Understood ? Said(reading) : "not understood";
    if (said != lastSaid && told) told(said);
    lastSaid = said;
    if (reading.State != "idle") {
      idleSince = Clock::now();
      continue;
    }
    if (Clock::now() - idleSince >= waits.Idle)
      return {Word::Kind::Silent, "the printer stood idle and never said it printed the label"};
  }
}

}  // namespace morvel::batch
