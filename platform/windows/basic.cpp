// Small Windows adapters: screen resolution, temporary folder, decimal
// separator, message boxes and the failure log.
#include <cstdio>
#include <ctime>
#include <mutex>

#include "platform/windows/windows_adapters.h"

namespace morvel::platform {
namespace {

class ScreenDc : public Screen {
 public:
  int PixelsPerInch() override {
    HDC dc = GetDC(nullptr);
    if (dc == nullptr) return 96;
    int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    return dpi > 0 ? dpi : 96;
  }
};

class TempPath : public TempFolder {
 public:
  std::string Path() override {
    char path[MAX_PATH + 1];
    DWORD size = GetTempPathA(sizeof path, path);
    if (size == 0 || size > MAX_PATH) return ".\\";
    std::string out = ToUtf8(win::FromAnsi(std::string_view(path, size)));
    if (out.back() != '\\' && out.back() != '/') out.push_back('\\');
    return out;
  }
};

class UserNumberFormat : public NumberFormat {
 public:
  char16_t DecimalSeparator() override {
    wchar_t text[8];
    int size = GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, text, 8);
    return size == 2 ? static_cast<char16_t>(text[0]) : u'.';
  }
};

// Appends a line to a file; false (and the line to the debugger's output)
// when the file cannot take it.
bool AppendLine(const std::string& path, const std::string& line) {
  std::wstring wide = win::Wide(FromUtf8(path));
  HANDLE file = CreateFileW(wide.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    OutputDebugStringA(line.c_str());
    return false;
  }
  DWORD written = 0;
  bool ok = WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) && written == line.size();
  CloseHandle(file);
  return ok;
}

// The program's own sink, when it exports one and this copy of the platform
// layer lives in a DLL beside it (orxlib.dll): each module carries its own
// copy, and without this a DLL's message would bypass where the program
// sends its messages (the bridge sends them to the page).
win::HostMessageFunction ProgramSink() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&ProgramSink), &self) ||
      self == GetModuleHandleW(nullptr))
    return nullptr;
  return reinterpret_cast<win::HostMessageFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(nullptr), win::HostMessageExport)));
}

// Whether a message box would reach a person. A service, a scheduled task
// run without its user logged on, anything on a window station that is not
// the visible one, has nobody to press OK: its box would wait for ever.
bool HasInteractiveDesktop() {
  HWINSTA station = GetProcessWindowStation();
  USEROBJECTFLAGS flags{};
  if (station == nullptr || !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr)) return false;
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

class MessageBoxSink : public MessageSink {
 public:
  void Show(std::string_view caption, std::string_view text) override {
    if (win::HostMessageFunction program = ProgramSink()) {
      program(std::string(caption).c_str(), std::string(text).c_str());
      return;
    }
    std::string sink = win::Environment("MORVEL_MESSAGES");
    if (!sink.empty()) {
      AppendLine(sink, "[" + std::string(caption) + "] " + std::string(text) + "\n");
      return;
    }
    if (!HasInteractiveDesktop()) {
      Logger().Record("message not shown, no desktop to show it on: [" + std::string(caption) + "] " +
                      std::string(text));
      return;
    }
    std::string ansiText = win::Ansi(FromUtf8(text)), ansiCaption = win::Ansi(FromUtf8(caption));
    MessageBoxA(nullptr, ansiText.c_str(), ansiCaption.c_str(), MB_OK | MB_TASKMODAL);
  }
};

// The log file when MORVEL_LOG names none: the user's local application
// data (a service's too), kept to about a megabyte and its predecessor.
std::string DefaultLogFile() {
  std::string base = win::Environment("LOCALAPPDATA");
  if (base.empty()) base = win::Environment("TEMP");
  if (base.empty()) return std::string();
  std::string folder = base + "\\Morvel";
  CreateDirectoryW(win::Wide(FromUtf8(folder)).c_str(), nullptr);
  return folder + "\\morvel.log";
}
constexpr LONGLONG LogFileLimit = 1 << 20;

void RotateWhenFull(const std::string& path) {
  std::wstring wide = win::Wide(FromUtf8(path));
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) return;
  LARGE_INTEGER size;
  size.LowPart = data.nFileSizeLow;
  size.HighPart = static_cast<LONG>(data.nFileSizeHigh);
  if (size.QuadPart < LogFileLimit) return;
  MoveFileExW(wide.c_str(), (wide + L".1").c_str(), MOVEFILE_REPLACE_EXISTING);
}

// Records go to the MORVEL_LOG file, else to the default file, and to the
// debugger's output (OutputDebugString) as well.
class DebugLog : public Log {
 public:
  void Record(std::string_view text) override {
    std::lock_guard<std::mutex> lock(lock_);
    SYSTEMTIME now;
    GetSystemTime(&now);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02uT%02u:%02u:%02uZ", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    std::string line =
        std::string(stamp) + " morvel[" + std::to_string(GetCurrentProcessId()) + "]: " + std::string(text) + "\n";
    OutputDebugStringA(line.c_str());
    std::string path = win::Environment("MORVEL_LOG");
    if (path.empty()) {
      path = DefaultLogFile();
      if (!path.empty()) RotateWhenFull(path);
    }
    last_ = !path.empty() && AppendLine(path, line) ? path : DebuggerOutput;
  }
  // The log is a file here, which holds what went well too.
  void Note(std::string_view text) override { Record(text); }
  std::string Place() override {
    std::lock_guard<std::mutex> lock(lock_);
    if (!last_.empty()) return last_;
    std::string path = win::Environment("MORVEL_LOG");
    return path.empty() ? DefaultLogFile() : path;
  }

 private:
  static constexpr const char* DebuggerOutput = "the debugger's output (OutputDebugString)";
  std::mutex lock_;
  std::string last_;  // where the last record went
};

}  // namespace

std::shared_ptr<Screen> MakeWindowsScreen() { return std::make_shared<ScreenDc>(); }
std::shared_ptr<TempFolder> MakeWindowsTempFolder() { return std::make_shared<TempPath>(); }
std::shared_ptr<NumberFormat> MakeWindowsNumberFormat() { return std::make_shared<UserNumberFormat>(); }
std::shared_ptr<MessageSink> MakeWindowsMessageSink() { return std::make_shared<MessageBoxSink>(); }
std::shared_ptr<Log> MakeWindowsLog() { return std::make_shared<DebugLog>(); }

}  // namespace morvel::platform
