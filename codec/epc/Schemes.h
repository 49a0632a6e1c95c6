// The tables of EPC binary schemes the codec reads and writes (Schemes.cpp,
// PlusSchemes.cpp), and the words their rows are written in. Private to
// codec/epc/.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace morvel::epc::detail {

// How a field's value is held in the bits: the standard's encoding methods.
enum class Method : uint8_t {
  Integer,        // a decimal number without leading zeros, below 2^bits
  String,         // 7-bit characters of the GS1 set, then zero bits to the field's end
  NumericString,  // digits, leading zeros kept: "1" and the digits read as one integer
  FixedWidth,     // exactly `Digits` digits, leading zeros kept, as one integer
  Reserved,       // zero bits, in no URI
};

struct Field {
  std::string_view Name;
  Method How;
  uint8_t Bits;
  uint8_t Digits;  // at most (String, NumericString), exactly (FixedWidth)
};

// The reference after the company prefix, in the partition table's bits.
enum class Ref : uint8_t {
  None,     // no partition table (GID-96)
  Digits,   // exactly the table's digits, leading zeros kept (partition table)
  Integer,  // at most the table's digits, no leading zeros (unpadded partition table)
  String,   // at most the table's characters, 7-bit (string partition table)
};

// One GS1 element string of a scheme: its AI, and its value laid out from
// the URI's parts: C the company prefix, r the reference after it, I the
// reference's first digit (the indicator or extension digit, which goes
// first), R the rest of the reference, K the check digit of the digits
// before it, 0 a zero, 2-4 the URI's part of that number. `Absent` is the
// part's value when the AI is left out (an SGLN without extension); empty
// where the AI is required.
struct Ai {
  std::string_view Code;
  std::string_view Layout;
  std::string_view Absent = {};
};

struct Scheme {
  std::string_view Name;     // "SGTIN-96"
  std::string_view TagName;  // in tag URIs: "sgtin-96"
  std::string_view Family;   // in pure-identity URIs: "sgtin"; and its partition table's name
  std::string_view Key;      // the GS1 key whose check digit is checked: "GTIN"
  uint8_t Header;
  uint16_t Bits;
  bool Filtered;
  uint8_t PartitionBits;    // company prefix and reference together; 0: no partition table
  uint8_t PartitionDigits;  // their digits (characters, for a string reference)
  Ref RefHow;
  std::string_view RefName;
  std::array<Field, 3> Rest;
  uint8_t RestCount;
  std::array<Ai, 2> Ais;
};

// The company prefix's bits in every partition table, by partition value
// 0-6 (12 digits down to 6).
inline constexpr std::array<uint8_t, 7> CompanyBits = {40, 37, 34, 30, 27, 24, 20};

std::span<const Scheme> Schemes();

// A "+" scheme of TDS 2.x: header, +AIDC data toggle bit, filter, for
// DSGTIN+ a prioritised date, then the values of its AIs, each written as
// Table F writes it (TableF.h) without an AI header.
struct PlusScheme {
  std::string_view Name;    // "SGTIN+"
  std::string_view Family;  // the EPC scheme of its pure-identity URIs, the same GS1 key: "sgtin"
  uint8_t Header;
  bool Dated;                           // DSGTIN+: a date type indicator and a date after the filter (TDS 14.5.3)
  std::array<std::string_view, 2> Ais;  // "01", "21"; the second empty where there is one
  std::string_view Absent = {};         // the second AI's value when an element string leaves it out
};

std::span<const PlusScheme> PlusSchemes();

}  // namespace morvel::epc::detail
