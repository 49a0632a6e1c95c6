// EPL2's status: the guide's error report (^ee, and the eR character with
// US error reporting) is sent back "via the RS-232 serial interface" only
// (eR, ^ee); no query of it answers over a network's raw port. The table
// is therefore empty: `morvel status` asks nothing of an EPL2 printer, and
// the virtual printer answers nothing.
#include "lang/Status.h"

namespace morvel::lang::epl {

constinit const StatusLanguage Status{{}, false, {}, {}};

}  // namespace morvel::lang::epl
