// The CUPS destinations as installed printers, after the printers.conf ones:
// named by their description (printer-info) when they have one, else by the
// queue name, with the uri cups:QUEUE. MORVEL_CUPS=0 turns the source off.
#include <cups/cups.h>
#include <netdb.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/linux/adapters.h"
#include "platform/spooler_channels.h"

namespace morvel::platform {
namespace {

int GiveUp(http_t*, void*) { return 0; }

}  // namespace

std::string spool::ConnectFailure(const std::string& server, int port, int timeoutMs) {
  // libcups reports a refused or unanswered connect as "Host is down", and
  // errno after httpConnect2 is that of its own close: the real reason comes
  // from one more connect of our own, made only after a failure.
  int fd = -1;
  int error = 0;
  if (server.starts_with("/")) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (server.size() >= sizeof address.sun_path) return "socket path too long";
    std::memcpy(address.sun_path, server.c_str(), server.size() + 1);
    fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    error = fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 ? 0 : errno;
    if (fd >= 0) close(fd);
    if (error == ENOENT) return "no CUPS socket at " + server + " (is cupsd installed and running?)";
    if (error == ECONNREFUSED) return "connection refused: no CUPS server listens on " + server;
    return error != 0 ? std::strerror(error) : "the connection failed";
  }
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (int rc = getaddrinfo(server.c_str(), std::to_string(port).c_str(), &hints, &found); rc != 0)
    return std::string("no such host (") + gai_strerror(rc) + ")";
  std::string reason = "the connection failed";
  for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
    fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    error = connect(fd, a->ai_addr, a->ai_addrlen) == 0 ? 0 : errno;
    if (error == EINPROGRESS) {
      pollfd p{fd, POLLOUT, 0};
      if (poll(&p, 1, timeoutMs) == 0) {
        error = ETIMEDOUT;
      } else {
        socklen_t len = sizeof error;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
      }
    }
    close(fd);
    if (error == ECONNREFUSED)
      reason = "connection refused: no CUPS server listens there";
    else if (error == ETIMEDOUT)
      reason = "no answer within " + std::to_string(timeoutMs) + " ms";
    else if (error != 0)
      reason = std::strerror(error);
    else
      reason = "the server took the connection and then failed (" + std::string(cupsLastErrorString()) + ")";
    break;
  }
  freeaddrinfo(found);
  return reason;
}

namespace {

// "300dpi", "300x300dpi", "118dpcm" (as CUPS writes resolutions); 0 when the
// text holds none.
int ParseResolution(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  long x = 0;
  size_t start = i;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9' && x < 100000) x = x * 10 + (text[i++] - '0');
  if (i == start || x <= 0) return 0;
  if (i < text.size() && text[i] == 'x') {
    ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
  }
  std::string unit(text.substr(i));
  for (char& c : unit) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (unit == "dpi" || unit.empty()) return static_cast<int>(std::min(x, 10000L));
  if (unit == "dpcm" || unit == "dpc") return static_cast<int>(std::min(x * 254 / 100, 10000L));
  return 0;
}

// The first "NNNdpi" in a name, as in "ZDesigner ZT410R-300dpi ZPL".
int DpiInName(std::string_view name) {
  for (size_t at = 0; at + 3 <= name.size(); ++at) {
    if (strncasecmp(name.data() + at, "dpi", 3) != 0) continue;
    size_t start = at;
    while (start > 0 && name[start - 1] >= '0' && name[start - 1] <= '9') --start;
    if (start == at || at - start > 5) continue;
    int dpi = std::atoi(std::string(name.substr(start, at - start)).c_str());
    if (dpi > 0) return dpi;
  }
  return 0;
}

class CupsPrinterSource : public PrinterSource {
 public:
  std::string Origin() override { return "CUPS on " + where_; }

  std::vector<InstalledPrinter> List() override {
    std::vector<InstalledPrinter> printers;
    const char* server = cupsServer();
    std::string where = server != nullptr ? server : "";
    if (!where.starts_with("/")) where += ":" + std::to_string(ippPort());
    where_ = where;
    // Listing runs whenever a printer is looked up, so an absent server must
    // cost little: a short connect, and no wait past a few seconds for answers.
    int timeoutMs = std::min(spool::ConnectTimeoutMs(), 2000);
    http_t* http = httpConnect2(server, ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, timeoutMs, nullptr);
    if (http == nullptr) {
      // httpConnect2 closes its socket on the way out, so errno is that
      // close's; libcups keeps the connect's own reason.
      Unreachable("cannot reach the CUPS server " + where + ": " +
                  spool::ConnectFailure(server != nullptr ? server : "", ippPort(), timeoutMs));
      return printers;
    }
    httpSetTimeout(http, 5.0, GiveUp, nullptr);
    cups_dest_t* dests = nullptr;
    int count = cupsGetDests2(http, &dests);
    if (count == 0 && cupsLastError() > IPP_STATUS_OK_CONFLICTING && cupsLastError() != IPP_STATUS_ERROR_NOT_FOUND) {
      Unreachable("cannot list the CUPS printers on " + where + ": " + cupsLastErrorString());
    } else {
      Reachable();
    }
    for (int i = 0; i < count; ++i) {
      const cups_dest_t& d = dests[i];
      if (d.instance != nullptr) continue;  // lpoptions instances are option sets of a queue, not printers
      const char* info = cupsGetOption("printer-info", d.num_options, d.options);
      std::string name = (info != nullptr && *info != '\0') ? info : d.name;
      int dpi = 0;
      for (const char* option :
           {"printer-resolution", "Resolution", "printer-resolution-default", "Resolution-default"}) {
        if (const char* v = cupsGetOption(option, d.num_options, d.options)) dpi = ParseResolution(v);
        if (dpi > 0) break;
      }
      if (dpi == 0) dpi = DpiInName(name);
      if (dpi == 0) dpi = DpiInName(d.name);
      if (dpi == 0) dpi = 203;
      printers.push_back(InstalledPrinter{FromUtf8(name), dpi, std::string("cups:") + d.name});
    }
    cupsFreeDests(count, dests);
    httpClose(http);
    return printers;
  }

 private:
  // One record per outage: the list is read often, and a machine without
  // CUPS is normal, not an error.
  void Unreachable(const std::string& text) {
    std::lock_guard<std::mutex> lock(lock_);
    if (reported_) return;
    reported_ = true;
    Logger().Record(text +
                    "; no CUPS printers listed (set MORVEL_CUPS=0 to leave CUPS out, or CUPS_SERVER for another "
                    "server; printers of the printers.conf named by MORVEL_PRINTERS are listed either way)");
  }
  void Reachable() {
    std::lock_guard<std::mutex> lock(lock_);
    reported_ = false;
  }

  std::mutex lock_;
  bool reported_ = false;
  std::string where_;
};

bool CupsTurnedOff() {
  const char* v = std::getenv("MORVEL_CUPS");
  return v != nullptr && std::strcmp(v, "0") == 0;
}

const bool Registered = (AddPrinterSourceFactory(MakeCupsPrinterSource), true);

}  // namespace

std::shared_ptr<PrinterSource> MakeCupsPrinterSource() {
  if (CupsTurnedOff()) return nullptr;
  return std::make_shared<CupsPrinterSource>();
}

}  // namespace morvel::platform
