// Why a printer is in its state: the printer-state-reasons that the status
// readers find in the printers' answers and in the spoolers' states, each
// with its IPP keyword in one table. Keywords are text only where the
// reasons leave the toolkit (PrinterStatus, `morvel status`, the bridge).
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvel::lang {

enum class Reason : uint8_t {
  MediaEmpty,
  MediaJam,
  CoverOpen,
  MarkerSupplyEmpty,
  MediaLow,
  MarkerSupplyLow,
  Paused,
  Offline,
  TimedOut,
  DoorOpen,
  OutputAreaFull,
  Shutdown,
  Other,
};

// What a reason says of the printer-state.
enum class Weight : uint8_t {
  Stops,  // the printer prints nothing until it is dealt with: stopped
  Warns,  // a supply runs low; the printer still prints
  Tells,  // says nothing of the printer itself (nobody answered in time)
};

struct ReasonName {
  Reason Of;
  std::string_view Keyword;  // RFC 8011's printer-state-reasons keyword
  Weight Weighs;
};

// One row a reason, in the order of the enumeration.
inline constexpr ReasonName ReasonNames[] = {
    {Reason::MediaEmpty, "media-empty", Weight::Stops},
    {Reason::MediaJam, "media-jam", Weight::Stops},
    {Reason::CoverOpen, "cover-open", Weight::Stops},
    {Reason::MarkerSupplyEmpty, "marker-supply-empty", Weight::Stops},
    {Reason::MediaLow, "media-low", Weight::Warns},
    {Reason::MarkerSupplyLow, "marker-supply-low", Weight::Warns},
    {Reason::Paused, "paused", Weight::Stops},
    {Reason::Offline, "offline", Weight::Stops},
    {Reason::TimedOut, "timed-out", Weight::Tells},
    {Reason::DoorOpen, "door-open", Weight::Stops},
    {Reason::OutputAreaFull, "output-area-full", Weight::Stops},
    {Reason::Shutdown, "shutdown", Weight::Stops},
    {Reason::Other, "other", Weight::Stops},
};

static_assert([] {
  for (size_t k = 0; k < std::size(ReasonNames); ++k)
    if (static_cast<size_t>(ReasonNames[k].Of) != k) return false;
  return static_cast<size_t>(Reason::Other) + 1 == std::size(ReasonNames);
}());

constexpr std::string_view NameOf(Reason reason) { return ReasonNames[static_cast<size_t>(reason)].Keyword; }
constexpr Weight WeightOf(Reason reason) { return ReasonNames[static_cast<size_t>(reason)].Weighs; }

// The reason of a keyword exactly as the table spells it; none for any other text.
constexpr std::optional<Reason> ReasonNamed(std::string_view keyword) {
  for (const ReasonName& row : ReasonNames)
    if (row.Keyword == keyword) return row.Of;
  return std::nullopt;
}

// The keywords of `reasons`, in their order: where reasons become text.
std::vector<std::string> NamesOf(const std::vector<Reason>& reasons);

}  // namespace morvel::lang
