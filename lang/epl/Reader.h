// The reader of EPL2 jobs into the label model (Label.h).
#pragma once

#include "lang/Label.h"

namespace morvel::lang {

Job ParseEpl(std::string_view bytes, int dpi, const std::function<void(Label&&)>& each = {},
             const CommandSeen& seen = {});

}  // namespace morvel::lang
