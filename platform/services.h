// The operating-system services the control and the drivers use, one port
// (interface) per service, and the process-wide set of adapters behind them.
// Linux adapters live beside this file; tests swap in the recording fakes of
// fakes.h through ScopedServices.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "morvel/picture.h"
#include "morvel/types.h"

namespace morvel::platform {

// An installed printer as the system lists it.
struct InstalledPrinter {
  String Name;               // the printer's name exactly as configured
  int Dpi = 203;             // resolution in dots per inch
  std::string Uri;           // where its bytes go: socket://, cups:, file:
  std::string Preview = {};  // file: printers: "png" draws a picture beside each job
  double WidthMm = 0;        // the label's width and height in millimetres; 0 when not told
  double HeightMm = 0;
  // The word of the language it speaks as printers.conf says it ("zpl",
  // "sbpl", "orx"...), lower case; empty when not told. The brands' rule
  // reads it (drivers/Brands.h); this layer does not know the languages.
  std::string Language = {};
  // The name of its system driver (Windows: "ZDesigner LP 2844 (EPL)"),
  // UTF-8; empty where printers have none. The brands' rule reads it too.
  std::string Driver = {};
  friend bool operator==(const InstalledPrinter&, const InstalledPrinter&) = default;
};

// One origin of installed printers (printers.conf, CUPS, ...).
class PrinterSource {
 public:
  virtual ~PrinterSource() = default;
  // Printers in this source's order. Raises AutomationError when the source
  // is configured but cannot be read.
  virtual std::vector<InstalledPrinter> List() = 0;
  // Where the printers of the last List came from, for messages.
  virtual std::string Origin() { return "another source"; }
};

// The installed printers of the user, in system order.
class PrinterList {
 public:
  virtual ~PrinterList() = default;
  virtual std::vector<InstalledPrinter> List() = 0;
};

// Screen resolution.
class Screen {
 public:
  virtual ~Screen() = default;
  virtual int PixelsPerInch() = 0;
};

// Extent of a text in a font, in screen pixels.
struct TextExtent {
  double Width = 0;
  double Height = 0;
};

struct FontSpec {
  std::string Face;  // face name, UTF-8
  double Points = 8.25;
  bool Bold = false;
};

// Measures text the way the system measures a line: width of the widest
// line, height covering every line.
class TextMeasure {
 public:
  virtual ~TextMeasure() = default;
  virtual TextExtent Measure(const FontSpec& font, std::u16string_view text, int pixelsPerInch) = 0;
};

// The system ANSI code page.
class CodePage {
 public:
  virtual ~CodePage() = default;
  // The iconv name of the code page in use, for example CP1252.
  virtual std::string Name() = 0;
  // UTF-16 to ANSI bytes; a character the code page lacks becomes '?'.
  virtual std::string FromUnicode(std::u16string_view text) = 0;
  // ANSI bytes to UTF-16; a byte sequence the code page cannot read becomes '?'.
  virtual String ToUnicode(std::string_view bytes) = 0;
};

// The user's number format.
class NumberFormat {
 public:
  virtual ~NumberFormat() = default;
  virtual char16_t DecimalSeparator() = 0;
};

// Temporary folder.
class TempFolder {
 public:
  virtual ~TempFolder() = default;
  // The folder path with its trailing '/'.
  virtual std::string Path() = 0;
};

// Where message boxes go: one modal message with an OK button.
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void Show(std::string_view caption, std::string_view text) = 0;
};

// Where the platform records failures that the system keeps silent to hosts
// (spooler results, library results), so a user can find out why nothing printed.
class Log {
 public:
  virtual ~Log() = default;
  virtual void Record(std::string_view text) = 0;
  // A record of what went as it should (a tag written), kept where records
  // go to a file, never shown on a screen: a terminal would drown in them.
  virtual void Note(std::string_view text) {}
  // Where the records go (a file's path), as a program tells its user to
  // look: where the last record went, else where the next would go.
  virtual std::string Place() { return "the records above"; }
};

// Picture files.
class Pictures {
 public:
  virtual ~Pictures() = default;
  // Decodes BMP, PNG, JPEG or GIF bytes; none when the bytes are no image.
  virtual PictureRef Decode(const uint8_t* data, size_t size) = 0;
  // The picture as a BMP file.
  virtual std::vector<uint8_t> SaveBmp(const Picture& picture) = 0;
};

class Spooler;  // spooler.h

// The adapters in use. Every pointer is set.
struct Services {
  std::shared_ptr<PrinterList> Printers;
  std::shared_ptr<Screen> ScreenInfo;
  std::shared_ptr<TextMeasure> Text;
  std::shared_ptr<CodePage> Ansi;
  std::shared_ptr<NumberFormat> Numbers;
  std::shared_ptr<TempFolder> Temp;
  std::shared_ptr<MessageSink> Messages;
  std::shared_ptr<Log> Logger;
  std::shared_ptr<Pictures> Images;
  std::shared_ptr<Spooler> Spool;
};

// The process-wide services: the system's adapters unless replaced.
const Services& Current();
// The adapters of the system this build is for (LinuxServices on Linux).
Services SystemServices();
// The Linux adapters, configured from the environment.
Services LinuxServices();
// Replaces the process-wide services; returns the previous set.
Services Replace(Services services);

// Replaces the services for a scope (tests); restores them at its end.
class ScopedServices {
 public:
  explicit ScopedServices(Services services) : previous_(Replace(std::move(services))) {}
  ~ScopedServices() { Replace(std::move(previous_)); }
  ScopedServices(const ScopedServices&) = delete;
  ScopedServices& operator=(const ScopedServices&) = delete;

 private:
  Services previous_;
};

// Failures the platform records that members keep silent by contract (the
// spooler's and the code page's), counted for the process so that a host can
// tell its user that a label did not arrive whole: read before and after.
enum class Incident { DeliveryFailure, UnknownPrinter, ReplacedCharacters };
struct IncidentCounts {
  uint64_t DeliveryFailures = 0;    // documents or opens that did not reach the printer
  uint64_t UnknownPrinters = 0;     // opens of a name no installed printer has
  uint64_t ReplacedCharacters = 0;  // texts whose characters the code page lacks became '?'
  uint64_t Total() const { return DeliveryFailures + UnknownPrinters + ReplacedCharacters; }
  IncidentCounts operator-(const IncidentCounts& o) const {
    return {DeliveryFailures - o.DeliveryFailures, UnknownPrinters - o.UnknownPrinters,
            ReplacedCharacters - o.ReplacedCharacters};
  }
};
// `printer` and `reason` say which printer and why, where known.
void CountIncident(Incident incident, std::string_view printer = {}, std::string_view reason = {});
IncidentCounts Incidents();

// Hears of every incident counted on the thread that installed it, so a host
// that serves several callers on threads of their own (the web bridge) can
// tell each caller of its own failures. Installed for a scope.
class IncidentObserver {
 public:
  IncidentObserver();
  virtual ~IncidentObserver();
  IncidentObserver(const IncidentObserver&) = delete;
  IncidentObserver& operator=(const IncidentObserver&) = delete;
  virtual void Heard(Incident incident, std::string_view printer, std::string_view reason) = 0;

 private:
  IncidentObserver* previous_;
};

// Shortcuts to the current adapters.
inline CodePage& Ansi() { return *Current().Ansi; }
inline Log& Logger() { return *Current().Logger; }
void ShowMessage(std::string_view text);  // with the application's default caption
std::string ApplicationCaption();

}  // namespace morvel::platform
