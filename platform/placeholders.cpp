// Adapters not yet written for Linux. Each is replaced by its own file.
#include "platform/linux_adapters.h"

namespace morvel::platform {
namespace {
class NoTextMeasure : public TextMeasure {
 public:
  TextExtent Measure(const FontSpec&, std::u16string_view, int) override { throw AutomationError(errors::ActionNotSupported); }
};
class Latin1CodePage : public CodePage {
 public:
  std::string Name() override { return "ISO-8859-1"; }
  std::string FromUnicode(std::u16string_view text) override {
    std::string out;
    for (char16_t c : text) out.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
    return out;
  }
  String ToUnicode(std::string_view bytes) override {
    String out;
    for (unsigned char b : bytes) out.push_back(b);
    return out;
  }
};
class NoPictures : public Pictures {
 public:
  PictureRef Decode(const uint8_t*, size_t) override { return nullptr; }
  std::vector<uint8_t> SaveBmp(const Picture&) override { return {}; }
};
class NoSpooler : public Spooler {
 public:
  Handle OpenPrinter(std::u16string_view) override { return NullHandle; }
  bool StartDoc(Handle, std::u16string_view) override { return false; }
  bool StartPage(Handle) override { return false; }
  bool Write(Handle, const uint8_t*, size_t, size_t& w) override { w = 0; return false; }
  bool EndPage(Handle) override { return false; }
  bool EndDoc(Handle) override { return false; }
  bool ClosePrinter(Handle) override { return false; }
};
class NoPrinters : public PrinterSource {
 public:
  std::vector<InstalledPrinter> List() override { return {}; }
};
}  // namespace

std::vector<InstalledPrinter> SystemPrinterList::List() {
  std::vector<InstalledPrinter> all;
  for (auto& s : sources_) {
    auto part = s->List();
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}
std::vector<std::shared_ptr<PrinterSource>> DefaultPrinterSources() { return {std::make_shared<NoPrinters>()}; }
std::shared_ptr<TextMeasure> MakeLinuxTextMeasure() { return std::make_shared<NoTextMeasure>(); }
std::shared_ptr<CodePage> MakeLinuxCodePage() { return std::make_shared<Latin1CodePage>(); }
std::shared_ptr<Pictures> MakeStbPictures() { return std::make_shared<NoPictures>(); }
std::shared_ptr<Spooler> MakeLinuxSpooler() { return std::make_shared<NoSpooler>(); }

}  // namespace morvel::platform
