// The Sato driver.
#include "drivers/sato/Sato.h"

namespace morvel {

Sato::Sato() : PrnBase(u"SATO CL4NX") {}

}  // namespace morvel
