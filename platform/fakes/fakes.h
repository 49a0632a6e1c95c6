// Recording fakes of every platform port, for tests: each one answers from
// plain fields that a test sets and records what it was asked.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/services.h"
#include "platform/spooler.h"

namespace morvel::platform {

class FakePrinterList : public PrinterList {
 public:
  std::vector<InstalledPrinter> Printers;
  int Calls = 0;
  std::vector<InstalledPrinter> List() override {
    ++Calls;
    return Printers;
  }
};

class FakeScreen : public Screen {
 public:
  int Ppi = 96;
  int PixelsPerInch() override { return Ppi; }
};

// Measures every character as 0.5 em wide (1 em in bold) and a line as
// 1.2 em high, so tests can compute the expected extents by hand.
class FakeTextMeasure : public TextMeasure {
 public:
  struct Call {
    FontSpec Font;
    String Text;
    int Ppi;
  };
  std::vector<Call> Calls;
  TextExtent Measure(const FontSpec& font, std::u16string_view text, int pixelsPerInch) override;
};

// Latin-1 as the ANSI code page: U+0000..U+00FF map to one byte each,
// everything else becomes '?'.
class FakeCodePage : public CodePage {
 public:
  int Conversions = 0;
  std::string Name() override { return "ISO-8859-1"; }
  std::string FromUnicode(std::u16string_view text) override;
  String ToUnicode(std::string_view bytes) override;
};

class FakeNumberFormat : public NumberFormat {
 public:
  char16_t Separator = u'.';
  char16_t DecimalSeparator() override { return Separator; }
};

class FakeTempFolder : public TempFolder {
 public:
  std::string Folder = "/tmp/";
  std::string Path() override { return Folder; }
};

class RecordingMessageSink : public MessageSink {
 public:
  std::vector<std::pair<std::string, std::string>> Shown;  // caption, text
  void Show(std::string_view caption, std::string_view text) override {
    Shown.emplace_back(std::string(caption), std::string(text));
  }
};

class RecordingLog : public Log {
 public:
  std::vector<std::string> Records;
  void Record(std::string_view text) override { Records.emplace_back(text); }
  void Note(std::string_view text) override { Records.emplace_back(text); }
};

// Decodes with the real decoder and records every call.
// Counts the calls and hands them to the system's own decoder and BMP
// writer: the set of adapters in place when it was made.
class RecordingPictures : public Pictures {
 public:
  int Decodes = 0;
  int Saves = 0;
  PictureRef Decode(const uint8_t* data, size_t size) override;
  std::vector<uint8_t> SaveBmp(const Picture& picture) override;

 private:
  std::shared_ptr<Pictures> system_ = Current().Images;
};

// Records the spooler calls in order and keeps every document's bytes.
class RecordingSpooler : public Spooler {
 public:
  struct Document {
    String PrinterName;
    String Name;
    std::vector<std::vector<uint8_t>> Writes;  // one entry per Write call
    bool Ended = false;
    std::string Type;           // the MIME type of StartDocOfType; empty for raw
    std::string Bytes() const;  // all writes joined
  };
  // Printers that OpenPrinter finds; empty means every name opens.
  std::vector<String> KnownPrinters;
  std::vector<std::string> Calls;  // "OpenPrinter", "StartDoc", ... in order
  std::vector<Document> Documents;

  Handle OpenPrinter(std::u16string_view printerName) override;
  bool StartDoc(Handle printer, std::u16string_view documentName) override;
  bool StartDocOfType(Handle printer, std::u16string_view documentName, std::string_view mimeType) override;
  bool StartPage(Handle printer) override;
  bool Write(Handle printer, const uint8_t* data, size_t size, size_t& written) override;
  bool EndPage(Handle printer) override;
  bool EndDoc(Handle printer) override;
  bool ClosePrinter(Handle printer) override;

 private:
  struct Open {
    String Name;
    int Document = -1;  // index into Documents while a document is open
  };
  std::map<Handle, Open> open_;
  Handle next_ = 1;
};

// A full set of fakes with typed access to each.
struct FakeServices {
  std::shared_ptr<FakePrinterList> Printers = std::make_shared<FakePrinterList>();
  std::shared_ptr<FakeScreen> ScreenInfo = std::make_shared<FakeScreen>();
  std::shared_ptr<FakeTextMeasure> Text = std::make_shared<FakeTextMeasure>();
  std::shared_ptr<FakeCodePage> Ansi = std::make_shared<FakeCodePage>();
  std::shared_ptr<FakeNumberFormat> Numbers = std::make_shared<FakeNumberFormat>();
  std::shared_ptr<FakeTempFolder> Temp = std::make_shared<FakeTempFolder>();
  std::shared_ptr<RecordingMessageSink> Messages = std::make_shared<RecordingMessageSink>();
  std::shared_ptr<RecordingLog> Logger = std::make_shared<RecordingLog>();
  std::shared_ptr<RecordingPictures> Images = std::make_shared<RecordingPictures>();
  std::shared_ptr<RecordingSpooler> Spool = std::make_shared<RecordingSpooler>();

  Services AsServices() const {
    return Services{Printers, ScreenInfo, Text, Ansi, Numbers, Temp, Messages, Logger, Images, Spool};
  }
};

}  // namespace morvel::platform
