// `morvel status [NAME...] [--json] [--timeout MS]`: one line a printer,
// NAME TAB STATE TAB REASONS; exit 0 when every printer asked is ready.
#include <future>
#include <iostream>
#include <nlohmann/json.hpp>

#include "hosts/cli/StatusCommand.h"
#include "morvel/status.h"

namespace morvel::cli {

int StatusMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::vector<std::string> names;
  bool json = false;
  long timeoutMs = 2000;
  for (size_t k = 0; k < args.size(); ++k) {
    const std::string& a = args[k];
    if (a == "--json") {
      json = true;
    } else if (a == "--timeout") {
      if (k + 1 >= args.size()) {
        err << "morvel status: --timeout needs a number of milliseconds\n";
        return 1;
      }
      try {
        size_t used = 0;
        timeoutMs = std::stol(args[++k], &used);
        if (used != args[k].size() || timeoutMs < 1 || timeoutMs > 600000) throw std::invalid_argument("range");
      } catch (...) {
        err << "morvel status: --timeout needs a number of milliseconds from 1 to 600000\n";
        return 1;
      }
    } else if (a == "-h" || a == "--help") {
      out << "usage: morvel status [NAME...] [--json] [--timeout MS]\n"
             "  asks each printer (every installed one when none is named) for its state and prints\n"
             "  NAME<TAB>STATE<TAB>REASONS: STATE idle, processing, stopped or unknown; REASONS IPP keywords\n"
             "  (media-empty, cover-open, marker-supply-empty, paused, timed-out, ...) or none.\n"
             "  --json one JSON object a line, with the printer's raw answer. --timeout default 2000 ms.\n"
             "  Exit status: 0 every printer is ready, 4 one is not or did not answer, 1 a usage error.\n";
      return 0;
    } else if (!a.empty() && a[0] == '-' && a != "-") {
      err << "morvel status: unknown option '" << a << "'\n";
      return 1;
    } else {
      names.push_back(a);
    }
  }
  const auto timeout = std::chrono::milliseconds(timeoutMs);
  std::vector<PrinterStatus> all;
  if (names.empty()) {
    all = QueryAllStatus(timeout);
  } else {
    // Asked together: a silent printer costs its timeout once, not once a printer.
    std::vector<std::future<PrinterStatus>> asked;
    for (const auto& n : names) asked.push_back(std::async(std::launch::async, [n, timeout] { return QueryStatus(n, timeout); }));
    for (auto& f : asked) all.push_back(f.get());
  }
  bool ready = !all.empty();
  for (const auto& s : all) {
    ready = ready && s.Ready();
    if (json) {
      nlohmann::json line = {{"name", s.Printer}, {"uri", s.Uri}, {"state", s.State}, {"reasons", s.Reasons},
                             {"raw", s.RawShown()}};
      if (!s.Error.empty()) line["error"] = s.Error;
      out << line.dump() << "\n";
    } else {
      out << s.Printer << '\t' << s.State << '\t' << s.ReasonsText() << "\n";
    }
    if (!s.Error.empty() && !json) err << "morvel status: " << s.Printer << ": " << s.Error << "\n";
  }
  if (all.empty()) err << "morvel status: no printer is installed\n";
  return ready ? 0 : 4;
}

}  // namespace morvel::cli
