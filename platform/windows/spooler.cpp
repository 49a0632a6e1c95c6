// The Windows spooler: winspool's raw job calls with the ANSI names of the
// Windows design, no data type (the printer's default), desired access 0.
// Callers hear only true/false by contract, so every failure goes to the
// log; a handle this adapter did not give out is refused rather than passed
// to winspool, so a stale handle never closes another job.
#include <algorithm>
#include <map>
#include <mutex>
#include <set>

#include "platform/windows/windows_adapters.h"

namespace morvel::platform {
namespace {

class Winspool : public Spooler {
 public:
  ~Winspool() override {
    std::lock_guard<std::mutex> lock(lock_);
    for (Handle h : open_) ::ClosePrinter(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(h)));
  }

  Handle OpenPrinter(std::u16string_view printerName) override {
    std::string name = win::Ansi(printerName);
    PRINTER_DEFAULTSA defaults{nullptr, nullptr, 0};
    HANDLE printer = nullptr;
    if (!::OpenPrinterA(name.data(), &printer, &defaults) || printer == nullptr) {
      Fail(printerName, "OpenPrinterA");
      CountIncident(Incident::UnknownPrinter);
      return NullHandle;
    }
    Handle h = static_cast<Handle>(reinterpret_cast<uintptr_t>(printer));
    std::lock_guard<std::mutex> lock(lock_);
    open_.insert(h);
    names_[h] = String(printerName);
    return h;
  }

  bool StartDoc(Handle printer, std::u16string_view documentName) override {
    HANDLE h = Known(printer);
    if (h == nullptr) return false;
    std::string name = win::Ansi(documentName);
    DOC_INFO_1A info{name.data(), nullptr, nullptr};
    if (::StartDocPrinterA(h, 1, reinterpret_cast<BYTE*>(&info)) == 0) return Failed(printer, "StartDocPrinterA");
    return true;
  }

  bool StartPage(Handle printer) override {
    HANDLE h = Known(printer);
    if (h == nullptr) return false;
    return ::StartPagePrinter(h) ? true : Failed(printer, "StartPagePrinter");
  }

  bool Write(Handle printer, const uint8_t* data, size_t size, size_t& written) override {
    written = 0;
    HANDLE h = Known(printer);
    if (h == nullptr) return false;
    // WritePrinter takes a 32-bit count: larger blocks go in pieces.
    while (written < size) {
      DWORD piece = static_cast<DWORD>(std::min<size_t>(size - written, 1u << 30)), done = 0;
      if (!::WritePrinter(h, const_cast<uint8_t*>(data + written), piece, &done))
        return Failed(printer, "WritePrinter");
      written += done;
      if (done == 0) return Failed(printer, "WritePrinter (nothing taken)");
    }
    return true;
  }

  bool EndPage(Handle printer) override {
    HANDLE h = Known(printer);
    if (h == nullptr) return false;
    return ::EndPagePrinter(h) ? true : Failed(printer, "EndPagePrinter");
  }

  bool EndDoc(Handle printer) override {
    HANDLE h = Known(printer);
    if (h == nullptr) return false;
    return ::EndDocPrinter(h) ? true : Failed(printer, "EndDocPrinter");
  }

  bool ClosePrinter(Handle printer) override {
    HANDLE h = Known(printer);
    if (h == nullptr) return false;
    bool ok = ::ClosePrinter(h) != 0;
    if (!ok) Failed(printer, "ClosePrinter");
    std::lock_guard<std::mutex> lock(lock_);
    open_.erase(printer);
    names_.erase(printer);
    return ok;
  }

 private:
  HANDLE Known(Handle printer) {
    {
      std::lock_guard<std::mutex> lock(lock_);
      if (open_.count(printer) != 0) return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(printer));
    }
    Logger().Record("spooler: handle " + std::to_string(printer) + " is not open; nothing done");
    return nullptr;
  }

  void Fail(std::u16string_view printer, const char* call) {
    DWORD error = GetLastError();
    Logger().Record("printer '" + ToUtf8(printer) + "': " + call + " failed: " + win::ErrorText(error));
  }

  bool Failed(Handle printer, const char* call) {
    DWORD error = GetLastError();
    String name;
    {
      std::lock_guard<std::mutex> lock(lock_);
      name = names_[printer];
    }
    Logger().Record("printer '" + ToUtf8(name) + "': " + call + " failed: " + win::ErrorText(error));
    CountIncident(Incident::DeliveryFailure);
    return false;
  }

  std::mutex lock_;
  std::set<Handle> open_;
  std::map<Handle, String> names_;
};

}  // namespace

std::shared_ptr<Spooler> MakeWindowsSpooler() { return std::make_shared<Winspool>(); }

}  // namespace morvel::platform
