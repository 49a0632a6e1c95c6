// morvel.exe's side of the console: the arguments as UTF-8, as the rest of
// the command reads them on every system, and standard streams that pass
// the script's bytes unchanged.
#pragma once

namespace morvel::cli {

// The program's arguments from the wide command line, in UTF-8 (argv holds
// them in the ANSI code page, which loses what it lacks). Also sets
// standard input to binary, as a script is read on Linux, and a console's
// output code page to UTF-8, in which the command writes. The array lives
// as long as the program.
char** PrepareWindowsConsole(int& argc);

}  // namespace morvel::cli
