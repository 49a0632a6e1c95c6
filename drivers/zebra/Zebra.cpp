// The Zebra driver.
#include "drivers/zebra/Zebra.h"

namespace morvel {

Zebra::Zebra() : PrnBase(u"ZDesigner ZT410R") {}

}  // namespace morvel
