// morvel: the command-line host. Lists the installed printers and runs call
// scripts against one PrintBarCode.
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "hosts/cli/Script.h"
#include "morvel/morvel.h"
#include "platform/services.h"
#include "preview/Preview.h"

namespace {

const char* const Usage =
    "usage: morvel printers          list the installed printers (name, dpi, uri)\n"
    "       morvel run [FILE|-]      run a call script (standard input when FILE is - or missing)\n"
    "       morvel version           print the control's version\n"
    "       morvel preview JOB [-o OUT] [--language zpl|sbpl|orx] [--dpi N]\n"
    "                                PNG pictures of a ZPL, SBPL or Orx job, one a label\n";

int ListPrinters() {
  try {
    for (const auto& p : morvel::platform::Current().Printers->List())
      std::cout << morvel::ToUtf8(p.Name) << '\t' << p.Dpi << '\t' << p.Uri << '\n';
    return 0;
  } catch (const morvel::AutomationError& e) {
    std::cerr << "morvel: cannot list printers: error " << e.Number() << ": " << e.Description() << "\n";
    return 1;
  }
}

int Run(const std::string& file) {
  std::string text, baseFolder;
  std::string shownName = file.empty() || file == "-" ? "<stdin>" : file;
  if (file.empty() || file == "-") {
    text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  } else {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
      std::cerr << "morvel: cannot read " << file << "\n";
      return 2;
    }
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    size_t slash = file.rfind('/');
    baseFolder = slash == std::string::npos ? "." : file.substr(0, slash == 0 ? 1 : slash);
  }
  morvel::cli::ParsedScript script = morvel::cli::ParseScript(text);
  if (!script.Errors.empty()) {
    for (const auto& e : script.Errors) std::cerr << shownName << ":" << e.Line << ": " << e.Message << "\n";
    return 2;
  }
  return morvel::cli::RunScript(script.Statements, baseFolder, std::cout) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(true);
  std::string command = argc > 1 ? argv[1] : "";
  if (command == "printers" && argc == 2) return ListPrinters();
  if (command == "run" && argc <= 3) return Run(argc == 3 ? argv[2] : "");
  if (command == "preview") return morvel::preview::RunCommand({argv + 2, argv + argc}, std::cout, std::cerr);
  if (command == "version" && argc == 2) {
    morvel::PrintBarCode control;
    std::cout << morvel::ToUtf8(control.GetVer()) << "\n";
    return 0;
  }
  if (command == "--help" || command == "-h" || command == "help") {
    std::cout << Usage;
    return 0;
  }
  std::cerr << Usage;
  return 2;
}
