// `morvel status [NAME...] [--json] [--timeout MS]`: one line a printer,
// NAME TAB STATE TAB REASONS; exit 0 when every printer asked is ready.
#include <cstdint>
#include <future>
#include <iostream>
#include <nlohmann/json.hpp>

#include "hosts/cli/Options.h"
#include "morvel/status.h"

namespace morvel::cli {

int StatusMain(const Invocation& call) {
  std::vector<std::string> names;
  bool json = false;
  long timeoutMs = 2000;
  OptionParser options(call);
  options.Flag("--json", json);
  options.Number("--timeout", timeoutMs, 1, 600000, "milliseconds");
  options.Operands(names, 0, SIZE_MAX, "NAME");
  if (auto status = options.Parse()) return *status;
  std::ostream& out = call.Out;
  std::ostream& err = call.Err;
  const auto timeout = std::chrono::milliseconds(timeoutMs);
  std::vector<PrinterStatus> all;
  if (names.empty()) {
    all = QueryAllStatus(timeout);
  } else {
    // Asked together: a silent printer costs its timeout once, not once a printer.
    std::vector<std::future<PrinterStatus>> asked;
    for (const auto& n : names)
      asked.push_back(std::async(std::launch::async, [n, timeout] { return QueryStatus(n, timeout); }));
    for (auto& f : asked) all.push_back(f.get());
  }
  bool ready = !all.empty();
  for (const auto& s : all) {
    ready = ready && s.Ready();
    if (json) {
      nlohmann::json line = {
          {"name", s.Printer}, {"uri", s.Uri}, {"state", s.State}, {"reasons", s.Reasons}, {"raw", s.RawShown()}};
      if (!s.Error.empty()) line["error"] = s.Error;
      if (const std::string cause = s.Cause(); !cause.empty()) line["cause"] = cause;
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
