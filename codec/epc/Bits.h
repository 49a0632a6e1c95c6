// Bit strings, most significant bit first, in a fixed buffer that holds the
// most bits an EPC bank's protocol-control length can count (31 words, 496
// bits: EPC Tag Data Standard 14.6, the "+" schemes' coding tables), written
// and read a field at a time; and the Tag made from them. Private to
// codec/epc/.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "codec/epc/Epc.h"

namespace morvel::epc::detail {

inline constexpr int MaxBits = 496;
using BitBuffer = std::array<uint8_t, 64>;

class BitWriter {
 public:
  // Bits past the buffer are counted, not stored: Position() tells the
  // length, and a caller refuses one over MaxBits before making its Tag.
  void Put(uint64_t value, int bits) {
    while (bits > 0) {
      const int room = 8 - (pos_ & 7);
      const int take = bits < room ? bits : room;
      const auto chunk = static_cast<unsigned>((value >> (bits - take)) & ((1u << take) - 1));
      if (pos_ < static_cast<int>(bytes_.size()) * 8)
        bytes_[static_cast<size_t>(pos_ >> 3)] |= static_cast<uint8_t>(chunk << (room - take));
      pos_ += take;
      bits -= take;
    }
  }
  void Skip(int bits) { pos_ += bits; }
  int Position() const { return pos_; }
  const BitBuffer& Bytes() const { return bytes_; }

 private:
  BitBuffer bytes_{};
  int pos_ = 0;
};

class BitReader {
 public:
  BitReader(const BitBuffer& bytes, int size) : bytes_(bytes), size_(size) {}
  // Bits past the end read as zeros; callers that may run past it ask Left() first.
  uint64_t Get(int bits) {
    uint64_t value = 0;
    while (bits > 0) {
      const int room = 8 - (pos_ & 7);
      const int take = bits < room ? bits : room;
      const unsigned byte = pos_ < size_ ? bytes_[static_cast<size_t>(pos_ >> 3)] : 0;
      value = (value << take) | ((byte >> (room - take)) & ((1u << take) - 1));
      pos_ += take;
      bits -= take;
    }
    return value;
  }
  // Whether the next `bits` bits are all zero; reads past them.
  bool Zeros(int bits) {
    bool zero = true;
    for (; bits > 0; bits -= 32) zero = Get(bits < 32 ? bits : 32) == 0 && zero;
    return zero;
  }
  int Size() const { return size_; }
  int Position() const { return pos_; }
  int Left() const { return size_ - pos_; }

 private:
  const BitBuffer& bytes_;
  int size_;
  int pos_ = 0;
};

// The Tag of `bits` bits from the buffer, in upper-case hexadecimal to the
// end of the last 16-bit word (its bits past `bits` are zero).
inline Tag MakeTag(std::string_view scheme, int bits, const BitBuffer& bytes) {
  static constexpr char Digits[] = "0123456789ABCDEF";
  Tag tag;
  tag.Scheme = scheme;
  tag.Bits = bits;
  tag.Size = static_cast<uint8_t>((bits + 15) / 16 * 4);
  for (size_t k = 0; k < tag.Size; ++k) {
    const uint8_t byte = bytes[k / 2];
    tag.Digits[k] = Digits[k % 2 == 0 ? byte >> 4 : byte & 15];
  }
  return tag;
}

}  // namespace morvel::epc::detail
