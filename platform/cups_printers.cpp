// The CUPS destinations as installed printers, after the printers.conf ones:
// named by their description (printer-info) when they have one, else by the
// queue name, with the uri cups:QUEUE. MORVEL_CUPS=0 turns the source off.
#include <cups/cups.h>
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/linux_adapters.h"
#include "platform/spooler_channels.h"

namespace morvel::platform {
namespace {

int GiveUp(http_t*, void*) { return 0; }

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
  std::vector<InstalledPrinter> List() override {
    std::vector<InstalledPrinter> printers;
    const char* server = cupsServer();
    std::string where = server != nullptr ? server : "";
    if (!where.starts_with("/")) where += ":" + std::to_string(ippPort());
    // Listing runs whenever a printer is looked up, so an absent server must
    // cost little: a short connect, and no wait past a few seconds for answers.
    int timeoutMs = std::min(spool::ConnectTimeoutMs(), 2000);
    http_t* http = httpConnect2(server, ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, timeoutMs, nullptr);
    if (http == nullptr) {
      Unreachable("cannot reach the CUPS server " + where + ": " + std::strerror(errno));
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
    Logger().Record(text + " (no CUPS printers listed)");
  }
  void Reachable() {
    std::lock_guard<std::mutex> lock(lock_);
    reported_ = false;
  }

  std::mutex lock_;
  bool reported_ = false;
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
