// The Linux spooler: the handle table and document state in front of the
// byte channels of spooler_socket.cpp, spooler_cups.cpp and spooler_file.cpp.
// Callers hear only true/false by contract, so every refusal and failure is
// written to the platform log here or in the channel that met it.

#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

#include "platform/linux/adapters.h"
#include "platform/spooler_channels.h"
#include "platform/text_case.h"

namespace morvel::platform {
namespace spool {

int TimeoutFromEnv(const char* name, int fallback) {
  const char* v = std::getenv(name);
  if (v == nullptr || *v == '\0') return fallback;
  char* end = nullptr;
  long ms = std::strtol(v, &end, 10);
  if (*end != '\0' || ms < 1 || ms > 24L * 3600 * 1000) return fallback;
  return static_cast<int>(ms);
}

namespace {
// The last thing reported on this thread, which is what a failure counted
// right after it on the same thread was about.
thread_local std::string lastReport;
}  // namespace

void Report(const std::string& printer, std::string_view text) {
  lastReport.assign(text);
  Logger().Record("printer '" + printer + "': " + std::string(text));
}

void CountDeliveryFailure(const std::string& printer) {
  CountIncident(Incident::DeliveryFailure, printer,
                lastReport.empty() ? "the document did not reach the printer" : lastReport);
  lastReport.clear();
}

}  // namespace spool

namespace {

std::unique_ptr<spool::Channel> ChannelFor(const std::string& printer, const InstalledPrinter& entry) {
  const std::string& uri = entry.Uri;
  if (text::StartsWithIgnoreCaseAscii(uri, "socket://"))
    return spool::MakeSocketChannel(printer, std::string_view(uri).substr(9));
  if (text::StartsWithIgnoreCaseAscii(uri, "cups:")) {
    std::string_view queue = std::string_view(uri).substr(5);
    if (queue.starts_with("//")) queue.remove_prefix(2);
    return spool::MakeCupsChannel(printer, queue);
  }
  if (text::StartsWithIgnoreCaseAscii(uri, "file:")) {
    std::string_view folder = std::string_view(uri).substr(5);
    if (folder.starts_with("//")) folder.remove_prefix(2);  // file:///abs -> /abs
    return spool::MakeFileChannel(printer, folder, entry.Dpi, entry.Preview, entry.WidthMm, entry.HeightMm);
  }
  spool::Report(printer, "unknown uri scheme in '" + uri + "' (expected socket://, cups: or file:)");
  return nullptr;
}

class LinuxSpooler : public Spooler {
 public:
  ~LinuxSpooler() override {
    std::map<Handle, std::shared_ptr<Printer>> left;
    {
      std::lock_guard<std::mutex> lock(lock_);
      left.swap(open_);
    }
    for (auto& [handle, printer] : left) Finish(*printer, "the spooler was shut down");
  }

  Handle OpenPrinter(std::u16string_view printerName) override {
    std::string name = ToUtf8(printerName);
    std::vector<InstalledPrinter> installed;
    try {
      installed = Current().Printers->List();
    } catch (const AutomationError& e) {
      spool::Report(name, "cannot list the installed printers: " + e.Description());
      spool::CountDeliveryFailure(name);
      return NullHandle;
    } catch (const std::exception& e) {
      spool::Report(name, std::string("cannot list the installed printers: ") + e.what());
      spool::CountDeliveryFailure(name);
      return NullHandle;
    }
    const InstalledPrinter* found = nullptr;
    for (const auto& p : installed) {
      if (text::EqualsIgnoreCase(p.Name, printerName)) {
        found = &p;
        break;
      }
    }
    if (found == nullptr) {
      spool::Report(name, "no installed printer has this name ('morvel printers' lists them)");
      CountIncident(Incident::UnknownPrinter, name, "no installed printer has this name");
      return NullHandle;
    }
    auto printer = std::make_shared<Printer>();
    printer->Name = ToUtf8(found->Name);
    printer->Out = ChannelFor(printer->Name, *found);
    if (printer->Out == nullptr) {
      spool::CountDeliveryFailure(printer->Name);
      return NullHandle;
    }
    std::lock_guard<std::mutex> lock(lock_);
    Handle handle = next_++;
    open_.emplace(handle, std::move(printer));
    return handle;
  }

  bool StartDoc(Handle handle, std::u16string_view documentName) override {
    return StartDocOfType(handle, documentName, {});
  }

  bool StartDocOfType(Handle handle, std::u16string_view documentName, std::string_view mimeType) override {
    auto printer = Find(handle, "StartDoc");
    if (!printer) return false;
    std::lock_guard<std::mutex> lock(printer->Lock);
    if (printer->State == DocState::Open) {
      spool::Report(printer->Name, "StartDoc refused: document '" + printer->DocName + "' is still open");
      return false;
    }
    printer->DocName = ToUtf8(documentName);
    printer->Dropped = 0;
    printer->DroppedWrites = 0;
    printer->Written = 0;
    printer->Counted = false;
    if (!(mimeType.empty() ? printer->Out->Start(printer->DocName)
                           : printer->Out->StartTyped(printer->DocName, mimeType))) {
      printer->State = DocState::Failed;
      CountFailure(*printer);
      return false;
    }
    printer->State = DocState::Open;
    return true;
  }

  bool StartPage(Handle handle) override { return PageMark(handle, "StartPage"); }
  bool EndPage(Handle handle) override { return PageMark(handle, "EndPage"); }

  bool Write(Handle handle, const uint8_t* data, size_t size, size_t& written) override {
    written = 0;
    auto printer = Find(handle, "Write");
    if (!printer) return false;
    std::lock_guard<std::mutex> lock(printer->Lock);
    if (printer->State == DocState::None) {
      spool::Report(printer->Name, "Write of " + std::to_string(size) + " bytes refused: no document is open");
      return false;
    }
    if (size == 0) return printer->State == DocState::Open;
    if (data == nullptr) {
      spool::Report(printer->Name, "Write of " + std::to_string(size) + " bytes refused: no data");
      return false;
    }
    if (printer->State == DocState::Failed) {
      // The reason was recorded when the document failed; one more record
      // says that the caller's later bytes are going nowhere.
      if (printer->DroppedWrites++ == 0)
        spool::Report(printer->Name, "document '" + printer->DocName + "' has failed; further writes are dropped");
      printer->Dropped += size;
      return false;
    }
    bool ok = printer->Out->Write(data, size, written);
    printer->Written += written;
    if (!ok) {
      printer->State = DocState::Failed;
      printer->Dropped += size - written;
      CountFailure(*printer);
    }
    return ok;
  }

  bool CanRead(Handle handle) override {
    auto printer = Find(handle, "CanRead");
    return printer && printer->Out->CanRead();
  }

  Heard Read(Handle handle, std::string& into, std::chrono::steady_clock::time_point deadline) override {
    auto printer = Find(handle, "Read");
    if (!printer) return Heard::Closed;
    std::lock_guard<std::mutex> lock(printer->Lock);
    if (printer->State != DocState::Open) return Heard::Closed;
    return printer->Out->Read(into, deadline);
  }

  bool EndDoc(Handle handle) override {
    auto printer = Find(handle, "EndDoc");
    if (!printer) return false;
    std::lock_guard<std::mutex> lock(printer->Lock);
    if (printer->State == DocState::None) {
      spool::Report(printer->Name, "EndDoc refused: no document is open");
      return false;
    }
    return EndDocument(*printer);
  }

  bool ClosePrinter(Handle handle) override {
    std::shared_ptr<Printer> printer;
    {
      std::lock_guard<std::mutex> lock(lock_);
      auto it = open_.find(handle);
      if (it == open_.end()) {
        Logger().Record("spooler: ClosePrinter with an unknown or closed printer handle " + std::to_string(handle));
        return false;
      }
      printer = std::move(it->second);
      open_.erase(it);
    }
    Finish(*printer, "the printer was closed before EndDoc");
    return true;
  }

 private:
  enum class DocState { None, Open, Failed };
  struct Printer {
    std::mutex Lock;
    std::string Name;
    std::unique_ptr<spool::Channel> Out;
    DocState State = DocState::None;
    std::string DocName;
    uint64_t Written = 0;
    uint64_t Dropped = 0;  // bytes the caller handed over that did not go
    uint64_t DroppedWrites = 0;
    bool Counted = false;  // this document's failure is counted
  };

  static void CountFailure(Printer& printer) {
    if (printer.Counted) return;
    printer.Counted = true;
    spool::CountDeliveryFailure(printer.Name);
  }

  std::shared_ptr<Printer> Find(Handle handle, const char* call) {
    std::lock_guard<std::mutex> lock(lock_);
    auto it = open_.find(handle);
    if (it != open_.end()) return it->second;
    Logger().Record(std::string("spooler: ") + call + " with an unknown or closed printer handle " +
                    std::to_string(handle));
    return nullptr;
  }

  bool PageMark(Handle handle, const char* call) {
    auto printer = Find(handle, call);
    if (!printer) return false;
    std::lock_guard<std::mutex> lock(printer->Lock);
    if (printer->State == DocState::None) {
      spool::Report(printer->Name, std::string(call) + " refused: no document is open");
      return false;
    }
    return printer->State == DocState::Open;
  }

  // Ends the document in whatever state it is; records what was lost.
  static bool EndDocument(Printer& printer) {
    bool ok = false;
    if (printer.State == DocState::Open) {
      ok = printer.Out->End();
      if (!ok) printer.State = DocState::Failed;
    }
    if (!ok) CountFailure(printer);
    if (!ok && printer.Dropped > 0)
      spool::Report(printer.Name, "document '" + printer.DocName + "' ended incomplete: " +
                                      std::to_string(printer.Dropped) + " of the caller's bytes were not sent");
    printer.State = DocState::None;
    return ok;
  }

  static void Finish(Printer& printer, const char* why) {
    std::lock_guard<std::mutex> lock(printer.Lock);
    if (printer.State == DocState::None) return;
    spool::Report(printer.Name, "document '" + printer.DocName + "' ended because " + why);
    EndDocument(printer);
  }

  std::mutex lock_;
  std::map<Handle, std::shared_ptr<Printer>> open_;
  // Handles are never reused within a process, so a stale handle cannot
  // reach a printer opened later.
  Handle next_ = 0x4D520001;
};

}  // namespace

std::shared_ptr<Spooler> MakeLinuxSpooler() { return std::make_shared<LinuxSpooler>(); }

}  // namespace morvel::platform
