// morvel: the command-line host. Lists the installed printers and runs call
// scripts against one PrintBarCode.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "hosts/cli/Script.h"
#include "hosts/com/Idl.h"
#include "morvel/automation.h"
#include "morvel/morvel.h"
#include "platform/services.h"
#include "hosts/serve/Server.h"
#include "hosts/cli/StatusCommand.h"
#ifndef MORVEL_CLI_NO_EMULATE
#include "hosts/cli/Emulator.h"
#endif
#ifndef MORVEL_CLI_NO_PREVIEW
#include "preview/Preview.h"
#endif
#ifdef _WIN32
#include "hosts/cli/WindowsConsole.h"
#endif

namespace {

const char* const Usage =
    "usage: morvel printers          list the installed printers (name, dpi, uri)\n"
    "       morvel run [FILE|-]      run a call script (standard input when FILE is - or missing)\n"
    "       morvel members [CLASS]   list the members of PrintBarCode, PrintInfo, clsBase64 (--markdown: docs page, --idl: type library)\n"
    "       morvel version           print the control's version\n"
#ifndef MORVEL_CLI_NO_PREVIEW
    "       morvel preview JOB [-o OUT] [--language zpl|sbpl|orx] [--dpi N]\n"
    "                                PNG pictures of a ZPL, SBPL or Orx job, one a label\n"
#endif
    "       morvel serve [OPTIONS]   serve web pages on this computer (morvel serve --help)\n"
    "       morvel status [NAME...] [--json] [--timeout MS]\n"
    "                                the printers' real state: NAME, STATE, REASONS a line\n"
#ifndef MORVEL_CLI_NO_EMULATE
    "       morvel emulate [OPTIONS] a virtual label printer on this computer (morvel emulate --help)\n"
#endif
    "       morvel help [run]        this text; 'help run' tells the script syntax\n";

const char* const Settings =
    "\nscripts: one statement per line, a member of PrintBarCode and its arguments, e.g.\n"
    "  SetPrint \"ZDesigner GK420t\"   PrintFont 10 20 \"Lot 7\" 12 F1.TTF   DrawImageFromPicture @logo.bmp 0 0 0 0\n"
    "  (\"...\" strings with \\ escapes, @PATH pictures, # comments; 'morvel help run' tells more)\n"
    "\nprinters: the sections of printers.conf, then the CUPS queues. printers.conf is INI:\n"
    "  [ZDesigner GK420t]          the printer's name, exactly (the brand is read from it)\n"
    "  uri = socket://HOST:9100    or cups:QUEUE, or file:DIR (one NNNNNN.prn per job; DIR must exist)\n"
    "  dpi = 203\n"
    "settings (environment):\n"
    "  MORVEL_PRINTERS   the printers.conf (default ~/.config/morvel/printers.conf, /etc/morvel/printers.conf)\n"
    "  MORVEL_CUPS=0     leave CUPS out; CUPS_SERVER chooses the server\n"
    "  MORVEL_CODEPAGE   the code page of printer text (iconv name; default from the locale, else CP1252)\n"
    "  MORVEL_LOG        file for delivery failures (default standard error)\n"
    "  MORVEL_CONNECT_TIMEOUT_MS, MORVEL_WRITE_TIMEOUT_MS, MORVEL_SCREEN_DPI, LC_NUMERIC, TMPDIR\n"
    "members: 'morvel members' or docs/members.md; the README shows a whole label.\n";

const char* const RunHelp =
    "morvel run [FILE|-]: runs a call script against one PrintBarCode.\n\n"
    "One statement per line: a member name and its arguments separated by blanks, e.g.\n"
    "  SetPrint \"ZDesigner GK420t\"\n"
    "  PrintCode 10 50 12345678 128 1 50 1 3\n"
    "\"...\" is a string with the escapes \\\\ \\\" \\n \\r \\t \\xHH \\u{HEX}; a bare token is its text, converted to\n"
    "the parameter's type; @PATH is a picture file (relative to the script, at most 64 MiB). Lines starting\n"
    "with # are comments. Results print as 'Member: value', failures as 'Member: error N: description\n"
    "(line L: ...)'.\n\n"
    "Exit status: 0 all went well; 1 a call raised an error; 2 a line cannot be parsed (nothing runs);\n"
    "3 a label may not have reached its printer (a delivery failure, an unknown printer name, or\n"
    "characters the code page lacks printed as '?'), summed up in one line on standard error.\n";

int Members(const std::string& which) {
  if (which == "--markdown") {
    std::cout << morvel::automation::ReferenceMarkdown();
    return 0;
  }
  if (which == "--idl") {
    std::cout << morvel::com::TypeLibraryIdl();
    return 0;
  }
  const morvel::automation::ClassInfo* cls = nullptr;
  if (!which.empty() && (cls = morvel::automation::FindClass(which)) == nullptr) {
    std::cerr << "morvel: no class named " << which << " (PrintBarCode, PrintInfo, clsBase64)\n";
    return 2;
  }
  std::cout << morvel::automation::ReferenceText(cls);
  return 0;
}

// One line that tells the user a label may not have arrived: the members
// keep delivery failures silent by contract, the log said why.
int Summary(const morvel::platform::IncidentCounts& seen) {
  if (seen.Total() == 0) return 0;
  std::string parts;
  auto add = [&](uint64_t n, const char* one, const char* many) {
    if (n == 0) return;
    parts += (parts.empty() ? "" : ", ") + std::to_string(n) + " " + (n == 1 ? one : many);
  };
  add(seen.DeliveryFailures, "delivery failure", "delivery failures");
  add(seen.UnknownPrinters, "unknown printer name", "unknown printer names");
  add(seen.ReplacedCharacters, "text with characters printed as '?'", "texts with characters printed as '?'");
  std::cerr << "morvel: labels may not have reached their printer: " << parts << " (see "
            << morvel::platform::Logger().Place() << ")\n";
  return 3;
}

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
    std::ifstream in(std::filesystem::path(std::u8string(file.begin(), file.end())), std::ios::binary);
    if (!in) {
      std::cerr << "morvel: cannot read " << file << "\n";
      return 2;
    }
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    size_t slash = file.find_last_of(morvel::cli::PathSeparators);
    baseFolder = slash == std::string::npos ? "." : file.substr(0, slash == 0 ? 1 : slash);
  }
  morvel::cli::ParsedScript script = morvel::cli::ParseScript(text);
  if (!script.Errors.empty()) {
    for (const auto& e : script.Errors) std::cerr << shownName << ":" << e.Line << ": " << e.Message << "\n";
    return 2;
  }
  auto before = morvel::platform::Incidents();
  bool allWell = morvel::cli::RunScript(script.Statements, baseFolder, std::cout);
  std::cout.flush();
  if (int status = Summary(morvel::platform::Incidents() - before)) return status;
  return allWell ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  argv = morvel::cli::PrepareWindowsConsole(argc);
#endif
  std::ios::sync_with_stdio(true);
  std::string command = argc > 1 ? argv[1] : "";
  if (command == "printers" && argc == 2) return ListPrinters();
  if (command == "serve") return morvel::serve::Main(std::vector<std::string>(argv + 2, argv + argc));
  if (command == "status") return morvel::cli::StatusMain({argv + 2, argv + argc}, std::cout, std::cerr);
#ifndef MORVEL_CLI_NO_EMULATE
  if (command == "emulate") return morvel::emulate::Main({argv + 2, argv + argc});
#endif
  if (command == "run" && argc <= 3) return Run(argc == 3 ? argv[2] : "");
#ifndef MORVEL_CLI_NO_PREVIEW
  if (command == "preview") return morvel::preview::RunCommand({argv + 2, argv + argc}, std::cout, std::cerr);
#endif
  if (command == "version" && argc == 2) {
    morvel::PrintBarCode control;
    std::cout << morvel::ToUtf8(control.GetVer()) << "\n";
    return 0;
  }
  if (command == "members" && argc <= 3) return Members(argc == 3 ? argv[2] : "");
  if (command == "help" && argc == 3 && std::string(argv[2]) == "run") {
    std::cout << RunHelp;
    return 0;
  }
  if (command == "--help" || command == "-h" || command == "help") {
    std::cout << Usage << Settings;
    return 0;
  }
  if (command.empty())
    std::cerr << "morvel: which command?\n";
  else if (command == "printers" || command == "run" || command == "members" || command == "version")
    std::cerr << "morvel: too many arguments for '" << command << "'\n";
  else
    std::cerr << "morvel: unknown command '" << command << "'\n";
  std::cerr << Usage;
  return 2;
}
