// Where the allowed origins live on Linux: the user's file under
// $XDG_CONFIG_HOME, the machine's under /etc.
#include <cstdlib>

#include "platform/origins.h"

namespace morvel::platform {

std::string UserOriginFile() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (xdg != nullptr && *xdg == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home != nullptr ? home : "") + "/.config";
  }
  return base + "/morvel/allowed-origins";
}

std::string MachineOriginsPlace() {
  const char* file = std::getenv("MORVEL_MACHINE_ORIGINS");
  return file != nullptr && *file != '\0' ? file : "/etc/morvel/allowed-origins";
}

std::vector<std::string> MachineOrigins() { return ReadOriginFile(MachineOriginsPlace()); }

}  // namespace morvel::platform
