// The Dothan driver.
#include "drivers/dothan/Dothan.h"

namespace morvel {

Dothan::Dothan() : PrnBase(u"nhj055hhjkklngfdsi55kuh") {}

}  // namespace morvel
