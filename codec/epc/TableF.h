// How the "+" schemes hold a GS1 Application Identifier's value in bits:
// the EPC Tag Data Standard's Table F (section 15.3), one row an AI or a
// run of AIs, each value one or two components, each component written by
// one of the methods of section 14.5; and Table K, the length of an AI from
// its first two digits. Private to codec/epc/.
#pragma once

#include <cstdint>
#include <string_view>

namespace morvel::epc::detail {

// The encoding methods of TDS 14.5 that Table F names.
enum class Form : uint8_t {
  None,              // no second component
  FixedNumeric,      // 14.5.4: exactly Length digits, 4 bits each
  FixedBitNumeric,   // 14.5.2: exactly Length digits as one number of Bits bits
  Delimited,         // 14.5.5: digits, 4 bits each, ended by 1111, or by 1110 and the rest alphanumeric
  Alphanumeric,      // 14.5.6: 3-bit encoding indicator, Bits-bit length, the characters
  Numeric,           // 14.5.13: Bits-bit length, the digits as one number
  Date,              // 14.5.8: YYMMDD in 16 bits
  DateTime,          // 14.5.9: YYMMDDhhmm in 27 bits
  DateOrRange,       // 14.5.10: YYMMDD or YYMMDDYYMMDD, a bit telling which
  VariableDateTime,  // 14.5.11: YYMMDD, YYMMDDhh, YYMMDDhhmm or YYMMDDhhmmss, two bits telling which
  Country,           // 14.5.12: two letters A-Z, 6 bits each
  Bit,               // 14.5.7: "0" or "1"
  Minus,             // 14.5.14: "" or "-"
  Sequence,          // 14.5.15: "n/m", n and m 1-9
};

// One component: for the fixed methods its digits (Length) and bits (Bits);
// for the variable ones its most characters (Length) and its length
// indicator's bits (Bits); Delimited's Bits are its alphanumeric rest's.
struct Component {
  Form How = Form::None;
  uint8_t Length = 0;
  uint8_t Bits = 0;
};

// The AIs a row covers, as a pattern of their digits: "01", "31[0-6][0-5]"
// (3100-3105 ... 3160-3165), "9[1-9]"; Set39 for the AIs whose characters
// are the GS1 set of 39 (digits, A-Z, # - /) rather than the set of 82.
struct AiFormat {
  std::string_view Pattern;
  Component One;
  Component Two;
  bool Set39 = false;
};

// The row of Table F for `ai` (2-4 digits), or null where there is none.
const AiFormat* FindFormat(std::string_view ai);

// Table K: the digits (2, 3 or 4) of the AIs whose first two digits are
// `firstTwo` (0-99), or 0 where no AI begins with them.
int AiLength(int firstTwo);

}  // namespace morvel::epc::detail
