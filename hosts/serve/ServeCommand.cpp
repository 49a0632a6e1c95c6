// morvel serve: options, the origin allow-list file, and running the bridge
// until SIGINT or SIGTERM (on Windows: Ctrl+C, Ctrl+Break, the console
// closing, logging off or shutting down).
#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <stdexcept>

#include "hosts/serve/Server.h"
#include "platform/origins.h"
#include "morvel/types.h"

namespace morvel::serve {

namespace {

const char* const Usage =
    "usage: morvel serve [--port N] [--allow-origin ORIGIN]... [--allow-folder DIR]...\n"
    "                    [--max-connections N] [--max-objects N] [--max-message BYTES]\n"
    "                    [--lease-wait SECONDS] [--ipv4-only]\n"
    "Serves web pages on this machine over ws://127.0.0.1:PORT (default 8632) and [::1],\n"
    "to programs of this user only; it does not start when either address is taken\n"
    "(--ipv4-only: 127.0.0.1 alone).\n"
    "Pages may connect only from the origins allowed here or listed, one a line, in\n"
#ifdef _WIN32
    "  %APPDATA%\\Morvel\\allowed-origins, or in the machine's list that an administrator\n"
    "  manages: the value AllowedOrigins of HKLM\\Software\\Morvel (the control's too).\n"
#else
    "  $XDG_CONFIG_HOME/morvel/allowed-origins (~/.config/morvel/allowed-origins), or in\n"
    "  the machine's list, /etc/morvel/allowed-origins.\n"
#endif
    "Paths that pages name (DrawImageFromFile, LoadFile, SaveFile, SaveFile2) must lie\n"
    "inside an --allow-folder; with none, every such call is refused with error 70.\n"
    "--lease-wait: how long an OpenPort waits for a printer library another page holds\n"
    "(0 to 3600 s, default 30).\n";

#ifdef _WIN32
HANDLE StopRequested = nullptr;
HANDLE Stopped = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD) {
  SetEvent(StopRequested);
  // The process ends when this returns: the bridge gets a moment to close.
  WaitForSingleObject(Stopped, 3000);
  return TRUE;
}

// Set up before the bridge starts, so a stop request is never missed.
void PrepareForStop() {
  StopRequested = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  Stopped = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void WaitForStop() { WaitForSingleObject(StopRequested, INFINITE); }
void AfterStop() { SetEvent(Stopped); }
#else
sigset_t StopSignals;

// Blocked before any thread starts, so every thread inherits the mask and
// only sigwait below takes the signal.
void PrepareForStop() {
  sigemptyset(&StopSignals);
  sigaddset(&StopSignals, SIGINT);
  sigaddset(&StopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &StopSignals, nullptr);
}

void WaitForStop() {
  int signal = 0;
  sigwait(&StopSignals, &signal);
}
void AfterStop() {}
#endif

bool ParseCount(const std::string& text, size_t low, size_t high, size_t& out) {
  char* end = nullptr;
  errno = 0;
  unsigned long long v = std::strtoull(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || text[0] == '-' || v < low || v > high) return false;
  out = static_cast<size_t>(v);
  return true;
}

}  // namespace

int Main(const std::vector<std::string>& args) {
  ServerOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      std::cout << Usage;
      return 0;
    }
    if (a == "--ipv4-only") {
      options.Ipv4Only = true;
      continue;
    }
    if (i + 1 >= args.size()) {
      std::cerr << "morvel serve: " << a << (a.rfind("--", 0) == 0 ? " needs a value\n" : ": unknown argument\n")
                << Usage;
      return 2;
    }
    const std::string& value = args[++i];
    size_t n = 0;
    bool ok = true;
    if (a == "--port") {
      ok = ParseCount(value, 0, 65535, n);
      options.Port = static_cast<uint16_t>(n);
    } else if (a == "--allow-origin") {
      options.AllowedOrigins.push_back(value);
    } else if (a == "--allow-folder") {
      options.AllowedFolders.push_back(value);
    } else if (a == "--max-connections") {
      ok = ParseCount(value, 1, 4096, options.Bounds.MaxConnections);
    } else if (a == "--max-objects") {
      ok = ParseCount(value, 1, 1u << 20, options.Bounds.MaxObjects);
    } else if (a == "--max-message") {
      ok = ParseCount(value, 1024, size_t{1} << 30, options.Bounds.MaxMessageBytes);
    } else if (a == "--lease-wait") {
      ok = ParseCount(value, 0, 3600, n);
      options.Bounds.LeaseWaitSeconds = static_cast<int>(n);
    } else {
      std::cerr << "morvel serve: unknown option " << a << "\n" << Usage;
      return 2;
    }
    if (!ok) {
      std::cerr << "morvel serve: bad value for " << a << ": " << value << "\n";
      return 2;
    }
  }
  std::string originFile = platform::UserOriginFile();
  for (std::string& o : platform::ReadOriginFile(originFile)) options.AllowedOrigins.push_back(std::move(o));
  for (std::string& o : platform::MachineOrigins()) options.AllowedOrigins.push_back(std::move(o));

  PrepareForStop();

  Server server(options);
  try {
    server.Start();
  } catch (const AutomationError& e) {
    std::cerr << "morvel serve: " << e.Description() << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "morvel serve: " << e.what() << "\n";
    return 1;
  }
  std::cerr << "morvel serve: listening on 127.0.0.1:" << server.Port()
            << (server.ListensOnIpv6() ? " and [::1]:" + std::to_string(server.Port()) : std::string(" only"))
            << "\n";
  if (options.AllowedOrigins.empty())
    std::cerr << "morvel serve: no origin is allowed, so no page can connect (--allow-origin, " << originFile
              << ", or the machine's list: " << platform::MachineOriginsPlace() << ")\n";
  for (const std::string& o : options.AllowedOrigins) std::cerr << "morvel serve: allowed origin " << o << "\n";
  for (const std::string& f : options.AllowedFolders) std::cerr << "morvel serve: allowed folder " << f << "\n";
  std::cerr.flush();

  WaitForStop();
  server.Stop();
  // A call that Stop left running must not hold the process, nor run into
  // objects that static destructors tear down under it.
  std::cerr.flush();
  std::cout.flush();
  std::fflush(nullptr);
  AfterStop();
  std::_Exit(0);
}

}  // namespace morvel::serve
