// Shared value types of the Morvel API: automation-style strings, numbers,
// byte arrays and the error every public member raises.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

namespace morvel {

// Automation strings are UTF-16; lengths are UTF-16 code units.
using String = std::u16string;
using Single = float;
using Double = double;
using Integer = int16_t;
using Long = int32_t;
using Boolean = bool;

// Automation currency: a 64-bit integer holding the value times 10,000.
struct Currency {
  int64_t Scaled = 0;

  static constexpr int64_t Scale = 10000;
  static Currency FromScaled(int64_t scaled) { return Currency{scaled}; }
  double ToDouble() const { return static_cast<double>(Scaled) / Scale; }
  friend bool operator==(const Currency&, const Currency&) = default;
};

// The error every public member raises. The number is the automation
// run-time error number; the description is its standard text.
class AutomationError : public std::exception {
 public:
  explicit AutomationError(int number);
  AutomationError(int number, std::string description);

  int Number() const noexcept { return number_; }
  // Standard text of the error, UTF-8.
  const std::string& Description() const noexcept { return description_; }
  uint32_t HResult() const noexcept { return 0x800A0000u + static_cast<uint32_t>(number_); }
  const char* what() const noexcept override { return description_.c_str(); }

  // The standard description of an automation run-time error number.
  static std::string StandardDescription(int number);

 private:
  int number_;
  std::string description_;
};

// Automation error numbers that occur in this system.
namespace errors {
constexpr int InvalidProcedureCall = 5;
constexpr int Overflow = 6;
constexpr int OutOfMemory = 7;
constexpr int SubscriptOutOfRange = 9;
constexpr int DivisionByZero = 11;
constexpr int TypeMismatch = 13;
constexpr int BadFileNameOrNumber = 52;
constexpr int FileNotFound = 53;
constexpr int BadFileMode = 54;
constexpr int DeviceIoError = 57;
constexpr int DiskFull = 61;
constexpr int PermissionDenied = 70;
constexpr int PathFileAccessError = 75;
constexpr int PathNotFound = 76;
constexpr int ObjectNotSet = 91;
constexpr int InvalidUseOfNull = 94;
constexpr int ObjectRequired = 424;
constexpr int NoSuchMember = 438;
constexpr int ActionNotSupported = 445;
constexpr int ArgumentNotOptional = 449;
constexpr int WrongArgumentCount = 450;
constexpr int DuplicateKey = 457;
constexpr int InvalidPicture = 481;
}  // namespace errors

// A one-dimensional byte array starting at index 0 that tells an
// unallocated array (no bounds) from an empty one.
class ByteArray {
 public:
  ByteArray() = default;  // unallocated
  explicit ByteArray(std::vector<uint8_t> bytes) : allocated_(true), bytes_(std::move(bytes)) {}
  ByteArray(const uint8_t* data, size_t size) : allocated_(true), bytes_(data, data + size) {}

  bool IsAllocated() const noexcept { return allocated_; }
  // Bounds raise error 9 when the array is unallocated.
  long LBound() const;
  long UBound() const;
  size_t Size() const noexcept { return bytes_.size(); }
  const uint8_t* Data() const noexcept { return bytes_.data(); }
  uint8_t* Data() noexcept { return bytes_.data(); }
  const std::vector<uint8_t>& Bytes() const noexcept { return bytes_; }
  std::vector<uint8_t>& Bytes() noexcept { return bytes_; }

  // Sizes the array to hold `size` bytes (indices 0..size-1), allocating it.
  void Resize(size_t size) {
    allocated_ = true;
    bytes_.resize(size);
  }
  void Clear() noexcept {
    allocated_ = false;
    bytes_.clear();
  }

  uint8_t& operator[](size_t i) { return bytes_[i]; }
  uint8_t operator[](size_t i) const { return bytes_[i]; }
  auto begin() const noexcept { return bytes_.begin(); }
  auto end() const noexcept { return bytes_.end(); }
  auto begin() noexcept { return bytes_.begin(); }
  auto end() noexcept { return bytes_.end(); }

  friend bool operator==(const ByteArray&, const ByteArray&) = default;

 private:
  bool allocated_ = false;
  std::vector<uint8_t> bytes_;
};

// UTF-8 <-> UTF-16 at the edges of hosts that speak UTF-8. Ill-formed input
// becomes U+FFFD, as the system conversions do.
String FromUtf8(std::string_view utf8);
// Appends one code point (at most U+10FFFF) as one or two UTF-16 code units.
void AppendCodePoint(String& text, char32_t codePoint);
std::string ToUtf8(std::u16string_view text);

}  // namespace morvel
