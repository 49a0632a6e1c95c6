// The process-wide set of platform adapters.
#include "platform/services.h"

#include <cerrno>
#include <mutex>

#include "platform/linux_adapters.h"

namespace morvel::platform {
namespace {

std::mutex& ServicesLock() {
  static std::mutex lock;
  return lock;
}

Services*& Installed() {
  static Services* services = nullptr;
  return services;
}

}  // namespace

Services LinuxServices() {
  Services s;
  s.Printers = std::make_shared<SystemPrinterList>(DefaultPrinterSources());
  s.ScreenInfo = MakeLinuxScreen();
  s.Text = MakeLinuxTextMeasure();
  s.Ansi = MakeLinuxCodePage();
  s.Numbers = MakeLinuxNumberFormat();
  s.Temp = MakeLinuxTempFolder();
  s.Messages = MakeStderrMessageSink();
  s.Logger = MakeLinuxLog();
  s.Images = MakeStbPictures();
  s.Spool = MakeLinuxSpooler();
  return s;
}

const Services& Current() {
  std::lock_guard<std::mutex> lock(ServicesLock());
  auto& installed = Installed();
  if (installed == nullptr) installed = new Services(LinuxServices());  // lives for the process
  return *installed;
}

Services Replace(Services services) {
  std::lock_guard<std::mutex> lock(ServicesLock());
  auto& installed = Installed();
  if (installed == nullptr) installed = new Services(LinuxServices());
  Services previous = std::move(*installed);
  *installed = std::move(services);
  return previous;
}

std::string ApplicationCaption() { return program_invocation_short_name; }

void ShowMessage(std::string_view text) { Current().Messages->Show(ApplicationCaption(), text); }

}  // namespace morvel::platform
