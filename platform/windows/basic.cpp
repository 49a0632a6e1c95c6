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

void AppendLine(const std::string& path, const std::string& line) {
  std::wstring wide = win::Wide(FromUtf8(path));
  HANDLE file = CreateFileW(wide.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    OutputDebugStringA(line.c_str());
    return;
  }
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
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
    std::string ansiText = win::Ansi(FromUtf8(text)), ansiCaption = win::Ansi(FromUtf8(caption));
    MessageBoxA(nullptr, ansiText.c_str(), ansiCaption.c_str(), MB_OK | MB_TASKMODAL);
  }
};

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
    std::string path = win::Environment("MORVEL_LOG");
    if (!path.empty()) {
      AppendLine(path, line);
      return;
    }
    OutputDebugStringA(line.c_str());
  }

 private:
  std::mutex lock_;
};

}  // namespace

std::shared_ptr<Screen> MakeWindowsScreen() { return std::make_shared<ScreenDc>(); }
std::shared_ptr<TempFolder> MakeWindowsTempFolder() { return std::make_shared<TempPath>(); }
std::shared_ptr<NumberFormat> MakeWindowsNumberFormat() { return std::make_shared<UserNumberFormat>(); }
std::shared_ptr<MessageSink> MakeWindowsMessageSink() { return std::make_shared<MessageBoxSink>(); }
std::shared_ptr<Log> MakeWindowsLog() { return std::make_shared<DebugLog>(); }

}  // namespace morvel::platform
