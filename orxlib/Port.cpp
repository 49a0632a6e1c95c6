// The connection and its transports: a printer of the printer list (one
// spool document from openport to closeport), a parallel port node, or the
// last USB printer of vendor 1203; the stand-alone USB write and status
// query; about.
#include "orxlib/Port.h"

#include <cstring>
#include <vector>

#include "orxlib/UsbPath.h"
#include "orxlib/orxlib.h"
#include "platform/devices.h"
#include "platform/services.h"
#include "platform/spooler.h"
#include "platform/text_case.h"

namespace morvel::orx {
namespace {

enum class Transport { None, Spooler, Parallel, Usb };

// Process-wide, as callers expect: one connection per process.
struct PortState {
  bool Open = false;
  Transport Kind = Transport::None;
  platform::Spooler::Handle Printer = platform::Spooler::NullHandle;
  platform::DeviceFile Device;
};

// A plain static, so a program that unloads the library gets its device
// closed and nothing left behind.
PortState& Port() {
  static PortState state;
  return state;
}

constexpr const char16_t* DocumentName = u"Printing...";
constexpr int QueryTimeoutMs = 1000;

// Whether the printer list holds a printer of this name (without regard to
// case), so that only such names reach the spooler.
bool Installed(const String& name) {
  try {
    for (const auto& p : platform::Current().Printers->List())
      if (text::EqualsIgnoreCase(p.Name, name)) return true;
  } catch (const AutomationError& e) {
    Record("openport: cannot list the installed printers: " + e.Description());
  }
  return false;
}

// The node of the last listed interface whose vendor field is exactly
// "vid_1203"; empty when there is none.
std::string FindUsbPrinter() {
  std::vector<platform::UsbPrinterInterface> printers;
  if (!platform::ListUsbPrinters(printers)) return std::string();
  std::string node;
  for (const auto& printer : printers) {
    const std::string& path = printer.InterfacePath;
    if (path.size() > MaxInterfacePathLength) {
      Record("USB interface path too long, skipped: " + path);
      continue;
    }
    if (IsOrxInterface(path)) node = printer.Node;
  }
  return node;
}

void Trim(std::string& text) {
  const char* blanks = " \t\n\v\f\r";
  size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) {
    text.clear();
    return;
  }
  text = text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace

void Show(std::string_view caption, std::string_view text) { platform::Current().Messages->Show(caption, text); }
void Refuse(std::string_view text) { Show(ErrorCaption, text); }
void Record(std::string_view text) { platform::Logger().Record("orxlib: " + std::string(text)); }

std::string_view Arg(const char* text, const char* what) {
  if (text != nullptr) return text;
  Record(std::string("no text given for ") + what + "; taken as empty");
  return std::string_view();
}

bool IsOpen() { return Port().Open; }

bool RawWrite(const void* data, size_t size) {
  PortState& port = Port();
  bool ok = false;
  size_t written = 0;
  switch (port.Kind) {
    case Transport::None: return false;
    case Transport::Spooler:
      ok = platform::Current().Spool->Write(port.Printer, static_cast<const uint8_t*>(data), size, written) &&
           written == size;
      break;
    case Transport::Parallel:
    case Transport::Usb: ok = size == 0 || port.Device.Write(static_cast<const uint8_t*>(data), size, written); break;
  }
  if (!ok) Record(std::to_string(size - written) + " of " + std::to_string(size) + " bytes did not reach the printer");
  return ok;
}

int32_t SendLine(std::string_view command) {
  if (!IsOpen()) return 0;
  if (command.size() > MaxCommandLength) {
    Refuse("The command has " + std::to_string(command.size()) + " characters, more than " +
           std::to_string(MaxCommandLength) + "; nothing was sent.");
    return 0;
  }
  if (!RawWrite(command)) return 0;
  return RawWrite("\r\n") ? 1 : 0;
}

}  // namespace morvel::orx

using namespace morvel;
using namespace morvel::orx;

extern "C" {

int32_t closeport(void) {
  return Guarded("closeport", 0, [] {
    PortState& port = Port();
    if (!port.Open) return 0;
    Transport kind = port.Kind;
    port.Open = false;
    port.Kind = Transport::None;
    switch (kind) {
      case Transport::None: return 0;
      case Transport::Spooler: {
        auto& spooler = *platform::Current().Spool;
        auto handle = port.Printer;
        port.Printer = platform::Spooler::NullHandle;
        spooler.EndPage(handle);
        spooler.EndDoc(handle);
        spooler.ClosePrinter(handle);
        return 1;
      }
      case Transport::Parallel:
      case Transport::Usb: port.Device.Close(); return 1;
    }
    return 0;
  });
}

int32_t openport(const char* printerName) {
  return Guarded("openport", 0, [&] {
    closeport();
    PortState& port = Port();
    std::string name(Arg(printerName, "the printer name"));
    if (name.size() > MaxNameLength) {
      Refuse("The printer name has " + std::to_string(name.size()) + " characters, more than " +
             std::to_string(MaxNameLength) + ".");
      return 0;
    }
    String wide = platform::Ansi().ToUnicode(name);
    if (Installed(wide)) {
      auto& spooler = *platform::Current().Spool;
      auto handle = spooler.OpenPrinter(wide);
      if (handle != platform::Spooler::NullHandle) {
        spooler.StartDoc(handle, DocumentName);
        spooler.StartPage(handle);
        port.Printer = handle;
        port.Kind = Transport::Spooler;
        port.Open = true;
        return 1;
      }
    }
    for (char& c : name)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    Trim(name);
    if (name == "USB") {
      std::string node = FindUsbPrinter();
      if (node.empty()) {
        Refuse("The specific USB doesn't exist.");
        return 0;
      }
      if (!port.Device.Open(node, platform::DeviceFile::Access::ReadWrite)) {
        Refuse("Couldn't open the specific USB.");
        return 0;
      }
      port.Kind = Transport::Usb;
      port.Open = true;
      return 1;
    }
    for (int i = 0; i < 4; ++i) {
      if (name == "LPT" + std::to_string(i + 1)) {
        if (!port.Device.Open(platform::ParallelPortNode(i), platform::DeviceFile::Access::WriteTruncate)) return 0;
        port.Kind = Transport::Parallel;
        port.Open = true;
        return 1;
      }
    }
    Refuse("Printer Driver is not been specified");
    return 0;
  });
}

int32_t sendcommand(const char* command) {
  return Guarded("sendcommand", 0, [&] { return SendLine(Arg(command, "the command")); });
}

int32_t usbportwrite(const char* text) {
  return Guarded("usbportwrite", -2, [&] {
    std::string_view body = Arg(text, "the USB text");
    if (body.size() > MaxUsbTextLength) {
      Refuse("The USB text has " + std::to_string(body.size()) + " characters, more than " +
             std::to_string(MaxUsbTextLength) + "; nothing was sent.");
      return -4;
    }
    std::string node = FindUsbPrinter();
    if (node.empty()) return -1;
    platform::DeviceFile device;
    if (!device.Open(node, platform::DeviceFile::Access::ReadWrite)) return -2;
    std::string line = std::string(body) + " \r\n\r\n";
    size_t written = 0;
    bool ok = device.Write(reinterpret_cast<const uint8_t*>(line.data()), line.size(), written);
    return device.Close() && ok ? 0 : -2;
  });
}

int32_t usbportqueryprinter(void) {
  return Guarded("usbportqueryprinter", -2, [] {
    std::string node = FindUsbPrinter();
    if (node.empty()) return -1;
    platform::DeviceFile device;
    if (!device.Open(node, platform::DeviceFile::Access::ReadWrite)) return -2;
    static constexpr uint8_t Query[] = {0x1B, 0x21, 0x3F, 0x0D};
    size_t written = 0;
    if (!device.Write(Query, sizeof Query, written)) return -2;
    uint8_t answer = 0;
    int got = device.ReadByte(QueryTimeoutMs, answer);
    device.Close();
    if (got < 0) {
      Show("Printer Query Error!!", "The printer can't be queried, please update the latest firmwrae!! ");
      return -3;
    }
    return static_cast<int32_t>(static_cast<int8_t>(answer));
  });
}

int32_t about(void) {
  return Guarded("about", 1, [] {
    Show("DLL Version", "Windows DLL Version V2.01.");
    return 1;
  });
}

}  // extern "C"
