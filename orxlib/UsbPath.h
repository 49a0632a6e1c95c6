// The vendor test of the Windows library, kept as written: characters 8 to
// 15 of a device interface path (after "\\?\usb#") must be exactly
// "vid_1203", lower case.
#pragma once

#include <string_view>

namespace morvel::orx {

inline bool IsOrxInterface(std::string_view interfacePath) {
  return interfacePath.size() >= 16 && interfacePath.substr(8, 8) == "vid_1203";
}

}  // namespace morvel::orx
