// Pieces the languages' status answers share: STX..ETX frames, comma
// fields, fixed-width digits. Private to lang/.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace morvel::lang::answer_text {

constexpr char Stx = 0x02, Etx = 0x03, Enq = 0x05, Ack = 0x06, Nak = 0x15, Can = 0x18, Esc = 0x1B;

// End of the STX..ETX frame starting at or after `from`, CR LF included
// when they follow (`wantLineEnd`); 0 when incomplete.
size_t FrameEnd(std::string_view b, size_t from, bool wantLineEnd);
// The bodies of the whole STX..ETX frames.
std::vector<std::string_view> Frames(std::string_view b);
std::vector<std::string_view> Fields(std::string_view text);  // split at commas
bool Digits(std::string_view text, size_t length);            // exactly `length` digits
bool Flag(std::string_view text, bool& on);                   // "0" or "1"
// `value` in `width` digits, clamped to what they hold.
std::string ZeroPadded(long value, int width);

}  // namespace morvel::lang::answer_text
