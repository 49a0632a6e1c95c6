// morvel::QueryStatus: finds the installed printer, asks it in its brand's
// way over its transport, and tells the answer in IPP terms. CUPS queues
// report what CUPS knows; where the queue's device is a raw socket the device
// is asked too, because CUPS's socket backend never asks it. On Windows the
// platform turns the printer's spooler port into the device's socket:// where
// it can, and the spooler's own word where it cannot.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <future>

#include "control/status/Answers.h"
#include "drivers/Brands.h"
#include "morvel/types.h"
#include "platform/services.h"
#include "platform/status_link.h"

namespace morvel {
namespace {

using Clock = std::chrono::steady_clock;
using lang::Language;
using lang::Reason;
using status::Reading;

// What the asking found: a PrinterStatus whose reasons are not yet keywords.
struct Found {
  std::string Uri;
  std::string State = "unknown";
  std::vector<Reason> Reasons;
  std::string Raw, Error;
};

PrinterStatus Told(const std::string& name, const Found& found) {
  PrinterStatus out;
  out.Printer = name;
  out.Uri = found.Uri;
  out.State = found.State;
  out.Reasons = lang::NamesOf(found.Reasons);
  out.Raw = found.Raw;
  out.Error = found.Error;
  return out;
}

// Nothing could be asked, for `error`.
PrinterStatus Failed(const std::string& name, const std::string& uri, const std::string& error) {
  return Told(name, {uri, "unknown", {Reason::Other}, "", error});
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

struct Asked {
  Reading Read;
  std::string Raw;
  std::string Error;
  bool TimedOut = false;
  bool Offline = false;  // nothing there to ask: refused, unreachable, no such name
};

// The language's queries that are asked, in order.
std::vector<const lang::StatusQuery*> Asking(Language language) {
  std::vector<const lang::StatusQuery*> asking;
  for (const lang::StatusQuery& q : lang::StatusOf(language).Queries)
    if (!q.Sent.empty()) asking.push_back(&q);
  return asking;
}

std::vector<platform::Exchange> QueriesFor(Language language) {
  std::vector<platform::Exchange> exchanges;
  for (const lang::StatusQuery* q : Asking(language)) exchanges.push_back({std::string(q->Sent), q->Frame});
  return exchanges;
}

// A reading for each answer that came, read by its query's row.
Asked Interpret(Language language, const platform::LinkResult& link) {
  Asked asked;
  asked.TimedOut = link.TimedOut;
  asked.Error = link.Error;
  asked.Offline = !link.Connected && !link.TimedOut && link.Unreachable != nullptr;
  for (const auto& a : link.Answers) asked.Raw += a;
  asked.Raw += link.Partial;
  const std::vector<const lang::StatusQuery*> asking = Asking(language);
  Reading reading;
  for (size_t k = 0; k < link.Answers.size() && k < asking.size(); ++k) {
    Reading one = asking[k]->Read(link.Answers[k]);
    if (!one.Understood) {
      one.Reasons = {Reason::Other};
      one.State = "unknown";
      if (asked.Error.empty()) asked.Error = "the printer's answer is not of the documented shape";
    }
    reading = k == 0 ? one : status::Combine(reading, one);
  }
  // A Zebra printer may stay silent on ~HS while it is out of paper or its
  // head is open: an earlier answer that already says what is wrong will do.
  if (!link.Answers.empty() && link.Answers.size() < asking.size() && link.TimedOut && reading.Understood &&
      reading.State == "stopped") {
    asked.TimedOut = false;
    asked.Raw.resize(asked.Raw.size() - link.Partial.size());
  }
  asked.Read = reading;
  return asked;
}

Asked AskSocketPrinter(Language language, std::string_view where, Clock::time_point deadline) {
  std::string authority(where.substr(0, where.find('/')));
  std::string host = authority, port = "9100";
  if (!authority.empty() && authority[0] == '[') {
    size_t close = authority.find(']');
    host = authority.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    if (close != std::string::npos && close + 1 < authority.size() && authority[close + 1] == ':')
      port = authority.substr(close + 2);
  } else if (size_t colon = authority.rfind(':'); colon != std::string::npos) {
    host = authority.substr(0, colon);
    port = authority.substr(colon + 1);
  }
  // The resolver would take a port past 65535 modulo 65536: another port
  // than the one named would be asked.
  const bool digits = !port.empty() && port.size() <= 5 && std::all_of(port.begin(), port.end(), ::isdigit);
  if (!digits || std::stol(port) < 1 || std::stol(port) > 65535) {
    Asked refused;
    refused.Error = "socket://" + authority + ": the port must be 1..65535";
    return refused;
  }
  return Interpret(language, platform::AskSocket(host, port, QueriesFor(language), deadline));
}

std::string SpoolerRaw(const platform::SpoolerState& s) {
  char raw[96];
  std::snprintf(raw, sizeof raw, "Status=0x%08lx Attributes=0x%08lx cJobs=%lu\n", static_cast<unsigned long>(s.Status),
                static_cast<unsigned long>(s.Attributes), static_cast<unsigned long>(s.Jobs));
  return raw;
}

// A spooler that holds the queue (paused, working offline, a fault it
// knows of) keeps the jobs from the device whatever the device says, so its
// word joins the device's; where it has nothing to add the answer is the
// device's alone, as for a socket:// printer.
void JoinSpooler(Found& out, const std::string& name) {
  platform::SpoolerState s = platform::AskSpooler(name);
  if (!s.Answered) return;
  Reading spooler = status::ReadSpooler(s.Status, s.Attributes, s.Jobs);
  if (spooler.State == "idle" && spooler.Reasons.empty()) return;
  Reading both = status::Combine(Reading{true, out.State, out.Reasons}, spooler);
  out.State = both.State;
  out.Reasons = both.Reasons;
  out.Raw = SpoolerRaw(s) + out.Raw;
}

void AskSpoolerAlone(Found& out, const std::string& name) {
  platform::SpoolerState s = platform::AskSpooler(name);
  if (!s.Answered) {
    out.Reasons = {Reason::Other};
    out.Error = s.Error;
    return;
  }
  Reading reading = status::ReadSpooler(s.Status, s.Attributes, s.Jobs);
  out.State = reading.State;
  out.Reasons = reading.Reasons;
  out.Raw = SpoolerRaw(s);
}

void Finish(Found& out, const Asked& asked) {
  Reading reading = asked.Read;
  // A printer that is not there (switched off, unplugged from the network,
  // a name no longer known) is offline, as IPP and CUPS's socket backend
  // say; timed-out stays for one that accepts and stays silent.
  if (asked.Offline) {
    out.State = "stopped";
    out.Reasons = {Reason::Offline};
    if (out.Error.empty()) out.Error = asked.Error;
    return;
  }
  if (asked.TimedOut || !asked.Error.empty()) {
    if (reading.Reasons.empty() || !reading.Understood) reading.State = "unknown";
    if (asked.TimedOut) lang::AddReason(reading.Reasons, Reason::TimedOut);
    if (!asked.TimedOut && reading.Reasons.empty()) reading.Reasons.push_back(Reason::Other);
    if (out.Error.empty())
      out.Error = asked.TimedOut && asked.Error.empty() ? "no whole answer before the timeout" : asked.Error;
  }
  out.State = reading.State;
  out.Reasons = reading.Reasons;
  out.Raw += asked.Raw;
}

// A CUPS queue: what CUPS knows, and where its device is a raw socket the
// device itself, in the printer's language.
void AskCups(Found& out, const std::string& queue, std::optional<Language> speaks, Clock::time_point deadline) {
  platform::QueueState q = platform::AskCupsQueue(queue, deadline);
  if (!q.Answered) {
    out.Reasons = {Reason::Other};
    out.Error = q.Error;
    return;
  }
  Reading reading = status::ReadCups(q.State, q.Reasons);
  std::string raw = "printer-state=" + std::to_string(q.State) + " printer-state-reasons=";
  for (size_t k = 0; k < q.Reasons.size(); ++k) raw += (k ? "," : "") + q.Reasons[k];
  if (!q.DeviceUri.empty()) raw += " device-uri=" + q.DeviceUri;
  raw += "\n";
  out.Raw = raw;
  out.State = reading.State;
  out.Reasons = reading.Reasons;
  if (!Lower(q.DeviceUri).starts_with("socket://") || !speaks) return;
  std::string where = q.DeviceUri.substr(9);
  if (size_t query = where.find('?'); query != std::string::npos) where.resize(query);
  Found device;
  Finish(device, AskSocketPrinter(*speaks, where, deadline));
  Reading both = status::Combine(reading, Reading{true, device.State, device.Reasons});
  // The device unknown does not make a working queue unknown: timed-out tells it.
  if (both.State == "unknown") both.State = reading.State;
  out.State = both.State;
  out.Reasons = both.Reasons;
  out.Raw += device.Raw;
  out.Error = device.Error;
}

Found Ask(const std::string& name, const std::string& listedUri, const std::string& declared,
          std::chrono::milliseconds timeout) {
  Found out;
  const auto deadline = Clock::now() + timeout;
  const platform::StatusTarget target = platform::StatusTargetOf(listedUri);
  const std::string& uri = target.Uri;
  out.Uri = uri;
  if (!target.Error.empty()) {
    out.Reasons = {Reason::Other};
    out.Error = target.Error;
    return out;
  }
  std::optional<Language> speaks = drivers::LanguageOfPrinter(name, declared).Speaks;
  // A language whose guide gives no status query on these links (EPL2's
  // error report comes on the serial port only) is asked nothing.
  if (speaks && lang::StatusOf(*speaks).Queries.empty()) speaks.reset();
  const std::string scheme = Lower(uri.substr(0, uri.find(':') + 1));
  if (scheme == "file:") {
    out.State = "idle";
    return out;
  }
  if (Lower(uri).starts_with("socket://")) {
    if (!speaks && target.Spooled) {
      AskSpoolerAlone(out, name);  // no query in its language: what the spooler knows
      return out;
    }
    if (!speaks) {
      out.Reasons = {Reason::Other};
      out.Error = "the printer's brand has no status query over a raw socket";
      return out;
    }
    Finish(out, AskSocketPrinter(*speaks, std::string_view(uri).substr(9), deadline));
    if (target.Spooled) JoinSpooler(out, name);
    return out;
  }
  if (scheme == "spooler:") {
    AskSpoolerAlone(out, name);
    if (!target.LocalPort.empty() && speaks && out.Error.empty())
      out.Error = "asking the printer itself on " + target.LocalPort +
                  " is not available on this system yet: this is the spooler's state";
    return out;
  }
  if (scheme == "usb:") {
    // usb:/dev/usb/lpN: the usblp node answers on its read channel.
    std::string node = uri.substr(4);
    if (node.starts_with("//")) node.erase(0, 2);
    if (!speaks) {
      out.Reasons = {Reason::Other};
      out.Error = "the printer's brand has no status query";
      return out;
    }
    Finish(out, Interpret(*speaks, platform::AskDevice(node, QueriesFor(*speaks), deadline)));
    return out;
  }
  if (scheme == "cups:") {
    AskCups(out, uri.substr(5), speaks, deadline);
    return out;
  }
  out.Reasons = {Reason::Other};
  out.Error = "unknown uri scheme in '" + uri + "'";
  return out;
}

PrinterStatus Query(const std::string& name, const std::string& listedUri, const std::string& declared,
                    std::chrono::milliseconds timeout) {
  return Told(name, Ask(name, listedUri, declared, timeout));
}

}  // namespace

std::string PrinterStatus::Cause() const {
  if (Reasons.size() != 1 || Reasons[0] != lang::NameOf(Reason::Offline)) return {};
  for (const char* word : {platform::ConnectionRefused, platform::HostUnreachable, platform::NameNotFound})
    if (Error.ends_with(word)) return word;
  return {};
}

bool PrinterStatus::Ready() const {
  if (State != "idle" && State != "processing") return false;
  return std::all_of(Reasons.begin(), Reasons.end(), [](const std::string& keyword) {
    const std::optional<Reason> r = lang::ReasonNamed(keyword);
    return r && lang::WeightOf(*r) == lang::Weight::Warns;
  });
}

std::string PrinterStatus::ReasonsText() const {
  if (Reasons.empty()) return "none";
  std::string text;
  for (const auto& r : Reasons) text += (text.empty() ? "" : ",") + r;
  return text;
}

std::string PrinterStatus::RawShown() const {
  std::string shown;
  static const char digits[] = "0123456789ABCDEF";
  for (unsigned char c : Raw) {
    if (c >= 0x20 && c < 0x7F && c != '\\')
      shown += static_cast<char>(c);
    else
      shown += std::string("\\x") + digits[c >> 4] + digits[c & 15];
  }
  return shown;
}

PrinterStatus QueryStatus(const std::string& printerName, std::chrono::milliseconds timeout) {
  try {
    for (const auto& p : platform::Current().Printers->List())
      if (ToUtf8(p.Name) == printerName) return Query(printerName, p.Uri, drivers::DeclaredLanguage(p), timeout);
    return Failed(printerName, "", "no printer named '" + printerName + "' is installed");
  } catch (const std::exception& e) {
    return Failed(printerName, "", e.what());
  }
}

std::vector<PrinterStatus> QueryAllStatus(std::chrono::milliseconds timeout) {
  std::vector<PrinterStatus> all;
  std::vector<platform::InstalledPrinter> printers;
  try {
    printers = platform::Current().Printers->List();
  } catch (const std::exception& e) {
    all.push_back(Failed("", "", e.what()));
    return all;
  }
  // Asked together: a silent printer costs its timeout once, not once a printer.
  std::vector<std::future<PrinterStatus>> asked;
  for (const auto& p : printers)
    asked.push_back(std::async(std::launch::async,
                               [name = ToUtf8(p.Name), uri = p.Uri, declared = drivers::DeclaredLanguage(p), timeout] {
                                 try {
                                   return Query(name, uri, declared, timeout);
                                 } catch (const std::exception& e) {
                                   return Failed(name, uri, e.what());
                                 }
                               }));
  for (auto& f : asked) all.push_back(f.get());
  return all;
}

}  // namespace morvel
