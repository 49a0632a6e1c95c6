// Numbers as people type them into options, read by one rule wherever an
// option takes one (the morvel command, the document options of the C
// interface, Python and the bridge): decimal digits, a '.' and more digits
// where decimals are allowed; no sign, blank, exponent, hexadecimal or
// locale's separator.
#pragma once

#include <charconv>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string_view>
#include <system_error>

namespace morvel::core {

// A whole number of digits alone, from `low` to `high`.
inline std::optional<long long> WholeNumber(std::string_view text, long long low, long long high) {
  if (text.empty()) return std::nullopt;
  long long n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    if (n > (std::numeric_limits<long long>::max() - (c - '0')) / 10) return std::nullopt;
    n = n * 10 + (c - '0');
  }
  if (n < low || n > high) return std::nullopt;
  return n;
}

// A setting from the environment variable `name`: a whole number by the
// same rule, else (unset, or not such a number) `otherwise`.
inline long long WholeNumberSetting(const char* name, long long low, long long high, long long otherwise) {
  const char* text = std::getenv(name);
  const auto n = text ? WholeNumber(text, low, high) : std::nullopt;
  return n ? *n : otherwise;
}

// Digits, or digits, '.' and digits ("12", "12.5", "0.5"), from `low` to
// `high`.
inline std::optional<double> DecimalNumber(std::string_view text, double low, double high) {
  const size_t dot = text.find('.');
  const std::string_view whole = text.substr(0, dot);
  const std::string_view part = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
  if (whole.empty() || (dot != std::string_view::npos && part.empty())) return std::nullopt;
  for (std::string_view digits : {whole, part})
    for (char c : digits)
      if (c < '0' || c > '9') return std::nullopt;
  // Checked to be plain decimal; from_chars rounds it as a compiler would.
  double n = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n, std::chars_format::fixed);
  if (error != std::errc() || end != text.data() + text.size() || !(n >= low && n <= high)) return std::nullopt;
  return n;
}

}  // namespace morvel::core
