// Linux hands a program its arguments as bytes, UTF-8 in every locale the
// command supports, and its standard streams as they are.
#include "platform/console.h"

namespace morvel::platform {

char** PrepareConsole(int& argc, char** argv) { return argv; }

}  // namespace morvel::platform
