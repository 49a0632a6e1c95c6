// Printer devices on Windows: the parallel ports LPT1..LPT4 by their device
// names, the present interfaces of GUID_DEVINTERFACE_USB_DEVICE through
// SetupAPI with their own interface paths, and a device handle opened with
// CreateFileA as the Windows design opens it.
#include "platform/devices.h"

// setupapi.h needs the types of windows.h before it.
// clang-format off
#include "platform/windows/windows_adapters.h"
#include <setupapi.h>
// clang-format on

#include <algorithm>
#include <vector>

namespace morvel::platform {
namespace {

// {A5DCBF10-6530-11D2-901F-00C04FB951ED}
const GUID UsbDeviceInterface = {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

void Record(const std::string& path, const std::string& what, DWORD error) {
  Logger().Record("device '" + path + "': " + what + (error != 0 ? ": " + win::ErrorText(error) : std::string()));
}

HANDLE AsHandle(int value) { return LongToHandle(value); }

// The text between "vid_" / "pid_" and the next '&' or '#', as written.
std::string Field(const std::string& path, const char* key) {
  size_t at = path.find(key);
  if (at == std::string::npos) return std::string();
  at += 4;
  size_t end = path.find_first_of("&#", at);
  return path.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

}  // namespace

std::string ParallelPortNode(int index) { return "LPT" + std::to_string(index + 1); }

bool ListUsbPrinters(std::vector<UsbPrinterInterface>& found) {
  found.clear();
  HDEVINFO set = SetupDiGetClassDevsA(&UsbDeviceInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) {
    Record("USB", "cannot list the USB device interfaces", GetLastError());
    return false;
  }
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof data;
  for (DWORD index = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &UsbDeviceInterface, index, &data); ++index) {
    DWORD needed = 0;
    SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &needed, nullptr);
    if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) continue;
    std::vector<uint8_t> buffer(needed);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!SetupDiGetDeviceInterfaceDetailA(set, &data, detail, needed, nullptr, &device)) {
      Record("USB", "cannot read the path of interface " + std::to_string(index), GetLastError());
      continue;
    }
    UsbPrinterInterface printer;
    printer.Number = static_cast<int>(index);
    printer.InterfacePath = detail->DevicePath;
    printer.Node = detail->DevicePath;
    printer.VendorId = Field(printer.InterfacePath, "vid_");
    printer.ProductId = Field(printer.InterfacePath, "pid_");
    found.push_back(std::move(printer));
  }
  SetupDiDestroyDeviceInfoList(set);
  return true;
}

// The handle is kept in the int of the port: Windows handles carry 32
// significant bits in 32- and 64-bit processes alike (HandleToLong).
bool DeviceFile::Open(const std::string& path, Access access) {
  Close();
  path_ = path;
  std::string name = win::Ansi(FromUtf8(path));
  HANDLE h = access == Access::ReadWrite
                 ? CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)
                 : CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    Record(path, "cannot open", GetLastError());
    return false;
  }
  fd_ = HandleToLong(h);
  return true;
}

bool DeviceFile::Write(const uint8_t* data, size_t size, size_t& written) {
  written = 0;
  if (fd_ == -1) return false;
  while (written < size) {
    DWORD piece = static_cast<DWORD>(std::min<size_t>(size - written, 1u << 30)), done = 0;
    if (!WriteFile(AsHandle(fd_), data + written, piece, &done, nullptr)) {
      Record(path_, "write failed", GetLastError());
      return false;
    }
    if (done == 0) {
      Record(path_, "the device accepts nothing", 0);
      return false;
    }
    written += done;
  }
  return true;
}

int DeviceFile::ReadByte(int timeoutMs, uint8_t& byte) {
  byte = 0;
  if (fd_ == -1) return -1;
  // As the Windows design waits: reads until one succeeds or the time is up.
  DWORD start = GetTickCount();
  do {
    DWORD got = 0;
    uint8_t answer = 0;
    if (ReadFile(AsHandle(fd_), &answer, 1, &got, nullptr)) {
      byte = answer;
      return got == 1 ? 1 : 0;
    }
    Sleep(10);
  } while (GetTickCount() - start <= static_cast<DWORD>(timeoutMs));
  return -1;
}

bool DeviceFile::Close() {
  if (fd_ == -1) return true;
  bool ok = CloseHandle(AsHandle(fd_)) != 0;
  if (!ok) Record(path_, "close failed", GetLastError());
  fd_ = -1;
  return ok;
}

}  // namespace morvel::platform
