// The Windows adapters of the platform ports, run under Wine against the
// real services: the spooler's printer list and DEVMODE, the ANSI code page,
// case folding, files and their error numbers, temporary files, the screen,
// text measurement, DLL loading, SetupAPI, and where messages and records go
// (the log, and a process with no desktop to show a message box on).
//
//   platform_wine_test PRINTER
//
// PRINTER is a queue the spooler lists. Prints one line per check and
// "N passed, M failed"; exits 1 on a failure.
#include <windows.h>
#include <winspool.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/devices.h"
#include "platform/files.h"
#include "platform/services.h"
#include "platform/shared_library.h"
#include "platform/spooler.h"
#include "platform/temp_file.h"
#include "platform/text_case.h"
#include "platform/windows/windows_adapters.h"
#include "tests/windows/wine_checks.h"

using namespace morvel;
namespace platform = morvel::platform;

namespace {

using wine_checks::Check;
using wine_checks::ErrorOf;
using wine_checks::Wide;

const platform::InstalledPrinter* Find(const std::vector<platform::InstalledPrinter>& list, const String& name) {
  for (const auto& p : list)
    if (p.Name == name) return &p;
  return nullptr;
}

// Stores a DEVMODE with `dpi` as the printer's print quality, as a user's
// printing preferences would.
bool StoreResolution(const std::wstring& name, short dpi) {
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<wchar_t*>(name.c_str()), &printer, &defaults)) return false;
  DWORD needed = 0;
  GetPrinterW(printer, 2, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed);
  bool ok = needed > 0 && GetPrinterW(printer, 2, buffer.data(), needed, &needed);
  auto* info = reinterpret_cast<PRINTER_INFO_2W*>(buffer.data());
  if (ok && info->pDevMode != nullptr) {
    info->pDevMode->dmFields |= DM_PRINTQUALITY | DM_YRESOLUTION;
    info->pDevMode->dmPrintQuality = dpi;
    info->pDevMode->dmYResolution = dpi;
    info->pSecurityDescriptor = nullptr;
    ok = SetPrinterW(printer, 2, buffer.data(), 0) != 0;
  } else {
    ok = false;
  }
  ClosePrinter(printer);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s PRINTER\n", argv[0]);
    return 2;
  }
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  const platform::Services& s = platform::Current();
  String printer = FromUtf8(argv[1]);
  std::wstring widePrinter(printer.begin(), printer.end());

  // Printers: EnumPrinters, and the resolution of each one's DEVMODE.
  auto listed = s.Printers->List();
  const platform::InstalledPrinter* listedPrinter = Find(listed, printer);
  Check(listedPrinter != nullptr, "EnumPrinters lists '" + std::string(argv[1]) + "' by its Windows name");
  // The harness gave the printer its resolution; the checks after these
  // print at it again.
  const short given = static_cast<short>(listedPrinter != nullptr ? listedPrinter->Dpi : 203);
  // Two resolutions unlike the given one and unlike each other, each read
  // back from the spooler's next listing.
  auto dpiListed = [&]() -> int {
    auto now = s.Printers->List();
    const platform::InstalledPrinter* entry = Find(now, printer);
    return entry != nullptr ? entry->Dpi : -1;
  };
  const short lower = given == 152 ? 153 : 152, higher = given == 305 ? 306 : 305;
  bool stored = StoreResolution(widePrinter, lower);
  Check(stored, "SetPrinter level 2 stores the printer's DEVMODE");
  int seen = dpiListed();
  Check(seen == lower, "the printer's resolution comes from its DEVMODE", std::to_string(seen) + " dpi");
  StoreResolution(widePrinter, higher);
  Check(dpiListed() == higher, "a changed DEVMODE is read again at the next listing");
  Check(StoreResolution(widePrinter, given) && dpiListed() == given, "the printer's own resolution is stored again");

  // Spooler: names compared as Windows compares them; handles it never gave
  // out are refused.
  auto before = platform::Incidents();
  Check(s.Spool->OpenPrinter(u"No Such Printer") == platform::Spooler::NullHandle,
        "OpenPrinterA of an unknown name gives no handle");
  Check((platform::Incidents() - before).UnknownPrinters == 1, "an unknown printer is counted");
  String upper = printer;
  for (auto& c : upper)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
  auto handle = s.Spool->OpenPrinter(upper);
  Check(handle != platform::Spooler::NullHandle, "OpenPrinterA takes the name in any case");
  Check(s.Spool->ClosePrinter(handle), "ClosePrinter of an open handle");
  size_t written = 7;
  const uint8_t byte = 'x';
  Check(!s.Spool->Write(handle, &byte, 1, written) && written == 0, "a closed handle is refused, nothing written");

  // The ANSI code page (Windows-1252 here: the harness runs Wine in the C.UTF-8 locale).
  Check(s.Ansi->Name() == "CP1252", "the code page is CP_ACP", s.Ansi->Name());
  before = platform::Incidents();
  Check(s.Ansi->FromUnicode(u"Gr\u00FC\u00DFe \u20AC") ==
            "Gr\xFC\xDF"
            "e \x80",
        "UTF-16 to Windows-1252");
  Check((platform::Incidents() - before).ReplacedCharacters == 0, "nothing replaced when every character fits");
  Check(s.Ansi->FromUnicode(u"\u65E5\u672C") == "??", "characters the code page lacks become '?'");
  Check((platform::Incidents() - before).ReplacedCharacters == 1, "a replaced text is counted");
  Check(s.Ansi->ToUnicode("Gr\xFC\xDF"
                          "e \x80") == u"Gr\u00FC\u00DFe \u20AC",
        "Windows-1252 to UTF-16");

  // Case folding as Windows folds case.
  Check(text::ToLower(u"\u00C4BC \u03A3\u0416 Z") == u"\u00E4bc \u03C3\u0436 z", "ToLower beyond ASCII");
  Check(text::EqualsIgnoreCase(u"Orx TE200 \u00C9", u"orx te200 \u00E9"), "names compare without regard to case");
  Check(!text::EqualsIgnoreCase(u"Orx TE200", u"Orx TE2000"), "different names differ");

  // Files, their error numbers, and names the ANSI code page cannot spell.
  std::string temp = s.Temp->Path();
  Check(!temp.empty() && temp.back() == '\\', "GetTempPathA ends in a backslash", temp);
  std::string folder = temp + "morvel-platform-test\\";
  CreateDirectoryW(Wide(folder).c_str(), nullptr);
  Check(ErrorOf([&] { platform::ReadWholeFile(folder + "missing.bin"); }) == errors::FileNotFound,
        "a missing file is error 53");
  Check(ErrorOf([&] { platform::ReadWholeFile(folder + "no-folder\\missing.bin"); }) == errors::PathNotFound,
        "a missing folder is error 76");
  Check(ErrorOf([&] { platform::FileLength(folder); }) == errors::PathFileAccessError, "a folder is error 75");
  Check(ErrorOf([&] { platform::FileSystemPath(std::u16string(u"a\0b", 3)); }) == errors::BadFileNameOrNumber,
        "a NUL in a path is error 52");
  std::string unicodeName = folder + "\xE6\x97\xA5\xE6\x9C\xAC.bin";  // two CJK characters, not in Windows-1252
  const uint8_t content[] = {'B', 'M', 0, '\r', '\n', 0xFF};
  int error = ErrorOf([&] { platform::WriteWholeFile(unicodeName, content, sizeof content, true); });
  std::vector<uint8_t> back;
  if (error == 0) error = ErrorOf([&] { back = platform::ReadWholeFile(unicodeName); });
  Check(error == 0 && back == std::vector<uint8_t>(content, content + sizeof content),
        "a file named outside the code page is written and read whole", "error " + std::to_string(error));
  Check(error == 0 && platform::FileLength(unicodeName) == sizeof content, "FileLength");
  platform::RemoveFile(unicodeName);
  Check(ErrorOf([&] { platform::FileLength(unicodeName); }) == errors::FileNotFound, "RemoveFile removes it");

  std::string first, second;
  error = ErrorOf([&] {
    platform::OwnTempFile one(folder, "ORX", ".BMP", content, sizeof content);
    platform::OwnTempFile two(folder, "ORX", ".BMP", content, sizeof content);
    first = one.Path();
    second = two.Path();
    Check(first != second && platform::ReadWholeFile(first).size() == sizeof content,
          "OwnTempFile gives each caller a new file", first + " " + second);
  });
  Check(error == 0, "OwnTempFile", "error " + std::to_string(error));
  Check(ErrorOf([&] { platform::FileLength(first); }) == errors::FileNotFound,
        "an OwnTempFile is removed when it goes");
  RemoveDirectoryW(Wide(folder).c_str());

  // The screen and text measured on it.
  Check(s.ScreenInfo->PixelsPerInch() == 96, "the screen has 96 pixels per inch",
        std::to_string(s.ScreenInfo->PixelsPerInch()));
  platform::FontSpec font{"Liberation Sans", 12, false};
  auto wide = s.Text->Measure(font, u"MMMM", 96), narrow = s.Text->Measure(font, u"iiii", 96);
  auto two = s.Text->Measure(font, u"MMMM\r\niiii", 96);
  Check(wide.Width > 2 * narrow.Width && wide.Height > 0, "text extents follow the glyphs",
        std::to_string(wide.Width) + " vs " + std::to_string(narrow.Width));
  Check(two.Width == wide.Width && two.Height == 2 * wide.Height, "two lines: the wider one's width, twice the height");
  Check(s.Numbers->DecimalSeparator() == u'.', "the user's decimal separator");

  // Companion DLLs and USB interfaces.
  Check(platform::LibraryFileName("orxlib") == "orxlib.dll", "companion libraries are NAME.dll");
  std::string why;
  void* orxlib = platform::LoadSharedLibrary(reinterpret_cast<const void*>(&Check), "orxlib.dll", why);
  Check(orxlib != nullptr && platform::FindEntryPoint(orxlib, "openport") != nullptr,
        "orxlib.dll loads from beside the module, openport found", why);
  Check(platform::LoadSharedLibrary(nullptr, "NoSuchLibrary.dll", why) == nullptr && !why.empty(),
        "a missing DLL says why", why);
  std::vector<platform::UsbPrinterInterface> usb;
  Check(platform::ListUsbPrinters(usb), "SetupAPI lists the USB device interfaces", std::to_string(usb.size()));

  // The log (MORVEL_LOG, as the harness sets it): what the summary of a run
  // names, holding the characters a code page lost; and a message in a
  // process with no visible desktop, which would otherwise wait for ever.
  std::string logFile = platform::win::Environment("MORVEL_LOG");
  auto logText = [&] {
    std::ifstream in(logFile, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  };
  s.Ansi->FromUnicode(u"Lot \u65E5 \u65E5\u672C");
  Check(platform::Logger().Place() == logFile, "the log's place is the MORVEL_LOG file", platform::Logger().Place());
  Check(logText().find("cannot hold were sent as '?': \xE6\x97\xA5\xE6\x9C\xAC;") != std::string::npos,
        "a replaced text logs the characters lost, each once");
  HWINSTA visible = GetProcessWindowStation();
  HWINSTA hidden = CreateWindowStationW(L"MorvelNoDesktop", 0, WINSTA_ALL_ACCESS, nullptr);
  bool moved = hidden != nullptr && SetProcessWindowStation(hidden);
  Check(moved, "the process moves to a window station that is not visible", std::to_string(GetLastError()));
  if (moved) {
    DWORD started = GetTickCount();
    platform::Current().Messages->Show("morvel", "no one is there to press OK");
    SetProcessWindowStation(visible);
    Check(GetTickCount() - started < 10000 &&
              logText().find("no desktop to show it on: [morvel] no one is there to press OK") != std::string::npos,
          "without a visible desktop a message goes to the log, and nothing waits");
  }
  if (hidden != nullptr) CloseWindowStation(hidden);

  return wine_checks::Summary();
}
