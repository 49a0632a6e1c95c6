// The installed printers: EnumPrinters level 2, local printers and
// connections in the spooler's order, each with the resolution of its
// DEVMODE (the print quality, which the unit conversion reads as dots per
// inch; the vertical resolution where the quality is a level such as draft).
#include <vector>

#include "platform/windows/windows_adapters.h"

namespace morvel::platform {
namespace {

constexpr int FallbackDpi = 203;

int ResolutionOf(const DEVMODEW* mode, const String& name) {
  if (mode != nullptr) {
    if ((mode->dmFields & DM_PRINTQUALITY) != 0 && mode->dmPrintQuality > 0) return mode->dmPrintQuality;
    if ((mode->dmFields & DM_YRESOLUTION) != 0 && mode->dmYResolution > 0) return mode->dmYResolution;
  }
  Logger().Record("printer '" + ToUtf8(name) + "' states no resolution; taken as " + std::to_string(FallbackDpi) +
                  " dpi");
  return FallbackDpi;
}

class SpoolerPrinters : public PrinterList {
 public:
  std::vector<InstalledPrinter> List() override {
    const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    DWORD needed = 0, count = 0;
    std::vector<BYTE> buffer;
    // The list can grow between the two calls; ask again while it does.
    for (int attempt = 0; attempt < 4; ++attempt) {
      if (EnumPrintersW(flags, nullptr, 2, buffer.empty() ? nullptr : buffer.data(), static_cast<DWORD>(buffer.size()),
                        &needed, &count))
        break;
      DWORD error = GetLastError();
      if (error != ERROR_INSUFFICIENT_BUFFER) {
        throw AutomationError(68 /* device unavailable */,
                              "The installed printers cannot be listed: " + win::ErrorText(error));
      }
      buffer.assign(needed, 0);
      count = 0;
    }
    std::vector<InstalledPrinter> printers;
    auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
      InstalledPrinter p;
      p.Name = win::FromWide(info[i].pPrinterName);
      p.Dpi = ResolutionOf(info[i].pDevMode, p.Name);
      p.Uri = ToUtf8(win::FromWide(info[i].pPortName));
      if (info[i].pDriverName != nullptr) p.Driver = ToUtf8(win::FromWide(info[i].pDriverName));
      printers.push_back(std::move(p));
    }
    return printers;
  }
};

}  // namespace

std::shared_ptr<PrinterList> MakeWindowsPrinterList() { return std::make_shared<SpoolerPrinters>(); }

}  // namespace morvel::platform
