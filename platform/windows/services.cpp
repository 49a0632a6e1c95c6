// The set of Windows adapters, and the helpers they share.
#include <cstdlib>

#include "platform/windows/windows_adapters.h"

namespace morvel::platform {

namespace win {

std::string Ansi(std::u16string_view text) {
  if (text.empty()) return std::string();
  std::wstring wide = Wide(text);
  int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, "?", nullptr);
  std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (size > 0)
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), out.data(), size, "?", nullptr);
  return out;
}

String FromAnsi(std::string_view bytes) {
  if (bytes.empty()) return String();
  int size = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0) MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), size);
  return FromWide(out.data(), out.size());
}

std::string ErrorText(DWORD error) {
  wchar_t* text = nullptr;
  DWORD size =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string out = "error " + std::to_string(error);
  if (size > 0 && text != nullptr) {
    String message = FromWide(text, size);
    while (!message.empty() && (message.back() == u'\n' || message.back() == u'\r' || message.back() == u' '))
      message.pop_back();
    out += " (" + ToUtf8(message) + ")";
  }
  if (text != nullptr) LocalFree(text);
  return out;
}

std::string Environment(const char* name) {
  // The wide environment: the C runtime's copy misses what the process
  // changes through SetEnvironmentVariable.
  std::wstring wideName(name, name + strlen(name));
  DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
  if (size == 0) return std::string();
  std::wstring value(size, L'\0');
  size = GetEnvironmentVariableW(wideName.c_str(), value.data(), size);
  value.resize(size);
  return ToUtf8(FromWide(value.data(), value.size()));
}

}  // namespace win

Services WindowsServices() {
  Services s;
  s.Printers = MakeWindowsPrinterList();
  s.ScreenInfo = MakeWindowsScreen();
  s.Text = MakeGdiTextMeasure();
  s.Ansi = MakeWindowsCodePage();
  s.Numbers = MakeWindowsNumberFormat();
  s.Temp = MakeWindowsTempFolder();
  s.Messages = MakeWindowsMessageSink();
  s.Logger = MakeWindowsLog();
  s.Images = MakeWindowsPictures();
  s.Spool = MakeWindowsSpooler();
  return s;
}

Services SystemServices() { return WindowsServices(); }

// The program's file name without folder and extension, as the title of
// its message boxes.
std::string ApplicationCaption() {
  wchar_t path[MAX_PATH];
  DWORD size = GetModuleFileNameW(nullptr, path, MAX_PATH);
  String name = win::FromWide(path, size);
  size_t slash = name.find_last_of(u"\\/");
  if (slash != String::npos) name.erase(0, slash + 1);
  size_t dot = name.find_last_of(u'.');
  if (dot != String::npos && dot > 0) name.erase(dot);
  return ToUtf8(name);
}

}  // namespace morvel::platform
