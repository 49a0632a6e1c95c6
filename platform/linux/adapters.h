// The Linux adapters of the platform ports, each configured from the
// environment (see the README for the settings).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/services.h"
#include "platform/spooler.h"

namespace morvel::platform {

// printers.conf: INI, UTF-8, one section per printer titled with its exact
// name (blanks and case kept), with `uri =` and `dpi =` (203 when missing).
// Comments start with '#' or ';', on a line of their own or after a
// value or title and a blank. A relative file: path is taken
// from the folder of the file. A faulty line is recorded in the log with the
// file and line number and skipped; a printer whose title or dpi is faulty,
// that has no uri, or whose name repeats an earlier one is left out whole.
class PrintersConfSource : public PrinterSource {
 public:
  // `required`: the file was named explicitly, so a missing file is an error.
  PrintersConfSource(std::string path, bool required);
  std::vector<InstalledPrinter> List() override;
  std::string Origin() override { return path_; }

 private:
  std::string path_;
  bool required_;
};

// The printers of printers.conf text read from `path` (for the file's folder
// and the log records), as PrintersConfSource reads a file.
std::vector<InstalledPrinter> ReadPrintersConf(std::string_view text, const std::string& path);

// The printers of several sources, one after the other. A name that a later
// source repeats is kept (the list is the system's) and warned about once,
// with both origins: only the first can be reached.
class SystemPrinterList : public PrinterList {
 public:
  explicit SystemPrinterList(std::vector<std::shared_ptr<PrinterSource>> sources) : sources_(std::move(sources)) {}
  std::vector<InstalledPrinter> List() override;

 private:
  std::vector<std::shared_ptr<PrinterSource>> sources_;
};

// The printer sources of this machine: printers.conf first ($MORVEL_PRINTERS,
// which must exist; else the first existing of
// $XDG_CONFIG_HOME/morvel/printers.conf (~/.config/morvel/printers.conf when
// XDG_CONFIG_HOME is unset) and /etc/morvel/printers.conf, read when listed),
// then the source of every registered factory, in registration order.
std::vector<std::shared_ptr<PrinterSource>> DefaultPrinterSources();

// Registers another origin of printers (CUPS, for one) without touching the
// printers.conf code: a file defines a namespace-scope
//   static const bool registered = (AddPrinterSourceFactory(MakeMySource), true);
// and DefaultPrinterSources calls the factory each time it builds the list.
// A factory returns nullptr when its source is turned off. Factories run
// while the process-wide services are being built, so they must not use
// Current() or its shortcuts (Logger(), Ansi()); a source logs from List().
using PrinterSourceFactory = std::function<std::shared_ptr<PrinterSource>()>;
void AddPrinterSourceFactory(PrinterSourceFactory factory);

// Records a text in the log once per process: listings run on every
// printer look-up, and their warnings would otherwise repeat.
void RecordOnce(const std::string& text);

// The CUPS destinations (cups_printers.cpp), registered as a factory above;
// nullptr when MORVEL_CUPS=0.
std::shared_ptr<PrinterSource> MakeCupsPrinterSource();

std::shared_ptr<Screen> MakeLinuxScreen();              // MORVEL_SCREEN_DPI, else 96
std::shared_ptr<TextMeasure> MakeLinuxTextMeasure();    // fontconfig + FreeType
std::shared_ptr<CodePage> MakeLinuxCodePage();          // iconv; MORVEL_CODEPAGE or by locale
std::shared_ptr<NumberFormat> MakeLinuxNumberFormat();  // LC_NUMERIC of the user's locale
std::shared_ptr<TempFolder> MakeLinuxTempFolder();      // $TMPDIR or /tmp
std::shared_ptr<MessageSink> MakeStderrMessageSink();   // "[caption] text" on stderr
std::shared_ptr<Log> MakeLinuxLog();                    // MORVEL_LOG file, else stderr
std::shared_ptr<Pictures> MakeStbPictures();            // stb_image; BMP writer
std::shared_ptr<Spooler> MakeLinuxSpooler();            // socket://, cups:, file:

// The Windows code page the locale implies (zh_CN/zh_SG -> CP936,
// zh_TW/zh_HK/zh_MO -> CP950, other zh -> CP936, ja -> CP932, ko -> CP949,
// else CP1252, the C locale included), as an iconv name.
std::string CodePageForLocale(std::string_view localeName);

}  // namespace morvel::platform
