// Lower-casing and case-insensitive comparison of text, the one way the
// control, the printer list and the spooler compare printer names, keys and
// uri schemes.
#pragma once

#include <string>
#include <string_view>

#include "morvel/types.h"

namespace morvel::text {

// Unicode simple lower-case mapping of every character.
String ToLower(std::u16string_view text);
bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b);
bool EqualsIgnoreCaseAscii(std::string_view a, std::string_view b);
bool StartsWithIgnoreCaseAscii(std::string_view text, std::string_view prefix);
// The text with its ASCII capitals made small; every other byte kept.
std::string ToLowerAscii(std::string_view text);

}  // namespace morvel::text
