// Automation-style number conversions.
#include "drivers/Numbers.h"

#include <cerrno>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/services.h"

namespace morvel::numbers {
namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\u3000' || c == u'\u00A0'; }

char16_t UserSeparator() { return platform::Current().Numbers->DecimalSeparator(); }

}  // namespace

double ParseDouble(std::u16string_view text) {
  const char16_t sep = UserSeparator();
  size_t i = 0, n = text.size();
  while (i < n && IsBlank(text[i])) ++i;
  while (n > i && IsBlank(text[n - 1])) --n;
  std::string ascii;
  ascii.reserve(n - i + 1);
  // from_chars takes no '+'.
  if (i < n && (text[i] == u'+' || text[i] == u'-')) {
    if (text[i] == u'-') ascii.push_back('-');
    ++i;
  }
  size_t digits = 0;
  while (i < n && text[i] >= u'0' && text[i] <= u'9') ascii.push_back(static_cast<char>(text[i++])), ++digits;
  if (i < n && text[i] == sep) {
    ++i;
    if (i < n && text[i] >= u'0' && text[i] <= u'9') ascii.push_back('.');
    while (i < n && text[i] >= u'0' && text[i] <= u'9') ascii.push_back(static_cast<char>(text[i++])), ++digits;
  }
  if (digits == 0) throw AutomationError(errors::TypeMismatch);
  if (i < n && (text[i] == u'E' || text[i] == u'e' || text[i] == u'D' || text[i] == u'd')) {
    ascii.push_back('e');
    ++i;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) ascii.push_back(static_cast<char>(text[i++]));
    size_t expDigits = 0;
    while (i < n && text[i] >= u'0' && text[i] <= u'9') ascii.push_back(static_cast<char>(text[i++])), ++expDigits;
    if (expDigits == 0) throw AutomationError(errors::TypeMismatch);
  }
  if (i != n) throw AutomationError(errors::TypeMismatch);
  double value = 0;
  auto [end, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // from_chars reports underflow the same way; only overflow is an error.
    errno = 0;
    value = std::strtod(ascii.c_str(), nullptr);
    if (std::isinf(value)) throw AutomationError(errors::Overflow);
    return value;
  }
  if (ec != std::errc() || end != ascii.data() + ascii.size()) throw AutomationError(errors::TypeMismatch);
  if (!std::isfinite(value)) throw AutomationError(errors::Overflow);
  return value;
}

double RoundHalfEven(double value) {
  // The default floating-point rounding mode sends halves to the even neighbour.
  return std::nearbyint(value);
}

Integer ToInteger(double value) {
  if (!std::isfinite(value)) throw AutomationError(errors::Overflow);
  double r = RoundHalfEven(value);
  if (r < -32768.0 || r > 32767.0) throw AutomationError(errors::Overflow);
  return static_cast<Integer>(r);
}

Long ToLong(double value) {
  if (!std::isfinite(value)) throw AutomationError(errors::Overflow);
  double r = RoundHalfEven(value);
  if (r < -2147483648.0 || r > 2147483647.0) throw AutomationError(errors::Overflow);
  return static_cast<Long>(r);
}

Single ToSingle(double value) {
  if (std::isnan(value)) return static_cast<Single>(value);
  // Doubles below FLT_MAX + half an ulp of the float still round to FLT_MAX.
  static const double limit = static_cast<double>(FLT_MAX) + std::ldexp(1.0, 103);
  if (std::fabs(value) >= limit) throw AutomationError(errors::Overflow);
  return static_cast<Single>(value);
}

std::string FormatDoubleAscii(double value, int significantDigits) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
  if (value == 0) return "0";
  // Whole numbers that fit the digits need no rounding: the common case
  // (bar ratios, magnifications) and much cheaper than the general path.
  static constexpr double limits[] = {1,   1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,
                                      1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17};
  if (significantDigits <= 17 && std::fabs(value) < limits[significantDigits] && value == std::trunc(value)) {
    char whole[32];
    auto [end, ec] = std::to_chars(whole, whole + sizeof whole, static_cast<long long>(value));
    return std::string(whole, end);
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*E", significantDigits - 1, value);
  // buf: [-]D.DDDDDDE[+-]XX
  char* e = std::strchr(buf, 'E');
  int exponent = std::atoi(e + 1);
  std::string mantissa(buf, e);
  bool negative = mantissa[0] == '-';
  if (negative) mantissa.erase(0, 1);
  std::string digits;
  for (char c : mantissa)
    if (c != '.') digits.push_back(c);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  std::string out = negative ? "-" : "";
  if (exponent < -4 || exponent >= significantDigits) {
    out += digits.substr(0, 1);
    if (digits.size() > 1) out += "." + digits.substr(1);
    char exp[16];
    std::snprintf(exp, sizeof exp, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
    out += exp;
  } else if (exponent < 0) {
    out += "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
  } else {
    size_t intLen = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= intLen) {
      out += digits + std::string(intLen - digits.size(), '0');
    } else {
      out += digits.substr(0, intLen) + "." + digits.substr(intLen);
    }
  }
  return out;
}

namespace {
String WithSeparator(const std::string& ascii) {
  char16_t sep = UserSeparator();
  String out;
  out.reserve(ascii.size());
  for (char c : ascii) out.push_back(c == '.' ? sep : static_cast<char16_t>(c));
  return out;
}
}  // namespace

String FormatSingle(Single value) { return WithSeparator(FormatDoubleAscii(static_cast<double>(value), 7)); }
String FormatDouble(double value) { return WithSeparator(FormatDoubleAscii(value, 15)); }

String FormatInteger(long long value) {
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
  return String(digits, end);
}

}  // namespace morvel::numbers
