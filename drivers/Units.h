// Module1, the utility module of units and text metrics.
// Units, resolution and small shared routines: host units to printer dots
// and millimetres, the keyword test behind RFIDType, the temporary folder.
#pragma once

#include <optional>
#include <vector>

#include "morvel/types.h"
#include "platform/services.h"

namespace morvel {

class Module1 {
 public:
  static constexpr Integer UnitPoints = 2;
  static constexpr Integer UnitPixels = 3;
  static constexpr Integer UnitMillimetres = 6;

  // Host value to printer dots at the CurrentPrinter's resolution, nearest
  // integer with halves to even; 0 without a CurrentPrinter or for another
  // unit; error 6 beyond the 16-bit range.
  static Integer ConvertToDots(Single& value, Integer& unit);
  // Host value to millimetres (pixels at the screen's resolution, points).
  static Double ConvertToMillimetres(Single& value, Integer& unit);
  // 1 when one of the keywords occurs in the text (case-sensitive), else 0.
  static Integer ContainsAnyKeyword(std::vector<String>& keywords, String& text);

  // Dots of a value in a unit, written in decimal as printer commands take
  // them (ConvertToDots, so 0 without a CurrentPrinter and error 6 on overflow).
  static String DotsText(Single value, Integer unit);
  static String PixelDotsText(Single value) { return DotsText(value, UnitPixels); }
  static String PointDotsText(Single value) { return DotsText(value, UnitPoints); }
  static String MillimetreDotsText(Single value) { return DotsText(value, UnitMillimetres); }
  // The temporary folder with its trailing '/', or empty.
  static String GetTempFolder();
};

// The printer chosen by the last successful SetPrint on this thread.
std::optional<platform::InstalledPrinter>& CurrentPrinter();

}  // namespace morvel
