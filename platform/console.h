// The command's side of the console: the program's arguments in UTF-8, as
// the command reads them on every system, and standard streams that pass a
// script's bytes unchanged.
#pragma once

namespace morvel::platform {

// The program's arguments (`argc`, `argv` as main has them), in UTF-8. On
// Linux they are that already and come back as they are. On Windows they
// are read from the wide command line (argv holds them in the ANSI code
// page, which loses what it lacks), standard input is set to binary, as a
// script is read on Linux, and a console's output code page to UTF-8, in
// which the command writes; the array lives as long as the program.
char** PrepareConsole(int& argc, char** argv);

}  // namespace morvel::platform
