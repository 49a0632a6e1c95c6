// The words a batch is made of.
#include "hosts/batch/Batch.h"

#include <array>

namespace morvel::batch {
namespace {

constexpr std::array<std::pair<LabelState, std::string_view>, 6> Names = {{
    {LabelState::Planned, "planned"},
    {LabelState::Sent, "sent"},
    {LabelState::Confirmed, "confirmed"},
    {LabelState::Void, "void"},
    {LabelState::Uncertain, "uncertain"},
    {LabelState::Done, "done"},
}};

}  // namespace

const std::string* Row::Find(std::string_view name) const {
  for (const auto& [field, value] : Fields)
    if (field == name) return &value;
  return nullptr;
}

std::string_view NameOf(LabelState state) {
  for (const auto& [s, name] : Names)
    if (s == state) return name;
  return "?";
}

bool StateNamed(std::string_view name, LabelState& state) {
  for (const auto& [s, n] : Names)
    if (n == name) {
      state = s;
      return true;
    }
  return false;
}

}  // namespace morvel::batch
