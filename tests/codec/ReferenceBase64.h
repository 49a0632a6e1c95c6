// A slow clsBase64 oracle that follows the defining steps one character at a
// time (alphabet search, index -1 for a stranger, byte range checks), for
// differential tests and the fuzz target.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "morvel/types.h"

namespace morvel::reference {

struct Decoded {
  int Error = 0;  // 0 when decoding succeeds
  std::vector<uint8_t> Bytes;
};

inline Decoded Decode(String text) {
  static const String alphabet = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";
  auto index = [&](char16_t c) -> int {
    size_t at = alphabet.find(c);
    return at == String::npos ? -1 : static_cast<int>(at);
  };
  size_t cut = text.find(u'=');
  if (cut != String::npos) text.resize(cut);
  size_t length = text.size();
  if (length == 0) return {errors::SubscriptOutOfRange, {}};
  size_t rest = length % 4, whole = length - rest;
  if (rest == 1) return {errors::InvalidUseOfNull, {}};
  Decoded out;
  for (size_t i = 0; i < whole; i += 4) {
    int q[4];
    for (int j = 0; j < 4; ++j) {
      q[j] = index(text[i + j]);
      if (q[j] < 0 || q[j] > 255) return {errors::Overflow, {}};
    }
    out.Bytes.push_back(static_cast<uint8_t>(q[0] * 4 + (q[1] & 48) / 16));
    out.Bytes.push_back(static_cast<uint8_t>((q[1] & 15) * 16 + (q[2] & 60) / 4));
    out.Bytes.push_back(static_cast<uint8_t>((q[2] & 3) * 64 + q[3]));
  }
  if (rest >= 2) {
    int q0 = index(text[whole]), q1 = index(text[whole + 1]);
    int b0 = q0 * 4 + (q1 & 48) / 16;
    if (b0 < 0 || b0 > 255) return {errors::Overflow, {}};
    out.Bytes.push_back(static_cast<uint8_t>(b0));
    if (rest == 3) {
      int b1 = (q1 & 15) * 16 + (index(text[whole + 2]) & 60) / 4;
      if (b1 < 0 || b1 > 255) return {errors::Overflow, {}};
      out.Bytes.push_back(static_cast<uint8_t>(b1));
    }
  }
  return out;
}

// The progress values EncodeJD receives for a text of `digits` characters,
// checking every character; `handler` returns what it leaves in Percentage.
template <class Handler>
std::vector<int64_t> ProgressEvents(size_t digits, Handler handler) {
  std::vector<int64_t> events;
  int64_t reported = 0;
  const uint64_t last = digits - 1;
  for (uint64_t i = 0; i <= last; ++i) {
    // i / U rounded to a tenth, halves to even, in exact integers.
    uint64_t tenths = 10 * i / last, twiceRest = 2 * (10 * i % last);
    if (twiceRest > last || (twiceRest == last && tenths % 2 == 1)) ++tenths;
    int64_t p = static_cast<int64_t>(tenths) * 1000;
    if (p != reported) {
      events.push_back(p);
      reported = handler(p);
    }
  }
  return events;
}

}  // namespace morvel::reference
