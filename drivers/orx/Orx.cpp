// The Orx driver.
#include "drivers/orx/Orx.h"

namespace morvel {

Orx::Orx() : PrnBase(u"nhj055hhjkklngfdsi55kuh") {}

}  // namespace morvel
