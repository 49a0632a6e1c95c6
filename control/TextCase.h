// Lower-casing and case-insensitive comparison of UTF-16 text, the way the
// control compares printer names and catalogue keys.
#pragma once

#include <string_view>

#include "morvel/types.h"

namespace morvel::text {

// Unicode simple lower-case mapping of every character.
String ToLower(std::u16string_view text);
bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b);
bool EqualsIgnoreCaseAscii(std::string_view a, std::string_view b);

}  // namespace morvel::text
