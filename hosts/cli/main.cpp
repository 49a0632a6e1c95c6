// morvel: the command-line host. The shell (Shell.h) finds the command the
// line names and runs it.
#include <iostream>
#include <string>
#include <vector>

#include "hosts/cli/Shell.h"
#ifdef _WIN32
#include "hosts/cli/WindowsConsole.h"
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
  argv = morvel::cli::PrepareWindowsConsole(argc);
#endif
  std::ios::sync_with_stdio(true);
  return morvel::cli::RunShell({argv + 1, argv + argc}, std::cin, std::cout, std::cerr);
}
