// The "+" schemes' encoder and decoder (Plus.cpp), which Epc.cpp hands
// their names and headers to. Private to codec/epc/.
#pragma once

#include <cstdint>
#include <string_view>

#include "codec/epc/Bits.h"
#include "codec/epc/Epc.h"
#include "codec/epc/Schemes.h"

namespace morvel::epc::detail {

const PlusScheme* PlusByName(std::string_view name);  // any case
const PlusScheme* PlusByHeader(uint8_t header);

// From a GS1 element string, "(01)79521141123453(21)32a/b", or a GS1
// Digital Link URI, "https://id.gs1.org/01/79521141123453/21/32a%2Fb".
Tag EncodePlus(const PlusScheme& s, int filter, std::string_view input);

// From the bits of a hexadecimal EPC (`bits`: four a digit) whose header is the scheme's.
Decoded DecodePlus(const PlusScheme& s, const BitBuffer& bytes, int bits);

}  // namespace morvel::epc::detail
