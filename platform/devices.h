// Printer device nodes: the parallel ports, the USB printer interfaces that
// sysfs lists with their vendor and product ids, and an open node that can be
// written and asked for one byte with a time limit. The folders default to
// /dev and /sys; MORVEL_DEV_ROOT and MORVEL_SYSFS_ROOT point them at other
// trees (tests build fake ones there).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace morvel::platform {

std::string DeviceRoot();  // $MORVEL_DEV_ROOT or /dev, no trailing '/'
std::string SysfsRoot();   // $MORVEL_SYSFS_ROOT or /sys, no trailing '/'

// The node of parallel port `index` (0 for LPT1): DEV/lpINDEX.
std::string ParallelPortNode(int index);

// One USB printer interface.
struct UsbPrinterInterface {
  int Number = 0;        // N of SYS/class/usbmisc/lpN
  std::string VendorId;  // four lower-case hex digits, as sysfs writes them
  std::string ProductId;
  std::string Node;  // DEV/usb/lpN
  // The device interface path as Windows writes it, \\?\usb#vid_VVVV&pid_PPPP#...,
  // which the vendor test reads; built from the ids where the system has no
  // such path.
  std::string InterfacePath;
};

// The usblp interfaces of SYS/class/usbmisc/lp* in increasing N. The device
// that owns each interface (the folder above the interface folder, links
// resolved) gives idVendor and idProduct; an entry whose ids cannot be read
// is left out with a log record. False (and a log record) when the class
// folder cannot be read at all.
bool ListUsbPrinters(std::vector<UsbPrinterInterface>& found);

// An opened device node. Closed when it goes out of scope.
class DeviceFile {
 public:
  enum class Access { WriteTruncate, ReadWrite };

  DeviceFile() = default;
  ~DeviceFile() { Close(); }
  DeviceFile(DeviceFile&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) { other.fd_ = -1; }
  DeviceFile& operator=(DeviceFile&& other) noexcept {
    if (this != &other) {
      Close();
      fd_ = other.fd_;
      path_ = std::move(other.path_);
      other.fd_ = -1;
    }
    return *this;
  }
  DeviceFile(const DeviceFile&) = delete;
  DeviceFile& operator=(const DeviceFile&) = delete;

  // Opens an existing node; false (and a log record) when it cannot. A
  // missing node is not created: bytes for a port that is not there must not
  // land in a plain file under /dev.
  bool Open(const std::string& path, Access access);
  bool IsOpen() const { return fd_ >= 0; }
  // Writes every byte, repeating partial writes; false (and a log record)
  // when the node fails or accepts nothing. `written` counts what went.
  bool Write(const uint8_t* data, size_t size, size_t& written);
  // Waits at most `timeoutMs` (monotonic clock) for one byte. 1 with the
  // byte, 0 when the node reported its end (byte 0), -1 when nothing came.
  int ReadByte(int timeoutMs, uint8_t& byte);
  // False (and a log record) when closing reports lost data.
  bool Close();
  const std::string& Path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

}  // namespace morvel::platform
