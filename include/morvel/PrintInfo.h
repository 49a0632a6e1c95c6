// PrintInfo: one entry of the printer catalogue, a brand key and the
// keywords that occur in the names of that brand's printers.
#pragma once

#include <vector>

#include "morvel/types.h"

namespace morvel {

class PrintInfo {
 public:
  String PrintPP;               // the brand key
  std::vector<String> PrintXH;  // the keywords, in table order
};

}  // namespace morvel
