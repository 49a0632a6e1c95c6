// Bytes of a named code page read as UTF-8: the encodings printer jobs
// declare (a ZPL field's ^CI, SBPL's and TSPL's code pages). Linux build
// only, where the job readers are.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace morvel::platform {

// `bytes` of `codePage` (an iconv name: CP850, GB18030, UTF-16BE...) as
// UTF-8; a byte the code page does not know reads as '?', as printers show
// it. None for a code page the system does not know.
std::optional<std::string> DecodeToUtf8(std::string_view bytes, const char* codePage);

}  // namespace morvel::platform
