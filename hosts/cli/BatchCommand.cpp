// `morvel batch`: labels from a template and a data file (hosts/batch/),
// each one journalled and confirmed by the printer; `--resume JOURNAL`
// goes on where a run stopped. Progress on a terminal as a bar on standard
// error; --json: one JSON line an event on standard output. The summary
// names the labels confirmed, void and uncertain, and their rows.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>

#include "hosts/batch/Runner.h"
#include "hosts/cli/Options.h"
#include "lang/Template.h"
#include "platform/document_files.h"
#include "platform/stop_request.h"

namespace morvel::cli {
namespace {

using batch::Event;

std::atomic<int> interrupts{0};

const char* KindName(Event::Kind kind) {
  switch (kind) {
    case Event::Kind::Started: return "started";
    case Event::Kind::Printed: return "label";
    case Event::Kind::Printer: return "printer";
    case Event::Kind::Uncertain: return "uncertain";
    case Event::Kind::Stopped: return "stopped";
    case Event::Kind::Finished: return "finished";
  }
  return "?";
}

// The bar: labels finished of the total, their rate, the time left.
class Bar {
 public:
  explicit Bar(std::ostream& err) : err_(err) {}
  void Show(const Event& e) {
    if (e.What == Event::Kind::Printer) {
      err_ << "\r\x1b[K"
           << "printer: " << e.Detail << "\n";
      return;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const uint64_t done = e.Done - std::min(e.Done, first_);
    if (e.What == Event::Kind::Started) first_ = e.Done;
    const double rate = seconds > 0 ? done / seconds : 0;
    char line[160];
    if (e.Total > 0) {
      const int filled = static_cast<int>(30.0 * static_cast<double>(e.Done) / static_cast<double>(e.Total));
      const double left = rate > 0 ? static_cast<double>(e.Total - std::min(e.Total, e.Done)) / rate : 0;
      std::snprintf(line, sizeof line, "[%-30s] %llu/%llu labels  %.1f/s  %d:%02d left",
                    std::string(static_cast<size_t>(std::clamp(filled, 0, 30)), '#').c_str(),
                    static_cast<unsigned long long>(e.Done), static_cast<unsigned long long>(e.Total), rate,
                    static_cast<int>(left) / 60, static_cast<int>(left) % 60);
    } else {
      std::snprintf(line, sizeof line, "%llu labels  %.1f/s", static_cast<unsigned long long>(e.Done), rate);
    }
    err_ << "\r\x1b[K" << line << std::flush;
    if (e.What == Event::Kind::Finished || e.What == Event::Kind::Stopped) err_ << "\n";
  }

 private:
  std::ostream& err_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  uint64_t first_ = 0;
};

std::string Rows(const std::vector<uint64_t>& rows) {
  std::string text;
  for (size_t k = 0; k < rows.size() && k < 20; ++k) text += (k ? ", " : "") + std::to_string(rows[k]);
  if (rows.size() > 20) text += ", ...";
  return text;
}

int Report(const Invocation& call, const batch::Summary& s, const std::string& journal, bool json) {
  // A printer that cannot confirm confirms nothing: its labels were sent
  // whole, and are told as such.
  const bool sent = s.Mode == "sent";
  const uint64_t confirmed = sent ? 0 : s.Confirmed;
  if (json) {
    nlohmann::json j = {{"event", "summary"},       {"finished", s.Finished}, {"mode", s.Mode},
                        {"total", s.Total},         {"confirmed", confirmed}, {"void", s.Void},
                        {"uncertain", s.Uncertain}, {"done", s.Done},         {"uncertainRows", s.UncertainRows},
                        {"voidRows", s.VoidRows},   {"journal", journal}};
    if (sent) j["sent"] = s.Confirmed;
    if (!s.Stopped.empty()) j["stopped"] = s.Stopped;
    call.Out << j.dump() << "\n";
  } else {
    call.Out << "batch: " << s.Total << " labels: " << s.Confirmed << (sent ? " sent whole" : " confirmed") << ", "
             << s.Void << " void";
    if (!s.VoidRows.empty()) call.Out << " (rows " << Rows(s.VoidRows) << ")";
    call.Out << ", " << s.Uncertain << " uncertain";
    if (!s.UncertainRows.empty()) call.Out << " (rows " << Rows(s.UncertainRows) << ")";
    if (s.Done) call.Out << ", " << s.Done << " marked done";
    call.Out << "\n";
    if (s.Mode == "sent") call.Out << "batch: sent mode: " << s.Why << "; the printer confirmed none of them\n";
    call.Out << "journal: " << journal << "\n";
    if (!s.Stopped.empty())
      call.Err << "morvel batch: stopped: " << s.Stopped << "\nresume with: morvel batch --resume '" << journal
               << "'\n";
  }
  return s.Finished ? 0 : 1;
}

// The command's options into the run's; nothing when they are refused
// (the status to return in `status`).
struct Choices {
  std::vector<std::string> Operands;
  batch::RunOptions Run;
  std::string Journal, Resume, Uncertain = "ask";
  bool Json = false;
};

std::optional<int> Parse(const Invocation& call, Choices& c) {
  bool perRow = false;
  long long serialStart = -1, serialStep = 1, serialWidth = 0, idle = 10000;
  batch::RunOptions& run = c.Run;
  OptionParser options(call);
  options.Text("-d, --printer", run.Printer);
  options.Text("--journal", c.Journal);
  options.Text("--resume", c.Resume);
  options.Choice("--uncertain", {"ask", "reprint", "done"}, c.Uncertain);
  options.Choice("--format", {"csv", "tsv", "json"}, run.Data.Format);
  options.Text("--delimiter", run.Data.Delimiter);
  options.Text("--quantity-column", run.Plan.QuantityColumn);
  options.Number("--serial-start", serialStart, 0, 999999999999999999LL);
  options.Number("--serial-step", serialStep, 1, 1000000000);
  options.Number("--serial-width", serialWidth, 0, 20);
  options.Flag("--serial-per-row", perRow);
  options.Text("--serial-field", run.Plan.Serial.Field);
  options.Text("--gtin", run.Plan.Epc.Gtin);
  options.Text("--gtin-column", run.Plan.Epc.GtinColumn);
  options.Text("--epc-scheme", run.Plan.Epc.Scheme);
  options.Number("--epc-filter", run.Plan.Epc.Filter, 0, 7);
  options.Number("--prefix-length", run.Plan.Epc.CompanyPrefixLength, 6, 12);
  options.Text("--epc-field", run.Plan.Epc.Field);
  options.Number("--idle-wait", idle, 100, 3600000, "ms");
  options.Flag("--json", c.Json);
  options.Operands(c.Operands, 0, 2, "TEMPLATE and DATA");
  if (auto status = options.Parse()) return status;
  if (c.Resume.empty() && c.Operands.size() != 2)
    return UsageFault(call, "give TEMPLATE and DATA, or --resume JOURNAL");
  if (!c.Resume.empty() && !c.Operands.empty())
    return UsageFault(call, "--resume goes on as the journal says: no TEMPLATE nor DATA with it");
  if (c.Resume.empty() && run.Printer.empty()) return UsageFault(call, "which printer? give -d PRINTER");
  run.Plan.Serial.Enabled = serialStart >= 0;
  run.Plan.Serial.Start = static_cast<uint64_t>(std::max(serialStart, 0LL));
  run.Plan.Serial.Step = static_cast<uint64_t>(serialStep);
  run.Plan.Serial.Width = static_cast<int>(serialWidth);
  run.Plan.Serial.PerRow = perRow;
  run.Plan.Epc.Enabled = !run.Plan.Epc.Gtin.empty() || !run.Plan.Epc.GtinColumn.empty();
  if (run.Plan.Epc.Enabled && run.Plan.Epc.CompanyPrefixLength == 0 && !run.Plan.Epc.Scheme.ends_with('+'))
    return UsageFault(call, "EPCs from a GTIN need --prefix-length (the company prefix's digits)");
  run.Waits.Idle = std::chrono::milliseconds(idle);
  if (c.Resume.empty()) {
    run.TemplatePath = c.Operands[0];
    run.DataPath = c.Operands[1];
    if (c.Journal.empty())
      c.Journal = (run.DataPath == "-" ? std::string("batch") : std::filesystem::path(run.DataPath).stem().string()) +
                  ".journal";
  } else {
    c.Journal = c.Resume;
  }
  return std::nullopt;
}

}  // namespace

int BatchMain(const Invocation& call) {
  Choices c;
  if (auto status = Parse(call, c)) return *status;
  const batch::RunOptions& run = c.Run;
  const std::string& journal = c.Journal;
  const std::string& resume = c.Resume;
  const bool json = c.Json;
  const batch::UncertainChoice choice = c.Uncertain == "reprint" ? batch::UncertainChoice::Reprint
                                        : c.Uncertain == "done"  ? batch::UncertainChoice::Done
                                                                 : batch::UncertainChoice::Ask;
  // Ctrl+C: the first stops after the label in flight, a second at once.
  platform::PrepareForStop();
  std::thread([] {
    for (;;) {
      platform::WaitForStop();
      ++interrupts;
    }
  }).detach();
  Bar bar(call.Err);
  const bool showBar = !json && platform::StandardErrorIsTerminal() && &call.Err == &std::cerr;
  batch::RunHooks hooks;
  hooks.Interrupts = &interrupts;
  hooks.Told = [&](const Event& e) {
    if (json) {
      nlohmann::json j = {{"event", KindName(e.What)}, {"done", e.Done}, {"total", e.Total}};
      if (e.Label) j["label"] = e.Label, j["row"] = e.Row;
      if (!e.Detail.empty()) j["detail"] = e.Detail;
      call.Out << j.dump() << "\n" << std::flush;
    } else if (showBar) {
      bar.Show(e);
    } else if (e.What == Event::Kind::Printer) {
      call.Err << "morvel batch: label " << e.Label << ": printer " << e.Detail << "\n";
    }
  };
  try {
    const batch::Summary summary =
        resume.empty() ? batch::StartBatch(run, journal, hooks) : batch::ResumeBatch(journal, choice, hooks);
    return Report(call, summary, journal, json);
  } catch (const batch::DataError& e) {
    call.Err << "morvel batch: " << e.what() << "\n";
  } catch (const lang::TemplateError& e) {
    call.Err << "morvel batch: the template: " << e.what() << "\n";
  } catch (const std::exception& e) {
    call.Err << "morvel batch: " << e.what() << "\n";
    return 1;
  }
  return UsageError;
}

}  // namespace morvel::cli
