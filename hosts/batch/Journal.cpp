// The rules every journal keeps, whatever it is written to.
#include "hosts/batch/Journal.h"

namespace morvel::batch {

std::string_view NameOf(BatchMode mode) { return mode == BatchMode::Sent ? "sent" : "confirmed"; }

bool ModeNamed(std::string_view name, BatchMode& mode) {
  if (name != "confirmed" && name != "sent") return false;
  mode = name == "sent" ? BatchMode::Sent : BatchMode::Confirmed;
  return true;
}

bool MayMove(LabelState from, LabelState to) {
  using S = LabelState;
  switch (from) {
    case S::Planned: return to == S::Sent;
    case S::Sent: return to == S::Confirmed || to == S::Void || to == S::Uncertain;
    case S::Void: return to == S::Sent || to == S::Done;
    case S::Uncertain: return to == S::Sent || to == S::Confirmed || to == S::Void || to == S::Done;
    case S::Confirmed:
    case S::Done: return false;
  }
  return false;
}

}  // namespace morvel::batch
