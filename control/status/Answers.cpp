// The spoolers' printer states read into IPP terms.
#include "control/status/Answers.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string_view>

#include "control/status/SpoolerTable.h"

namespace morvel::status {
namespace {

using lang::AddReason;
using lang::Reason;

// The reasons taken from CUPS as they are; other keywords with -error read as other.
constexpr Reason CupsKept[] = {
    Reason::MediaEmpty,      Reason::MediaJam, Reason::CoverOpen, Reason::MarkerSupplyEmpty, Reason::MediaLow,
    Reason::MarkerSupplyLow, Reason::Paused,   Reason::Offline,   Reason::TimedOut};
// CUPS's keywords for what this toolkit says otherwise; none: passed over,
// not a fault (nothing at all, or CUPS at work).
struct CupsAlias {
  std::string_view Keyword;
  std::optional<Reason> Means;
};
constexpr CupsAlias CupsAliases[] = {
    {"none", std::nullopt},
    {"media-needed", Reason::MediaEmpty},
    {lang::NameOf(Reason::DoorOpen), Reason::CoverOpen},
    {"connecting-to-device", std::nullopt},
};

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
  for (const std::string& raw : reasons) {
    std::string_view r = raw;
    for (std::string_view suffix : {"-error", "-warning", "-report"})
      if (r.size() > suffix.size() && r.ends_with(suffix)) r.remove_suffix(suffix.size());
    const auto alias = std::find_if(std::begin(CupsAliases), std::end(CupsAliases),
                                    [r](const CupsAlias& a) { return a.Keyword == r; });
    if (alias != std::end(CupsAliases) && !alias->Means) continue;
    const std::optional<Reason> reason = alias != std::end(CupsAliases) ? alias->Means : lang::ReasonNamed(r);
    if (reason && std::find(std::begin(CupsKept), std::end(CupsKept), *reason) != std::end(CupsKept))
      AddReason(reading.Reasons, *reason);
    else if (raw.ends_with("-error"))
      AddReason(reading.Reasons, Reason::Other);
  }
  std::string state = printerState == 3   ? "idle"
                      : printerState == 4 ? "processing"
                      : printerState == 5 ? "stopped"
                                          : "unknown";
  if (state == "stopped" && reading.Reasons.empty()) AddReason(reading.Reasons, Reason::Paused);
  reading.State = StateFor(reading.Reasons, state);
  return reading;
}

Reading ReadSpooler(uint32_t status, uint32_t attributes, uint32_t jobs) {
  Reading reading;
  reading.Understood = true;
  std::string state = jobs > 0 ? "processing" : "idle";
  bool vague = false;
  for (const SpoolerBit& row : SpoolerStatusTable) {
    if ((status & row.Bit()) == 0) continue;
    if (row.Vague)
      vague = true;
    else if (row.Says)
      AddReason(reading.Reasons, *row.Says);
    if (!row.State.empty() && Gravity(std::string(row.State)) > Gravity(state)) state = row.State;
  }
  if (attributes & platform::SpoolerWorkOffline) AddReason(reading.Reasons, Reason::Offline);
  if (vague && StateFor(reading.Reasons, "") != "stopped") AddReason(reading.Reasons, Reason::Other);
  reading.State = StateFor(reading.Reasons, state);
  // A spooler that does not know the printer's state knows of no fault either.
  if (state == "unknown" && reading.Reasons == std::vector{Reason::Other}) reading.State = "unknown";
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
