// Unit conversions to printer dots and millimetres, and the small routines
// the drivers share.
#include "drivers/Units.h"

#include <cmath>

#include "drivers/Brands.h"
#include "drivers/Numbers.h"

namespace morvel {

std::optional<platform::InstalledPrinter>& CurrentPrinter() {
  thread_local std::optional<platform::InstalledPrinter> current;
  return current;
}

Integer Module1::ConvertToDots(Single& value, Integer& unit) {
  const auto& printer = CurrentPrinter();
  if (!printer) return 0;
  const double d = numbers::ToInteger(printer->Dpi);
  const double v = value;
  double product;
  switch (unit) {
    case UnitPixels: {
      const double twipsPerPixel = 1440.0 / platform::Current().ScreenInfo->PixelsPerInch();
      product = twipsPerPixel / 1440 * v * d;
      break;
    }
    case UnitPoints: product = (1.0 / 72) * v * d; break;
    case UnitMillimetres: product = (56.69286 / 1440) * v * d; break;
    default: return 0;
  }
  return numbers::ToInteger(product);
}

Double Module1::ConvertToMillimetres(Single& value, Integer& unit) {
  double divisor;
  switch (unit) {
    case UnitPixels: divisor = platform::Current().ScreenInfo->PixelsPerInch(); break;
    case UnitPoints: divisor = 72; break;
    default: return 0;
  }
  return static_cast<double>(value) * 25.4 / divisor;
}

Integer Module1::ContainsAnyKeyword(std::vector<String>& keywords, String& text) {
  for (const String& keyword : keywords) {
    if (drivers::KeywordOccurs(keyword, text)) return 1;
  }
  return 0;
}

String Module1::DotsText(Single value, Integer unit) { return numbers::FormatInteger(ConvertToDots(value, unit)); }

String Module1::GetTempFolder() {
  std::string path = platform::Current().Temp->Path();
  if (path.size() < 2) return String();
  return FromUtf8(path);
}

}  // namespace morvel
