// UTF-8 as it comes from outside: whether bytes are well-formed UTF-8, and
// text made safe to show from bytes that may not be.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace morvel::core {

// The length of the well-formed UTF-8 sequence at the start of `bytes`
// (shortest form, no surrogates, at most U+10FFFF), 0 when there is none;
// its code point in `codePoint` when given.
size_t Utf8SequenceAt(std::string_view bytes, char32_t* codePoint = nullptr);
bool IsUtf8(std::string_view bytes);
// The bytes with every byte that is not part of well-formed UTF-8 written
// as \xHH, so that any bytes make valid UTF-8 text (for JSON, pages, logs).
std::string EscapeNonUtf8(std::string_view bytes);

}  // namespace morvel::core
