// The one connection of liborxlib.so and what every export shares: writing
// through the connection, refusing input beyond a bound, and keeping
// failures inside the C boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "morvel/types.h"

namespace morvel::orx {

// Limits kept from the fixed buffers of the Windows library.
constexpr size_t MaxNameLength = 67;
constexpr size_t MaxCommandLength = 655351;
constexpr size_t MaxUsbTextLength = 4092;
constexpr size_t MaxInterfacePathLength = 127;

constexpr const char* ErrorCaption = "Error Message";

bool IsOpen();
// Writes the bytes through the connection. False (recorded in the log) when
// no transport is held or not every byte was taken.
bool RawWrite(const void* data, size_t size);
inline bool RawWrite(std::string_view bytes) { return RawWrite(bytes.data(), bytes.size()); }
// The command and CR LF, as sendcommand writes it; the bound is checked.
int32_t SendLine(std::string_view command);

// Shows `text` through the message sink, caption "Error Message".
void Refuse(std::string_view text);
void Show(std::string_view caption, std::string_view text);
void Record(std::string_view text);

// A string argument: null reads as empty (with a log record, since a C
// caller passing null has made a mistake the printer should not see).
std::string_view Arg(const char* text, const char* what);

// Runs an export body; anything thrown is recorded and becomes `failed`,
// since nothing may unwind through a C caller.
template <class F>
int32_t Guarded(const char* name, int32_t failed, F&& body) noexcept {
  try {
    return body();
  } catch (const AutomationError& e) {
    try {
      Record(std::string(name) + ": " + e.Description());
    } catch (...) {
    }
  } catch (const std::exception& e) {
    try {
      Record(std::string(name) + ": " + e.what());
    } catch (...) {
    }
  } catch (...) {
    try {
      Record(std::string(name) + ": unexpected failure");
    } catch (...) {
    }
  }
  return failed;
}

}  // namespace morvel::orx
