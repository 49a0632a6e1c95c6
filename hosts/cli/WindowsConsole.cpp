#include "hosts/cli/WindowsConsole.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>
// shellapi.h needs windows.h before it.
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/services.h"
#include "platform/win32.h"

// The messages of orxlib.dll, which carries its own platform layer, reach
// this program's message sink (the bridge's, for a page) as the program's
// own do.
extern "C" __declspec(dllexport) void __cdecl MorvelHostMessage(const char* caption, const char* text) {
  try {
    morvel::platform::Current().Messages->Show(caption != nullptr ? caption : "", text != nullptr ? text : "");
  } catch (...) {
    // Nothing may unwind into the DLL; the message is lost, the call goes on.
  }
}
static_assert(std::is_same_v<decltype(&MorvelHostMessage), morvel::platform::win::HostMessageFunction>);

namespace morvel::cli {

char** PrepareWindowsConsole(int& argc) {
  _setmode(_fileno(stdin), _O_BINARY);
  DWORD mode = 0;
  if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) SetConsoleOutputCP(CP_UTF8);

  static std::vector<std::string> texts;
  static std::vector<char*> pointers;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return __argv;
  for (int i = 0; i < count; ++i) {
    int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string text(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, text.data(), size, nullptr, nullptr);
    texts.push_back(std::move(text));
  }
  LocalFree(wide);
  for (auto& t : texts) pointers.push_back(t.data());
  pointers.push_back(nullptr);
  argc = count;
  return pointers.data();
}

}  // namespace morvel::cli
