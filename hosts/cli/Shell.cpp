// The shell: finds the command a line names, and says what the commands
// are. Help, usage and faults are worded here for every command alike.
#include "hosts/cli/Shell.h"

#include <ostream>

#include "hosts/cli/Options.h"

namespace morvel::cli {
namespace {

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

// Usage lines break between bracketed groups, never inside one.
constexpr size_t UsageWidth = 100;

std::vector<std::string_view> Groups(std::string_view usage) {
  std::vector<std::string_view> groups;
  int depth = 0;
  size_t start = 0;
  for (size_t k = 0; k <= usage.size(); ++k) {
    const char c = k < usage.size() ? usage[k] : ' ';
    depth += c == '[' ? 1 : c == ']' ? -1 : 0;
    if (c != ' ' || depth > 0) continue;
    if (k > start) groups.push_back(usage.substr(start, k - start));
    start = k + 1;
  }
  return groups;
}

// In the list of commands: the operands, and [OPTIONS] for a long list of them.
std::string Brief(const Command& c) {
  std::string whole = "morvel " + std::string(c.Name);
  if (!c.Usage.empty()) whole += " " + std::string(c.Usage);
  if (whole.size() <= 56) return whole;
  std::string brief = "morvel " + std::string(c.Name);
  for (std::string_view g : Groups(c.Usage))
    if (!g.starts_with("[-")) brief += " " + std::string(g);
  return brief + " [OPTIONS]";
}

std::string CommandList() {
  std::string text;
  for (const Command& c : AllCommands()) {
    if (!(c.In & ThisBuild)) continue;
    std::string line = (text.empty() ? "usage: " : "       ") + Brief(c);
    line += line.size() < 32 ? std::string(32 - line.size(), ' ') : "\n" + std::string(32, ' ');
    text += line + std::string(c.Summary) + "\n";
  }
  return text;
}

}  // namespace

const Command* FindCommand(std::string_view name) {
  for (const Command& c : AllCommands())
    if (c.Name == name && (c.In & ThisBuild)) return &c;
  return nullptr;
}

std::string UsageLines(const Command& command) {
  const std::string head = "usage: morvel " + std::string(command.Name);
  std::string text = head, line = head;
  for (std::string_view group : Groups(command.Usage)) {
    if (line.size() + 1 + group.size() > UsageWidth && line.size() > head.size()) {
      text += "\n" + std::string(head.size(), ' ');
      line = std::string(head.size(), ' ');
    }
    text += " " + std::string(group);
    line += " " + std::string(group);
  }
  return text + "\n";
}

std::string Overview() {
  return CommandList() + "'morvel help COMMAND' or 'morvel COMMAND --help' tells what a command takes.\n" + Settings;
}

int HelpMain(const Invocation& call) {
  std::vector<std::string> named;
  OptionParser options(call);
  options.Operands(named, 0, 1, "COMMAND");
  if (auto status = options.Parse()) return *status;
  if (named.empty()) {
    call.Out << Overview();
    return 0;
  }
  const Command* command = FindCommand(named[0]);
  if (command == nullptr) {
    call.Err << "morvel help: no command named '" << named[0] << "'\n" << CommandList();
    return UsageError;
  }
  call.Out << UsageLines(*command) << command->Help;
  return 0;
}

int RunShell(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << "morvel: which command?\n" << CommandList();
    return UsageError;
  }
  const std::string word = args[0] == "-h" || args[0] == "--help" ? "help" : args[0];
  const Command* command = FindCommand(word);
  if (command == nullptr) {
    bool elsewhere = false;
    for (const Command& c : AllCommands()) elsewhere = elsewhere || c.Name == word;
    err << "morvel: " << (elsewhere ? "'" + word + "' is not in this build yet" : "unknown command '" + word + "'")
        << "\n"
        << CommandList();
    return UsageError;
  }
  return command->Main(Invocation{*command, {args.begin() + 1, args.end()}, in, out, err});
}

}  // namespace morvel::cli
