// The morvel command's shell: one table of subcommands and the entry
// function of each. main.cpp knows nothing else; every command reads its
// arguments through the one option parser (Options.h), so help, errors and
// exit statuses read alike whichever command gives them.
#pragma once

#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace morvel::cli {

// Exit status of every command whose arguments cannot be taken.
inline constexpr int UsageError = 2;

struct Command;

// One run of a command: its arguments after the command's own word, and the
// streams it reads and writes (the process's own, or a test's).
struct Invocation {
  const Command& Cmd;
  std::vector<std::string> Args;
  std::istream& In;
  std::ostream& Out;
  std::ostream& Err;
};

using Entry = int (*)(const Invocation& call);

// The builds a command is in: the Windows build has no preview (its
// renderer needs cairo) and no virtual printer yet.
enum Builds : unsigned { LinuxBuild = 1, WindowsBuild = 2, EveryBuild = LinuxBuild | WindowsBuild };
#ifdef _WIN32
inline constexpr Builds ThisBuild = WindowsBuild;
#else
inline constexpr Builds ThisBuild = LinuxBuild;
#endif

struct Command {
  std::string_view Name;
  std::string_view Usage;    // operands and options on one line, after "morvel NAME"
  std::string_view Summary;  // what it does, for the list of commands
  std::string_view Help;     // what --help prints after the usage
  Entry Main;                // null where this build lacks the command
  unsigned In = EveryBuild;  // Builds
};

// Every command of the table, this build's and the others'.
std::span<const Command> AllCommands();
// The command of this build named `name`, or null.
const Command* FindCommand(std::string_view name);

// "usage: morvel NAME USAGE", wrapped between bracketed groups.
std::string UsageLines(const Command& command);
// The list of this build's commands and the settings: `morvel help`.
std::string Overview();

// The whole command line after the program's name; returns the exit status.
int RunShell(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

// The entries the table names.
int PrintersMain(const Invocation& call);  // hosts/cli/HostCommands.cpp
int RunMain(const Invocation& call);
int MembersMain(const Invocation& call);
int VersionMain(const Invocation& call);
int HelpMain(const Invocation& call);     // hosts/cli/Shell.cpp
int PreviewMain(const Invocation& call);  // hosts/cli/PreviewCommand.cpp
int PrintMain(const Invocation& call);    // hosts/cli/PrintCommand.cpp
int ServeMain(const Invocation& call);    // hosts/cli/ServeCommand.cpp
int StatusMain(const Invocation& call);   // hosts/cli/StatusCommand.cpp
int EmulateMain(const Invocation& call);  // hosts/cli/EmulateCommand.cpp
int EpcMain(const Invocation& call);      // hosts/cli/EpcCommand.cpp
int BatchMain(const Invocation& call);    // hosts/cli/BatchCommand.cpp

}  // namespace morvel::cli
