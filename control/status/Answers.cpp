// The spoolers' printer states read into IPP terms.
#include "control/status/Answers.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

#include "platform/spooler_table.h"

namespace morvel::status {
namespace {

using lang::AddReason;

int Gravity(const std::string& state) {
  if (state == "stopped") return 3;
  if (state == "unknown") return 2;
  if (state == "processing") return 1;
  return 0;
}

}  // namespace

Reading ReadCups(int printerState, const std::vector<std::string>& reasons) {
  Reading reading;
  reading.Understood = printerState >= 3 && printerState <= 5;
  static const std::vector<std::string> known = {
      "media-empty", "media-jam", "cover-open", "marker-supply-empty", "media-low", "marker-supply-low",
      "paused",      "offline",   "timed-out"};
  for (const std::string& raw : reasons) {
    std::string r = raw;
    for (const char* suffix : {"-error", "-warning", "-report"})
      if (r.size() > std::string_view(suffix).size() && r.ends_with(suffix))
        r.resize(r.size() - std::string_view(suffix).size());
    if (r == "none") continue;
    if (r == "media-needed") r = "media-empty";
    if (r == "door-open") r = "cover-open";
    if (r == "connecting-to-device") continue;  // CUPS at work, not a fault
    if (r == "offline" || r == "paused" || std::find(known.begin(), known.end(), r) != known.end())
      AddReason(reading.Reasons, r);
    else if (raw.ends_with("-error"))
      AddReason(reading.Reasons, "other");
  }
  std::string state = printerState == 3   ? "idle"
                      : printerState == 4 ? "processing"
                      : printerState == 5 ? "stopped"
                                          : "unknown";
  if (state == "stopped" && reading.Reasons.empty()) AddReason(reading.Reasons, "paused");
  reading.State = StateFor(reading.Reasons, state);
  return reading;
}

Reading ReadSpooler(uint32_t status, uint32_t attributes, uint32_t jobs) {
  Reading reading;
  reading.Understood = true;
  std::string state = jobs > 0 ? "processing" : "idle";
  bool vague = false;
  for (const platform::SpoolerBit& row : platform::SpoolerStatusTable) {
    if ((status & row.Bit) == 0) continue;
    if (row.Vague)
      vague = true;
    else if (!row.Reason.empty())
      AddReason(reading.Reasons, std::string(row.Reason));
    if (!row.State.empty() && Gravity(std::string(row.State)) > Gravity(state)) state = row.State;
  }
  if (attributes & platform::SpoolerWorkOffline) AddReason(reading.Reasons, "offline");
  if (vague && StateFor(reading.Reasons, "") != "stopped") AddReason(reading.Reasons, "other");
  reading.State = StateFor(reading.Reasons, state);
  // A spooler that does not know the printer's state knows of no fault either.
  if (state == "unknown" && reading.Reasons == std::vector<std::string>{"other"}) reading.State = "unknown";
  return reading;
}

Reading Combine(const Reading& first, const Reading& second) {
  Reading both = first;
  both.Understood = first.Understood || second.Understood;
  for (const auto& r : second.Reasons) AddReason(both.Reasons, r);
  both.State = Gravity(second.State) > Gravity(first.State) ? second.State : first.State;
  both.State = StateFor(both.Reasons, both.State);
  return both;
}

}  // namespace morvel::status
