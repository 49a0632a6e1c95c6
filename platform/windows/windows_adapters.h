// The Windows adapters of the platform ports: the Windows services
// themselves, as the Windows design names them.
#pragma once

#include <unknwn.h>
#include <windows.h>
#include <winspool.h>

#include <memory>
#include <string>
#include <string_view>

#include "platform/services.h"
#include "platform/spooler.h"
#include "platform/win32.h"

namespace morvel::platform {

// The Windows adapters, as SystemServices gives them on Windows.
Services WindowsServices();

std::shared_ptr<PrinterList> MakeWindowsPrinterList();    // EnumPrinters, each printer's DEVMODE
std::shared_ptr<Screen> MakeWindowsScreen();              // GetDeviceCaps(LOGPIXELSY) of the screen
std::shared_ptr<TextMeasure> MakeGdiTextMeasure();        // GetTextExtentPoint32W on the screen
std::shared_ptr<CodePage> MakeWindowsCodePage();          // CP_ACP
std::shared_ptr<NumberFormat> MakeWindowsNumberFormat();  // LOCALE_SDECIMAL of the user
std::shared_ptr<TempFolder> MakeWindowsTempFolder();      // GetTempPathA
// MessageBoxA, modal with no owner; with MORVEL_MESSAGES set to a file, one
// line "[caption] text" a message is appended there instead and no window
// waits (tests, machines without a desktop). In a process with no visible
// desktop (a service, a task run without its user) the message goes to the
// log instead, as no one could close the box. In a DLL, a message goes to the
// program's own sink instead when the program exports one (HostMessageExport).
std::shared_ptr<MessageSink> MakeWindowsMessageSink();
// The MORVEL_LOG file, else %LOCALAPPDATA%\Morvel\morvel.log (about a
// megabyte, then morvel.log.1), and OutputDebugString.
std::shared_ptr<Log> MakeWindowsLog();
std::shared_ptr<Pictures> MakeWindowsPictures();  // OleLoadPicture, IPicture
std::shared_ptr<Spooler> MakeWindowsSpooler();    // winspool

namespace win {

// A kernel handle, closed when it goes. Either of the two values Windows
// calls return for none (INVALID_HANDLE_VALUE, null) counts as not open.
class Handle {
 public:
  explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
  ~Handle() { Reset(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      Reset();
      h_ = other.Release();
    }
    return *this;
  }
  HANDLE Get() const { return h_; }
  bool IsOpen() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  // For a call that returns its handle through a pointer.
  HANDLE* Out() {
    Reset();
    return &h_;
  }
  HANDLE Release() {
    HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    return h;
  }
  void Reset() {
    if (IsOpen()) CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
  }
  // Closes now: false when closing failed.
  bool Close() {
    bool ok = IsOpen() && CloseHandle(h_) != 0;
    h_ = INVALID_HANDLE_VALUE;
    return ok;
  }

 private:
  HANDLE h_;
};

// The automation error number for a failed file call's GetLastError() on
// `path` (UTF-8).
int FileErrorNumber(DWORD error, const std::string& path);

// Text in the system ANSI code page; a character it lacks becomes '?'.
std::string Ansi(std::u16string_view text);
String FromAnsi(std::string_view bytes);
// A variable of the process environment, read fresh each time (tests set
// them while the process runs). Empty when unset.
std::string Environment(const char* name);

}  // namespace win
}  // namespace morvel::platform
