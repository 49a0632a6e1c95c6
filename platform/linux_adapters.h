// The Linux adapters of the platform ports, each configured from the
// environment (see the README for the settings).
#pragma once

#include <memory>
#include <string>

#include "platform/services.h"
#include "platform/spooler.h"

namespace morvel::platform {

// printers.conf: INI, one section per printer titled with its exact name,
// with `uri =` and `dpi =`. A relative file: path is taken from the folder of
// the file.
class PrintersConfSource : public PrinterSource {
 public:
  // `required`: the file was named explicitly, so a missing file is an error.
  PrintersConfSource(std::string path, bool required);
  std::vector<InstalledPrinter> List() override;

 private:
  std::string path_;
  bool required_;
};

// The printers of several sources, one after the other.
class SystemPrinterList : public PrinterList {
 public:
  explicit SystemPrinterList(std::vector<std::shared_ptr<PrinterSource>> sources)
      : sources_(std::move(sources)) {}
  std::vector<InstalledPrinter> List() override;

 private:
  std::vector<std::shared_ptr<PrinterSource>> sources_;
};

// The printer sources of this machine: printers.conf ($MORVEL_PRINTERS, else
// $XDG_CONFIG_HOME/morvel/printers.conf, else /etc/morvel/printers.conf),
// then whatever other sources are built in.
std::vector<std::shared_ptr<PrinterSource>> DefaultPrinterSources();

std::shared_ptr<Screen> MakeLinuxScreen();            // MORVEL_SCREEN_DPI, else 96
std::shared_ptr<TextMeasure> MakeLinuxTextMeasure();  // fontconfig + FreeType
std::shared_ptr<CodePage> MakeLinuxCodePage();        // iconv; MORVEL_CODEPAGE or by locale
std::shared_ptr<NumberFormat> MakeLinuxNumberFormat();  // LC_NUMERIC of the user's locale
std::shared_ptr<TempFolder> MakeLinuxTempFolder();    // $TMPDIR or /tmp
std::shared_ptr<MessageSink> MakeStderrMessageSink(); // "[caption] text" on stderr
std::shared_ptr<Log> MakeLinuxLog();                  // MORVEL_LOG file, else stderr
std::shared_ptr<Pictures> MakeStbPictures();          // stb_image; BMP writer
std::shared_ptr<Spooler> MakeLinuxSpooler();          // socket://, cups:, file:

// The Windows code page the locale implies (zh_CN/zh_SG -> CP936,
// zh_TW/zh_HK -> CP950, ja -> CP932, ko -> CP949, else CP1252), as an iconv name.
std::string CodePageForLocale(std::string_view localeName);

}  // namespace morvel::platform
