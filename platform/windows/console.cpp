// The console of a Windows program: the wide command line as UTF-8, binary
// standard input, UTF-8 console output.
#include "platform/console.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>
// shellapi.h needs windows.h before it.
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace morvel::platform {

char** PrepareConsole(int& argc, char** argv) {
  _setmode(_fileno(stdin), _O_BINARY);
  DWORD mode = 0;
  if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) SetConsoleOutputCP(CP_UTF8);

  static std::vector<std::string> texts;
  static std::vector<char*> pointers;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return argv;
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

}  // namespace morvel::platform
