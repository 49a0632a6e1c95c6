// Device nodes with POSIX calls, and the sysfs walk that finds usblp printers.
#include "platform/devices.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/services.h"

namespace morvel::platform {
namespace {

std::string RootFrom(const char* variable, const char* fallback) {
  const char* v = std::getenv(variable);
  std::string root = (v != nullptr && *v != '\0') ? v : fallback;
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root;
}

void Record(const std::string& path, const std::string& what, int errnoValue) {
  Logger().Record("device " + path + ": " + what +
                  (errnoValue != 0 ? ": " + std::string(std::strerror(errnoValue)) : ""));
}

std::string Resolved(const std::string& path) {
  char buffer[PATH_MAX];
  if (::realpath(path.c_str(), buffer) == nullptr) return std::string();
  return buffer;
}

std::string Parent(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A four-digit hex id file of sysfs, lower-cased; empty when it is not one.
std::string ReadId(const std::string& path) {
  std::ifstream in(path);
  std::string id;
  if (!(in >> id) || id.size() != 4) return std::string();
  for (char& c : id) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::string();
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return id;
}

}  // namespace

std::string DeviceRoot() { return RootFrom("MORVEL_DEV_ROOT", "/dev"); }
std::string SysfsRoot() { return RootFrom("MORVEL_SYSFS_ROOT", "/sys"); }

std::string ParallelPortNode(int index) { return DeviceRoot() + "/lp" + std::to_string(index); }

bool ListUsbPrinters(std::vector<UsbPrinterInterface>& found) {
  found.clear();
  std::string folder = SysfsRoot() + "/class/usbmisc";
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) {
    // No usblp driver loaded means no USB printer, not a failure.
    if (errno == ENOENT) return true;
    Record(folder, "cannot list the USB printer interfaces", errno);
    return false;
  }
  while (dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name.size() < 3 || name.compare(0, 2, "lp") != 0) continue;
    char* end = nullptr;
    long number = std::strtol(name.c_str() + 2, &end, 10);
    if (*end != '\0' || number < 0 || number > 9999 || !std::isdigit(static_cast<unsigned char>(name[2]))) continue;
    std::string link = folder + "/" + name;
    // The class entry's `device` link names the interface; without it, the
    // interface is the folder two levels above the resolved entry
    // (.../INTERFACE/usbmisc/lpN).
    std::string interface = Resolved(link + "/device");
    if (interface.empty()) {
      std::string self = Resolved(link);
      if (!self.empty()) interface = Parent(Parent(self));
    }
    std::string device = interface.empty() ? std::string() : Parent(interface);
    UsbPrinterInterface printer;
    printer.Number = static_cast<int>(number);
    printer.VendorId = device.empty() ? std::string() : ReadId(device + "/idVendor");
    printer.ProductId = device.empty() ? std::string() : ReadId(device + "/idProduct");
    if (printer.VendorId.empty() || printer.ProductId.empty()) {
      Record(link, "no USB device with readable idVendor and idProduct owns this interface", 0);
      continue;
    }
    printer.Node = DeviceRoot() + "/usb/" + name;
    // Written so that the vendor field sits at characters 8 to 15, as in a
    // Windows path of the USB device interface class.
    printer.InterfacePath = "\\\\?\\usb#vid_" + printer.VendorId + "&pid_" + printer.ProductId + "#" +
                            std::to_string(printer.Number) + "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
    found.push_back(std::move(printer));
  }
  ::closedir(dir);
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.Number < b.Number; });
  return true;
}

bool DeviceFile::Open(const std::string& path, Access access) {
  Close();
  path_ = path;
  int flags = O_CLOEXEC | O_NOCTTY | (access == Access::ReadWrite ? O_RDWR : (O_WRONLY | O_TRUNC));
  do {
    fd_ = ::open(path.c_str(), flags);
  } while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0) {
    Record(path, "cannot open", errno);
    return false;
  }
  return true;
}

bool DeviceFile::Write(const uint8_t* data, size_t size, size_t& written) {
  written = 0;
  if (fd_ < 0) return false;
  while (written < size) {
    ssize_t n = ::write(fd_, data + written, size - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      Record(path_, "write of " + std::to_string(size - written) + " bytes " + (n == 0 ? "accepted nothing" : "failed"),
             n < 0 ? errno : 0);
      return false;
    }
    written += static_cast<size_t>(n);
  }
  return true;
}

int DeviceFile::ReadByte(int timeoutMs, uint8_t& byte) {
  byte = 0;
  if (fd_ < 0) return -1;
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    auto now = Clock::now();
    if (now >= deadline) return -1;
    // Rounded up, so the wait is never cut short of the full time.
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
    pollfd p{fd_, POLLIN, 0};
    int ready = ::poll(&p, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) {
      Record(path_, "waiting for an answer failed", errno);
      return -1;
    }
    if (ready == 0) continue;  // the clock decides
    ssize_t n = ::read(fd_, &byte, 1);
    if (n == 1) return 1;
    if (n == 0) return 0;
    if (errno == EINTR || errno == EAGAIN) continue;
    Record(path_, "reading the answer failed", errno);
    return -1;
  }
}

bool DeviceFile::Close() {
  if (fd_ < 0) return true;
  int rc = ::close(fd_);
  int err = errno;
  fd_ = -1;
  if (rc != 0 && err != EINTR) {
    Record(path_, "closing lost data", err);
    return false;
  }
  return true;
}

}  // namespace morvel::platform
