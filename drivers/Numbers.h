// Number <-> text conversions as automation performs them: text is read with
// the user's decimal separator, numbers are written in their shortest form,
// and conversions to narrower types round halves to even and check range.
#pragma once

#include "morvel/types.h"

namespace morvel::numbers {

// Reads a number from text: optional blanks, sign, digits, the user's
// decimal separator, an exponent (E or D). Error 13 when the text is not a
// number, 6 when it is beyond the range of a double.
double ParseDouble(std::u16string_view text);

// Rounds to the nearest integer, halves to the even neighbour.
double RoundHalfEven(double value);

// Narrowing conversions: error 6 when out of range (or not finite).
Integer ToInteger(double value);
Long ToLong(double value);
Single ToSingle(double value);

// Text to a typed number (error 13 / 6).
inline Integer TextToInteger(std::u16string_view text) { return ToInteger(ParseDouble(text)); }
inline Long TextToLong(std::u16string_view text) { return ToLong(ParseDouble(text)); }
inline Single TextToSingle(std::u16string_view text) { return ToSingle(ParseDouble(text)); }
inline double TextToDouble(std::u16string_view text) { return ParseDouble(text); }

// Shortest decimal form with at most 7 (Single) or 15 (Double) significant
// digits, no trailing zeros, the user's decimal separator; exponent form
// (1E+20, 1E-05) outside the range a fixed form covers.
String FormatSingle(Single value);
String FormatDouble(double value);
String FormatInteger(long long value);
// The same in ASCII with a point, for composing byte streams quickly.
std::string FormatDoubleAscii(double value, int significantDigits);

}  // namespace morvel::numbers
