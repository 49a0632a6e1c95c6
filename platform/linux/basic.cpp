// Small Linux adapters: screen resolution, temporary folder, number format,
// message sink and failure log; and the set of all Linux adapters.
#include <langinfo.h>
#include <locale.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>

#include "platform/linux/adapters.h"

namespace morvel::platform {
namespace {

class EnvScreen : public Screen {
 public:
  int PixelsPerInch() override {
    const char* v = std::getenv("MORVEL_SCREEN_DPI");
    if (v == nullptr || *v == '\0') return 96;
    char* end = nullptr;
    long dpi = std::strtol(v, &end, 10);
    if (*end != '\0' || dpi < 1 || dpi > 10000) return 96;
    return static_cast<int>(dpi);
  }
};

class EnvTempFolder : public TempFolder {
 public:
  std::string Path() override {
    const char* v = std::getenv("TMPDIR");
    std::string path = (v != nullptr && *v != '\0') ? v : "/tmp";
    if (path.back() != '/') path.push_back('/');
    return path;
  }
};

class LocaleNumberFormat : public NumberFormat {
 public:
  char16_t DecimalSeparator() override {
    // Loading a locale reads its files from disk, and every number written
    // or read asks: the answer is kept until the settings it came from change.
    thread_local Settings cached;
    thread_local char16_t separator = u'.';
    Settings now = Current();
    if (!cached.Valid || now != cached) {
      separator = Load();
      cached = std::move(now);
      cached.Valid = true;
    }
    return separator;
  }

 private:
  struct Settings {
    bool Valid = false;
    std::string LcAll, LcNumeric, Lang;
    bool operator!=(const Settings& o) const { return LcAll != o.LcAll || LcNumeric != o.LcNumeric || Lang != o.Lang; }
  };

  static Settings Current() {
    auto get = [](const char* name) {
      const char* v = std::getenv(name);
      return std::string(v != nullptr ? v : "");
    };
    return Settings{false, get("LC_ALL"), get("LC_NUMERIC"), get("LANG")};
  }

  static char16_t Load() {
    // The user's locale, from LC_ALL / LC_NUMERIC / LANG, without touching
    // the process-wide locale.
    locale_t loc = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
    if (loc == static_cast<locale_t>(nullptr)) return u'.';
    const char* radix = nl_langinfo_l(RADIXCHAR, loc);
    String sep = FromUtf8(radix != nullptr ? radix : ".");
    freelocale(loc);
    return sep.size() == 1 ? sep[0] : u'.';
  }
};

class StderrMessageSink : public MessageSink {
 public:
  void Show(std::string_view caption, std::string_view text) override {
    std::string line = "[" + std::string(caption) + "] " + std::string(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
  }
};

class FileLog : public Log {
 public:
  void Record(std::string_view text) override { Write(text, true); }
  void Note(std::string_view text) override { Write(text, false); }
  std::string Place() override {
    std::lock_guard<std::mutex> lock(lock_);
    if (!last_.empty()) return last_;
    const char* path = std::getenv("MORVEL_LOG");
    return path != nullptr && *path != '\0' ? path : Stderr;
  }

 private:
  // To the MORVEL_LOG file, else (with `orStderr`) to standard error.
  void Write(std::string_view text, bool orStderr) {
    const char* path = std::getenv("MORVEL_LOG");
    const bool toFile = path != nullptr && *path != '\0';
    if (!toFile && !orStderr) return;
    std::lock_guard<std::mutex> lock(lock_);
    char stamp[32];
    std::time_t now = std::time(nullptr);
    struct tm tm;
    gmtime_r(&now, &tm);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &tm);
    std::string line = std::string(stamp) + " morvel[" + std::to_string(getpid()) + "]: " + std::string(text) + "\n";
    if (toFile) {
      if (FILE* f = std::fopen(path, "a")) {
        std::fwrite(line.data(), 1, line.size(), f);
        std::fclose(f);
        last_ = path;
        return;
      }
    }
    if (!orStderr) return;
    std::fwrite(line.data(), 1, line.size(), stderr);
    last_ = Stderr;
  }

  static constexpr const char* Stderr = "the records above";
  std::mutex lock_;
  std::string last_;  // where the last record went
};

}  // namespace

std::shared_ptr<Screen> MakeLinuxScreen() { return std::make_shared<EnvScreen>(); }
std::shared_ptr<TempFolder> MakeLinuxTempFolder() { return std::make_shared<EnvTempFolder>(); }
std::shared_ptr<NumberFormat> MakeLinuxNumberFormat() { return std::make_shared<LocaleNumberFormat>(); }
std::shared_ptr<MessageSink> MakeStderrMessageSink() { return std::make_shared<StderrMessageSink>(); }
std::shared_ptr<Log> MakeLinuxLog() { return std::make_shared<FileLog>(); }

Services LinuxServices() {
  Services s;
  s.Printers = std::make_shared<SystemPrinterList>(DefaultPrinterSources());
  s.ScreenInfo = MakeLinuxScreen();
  s.Text = MakeLinuxTextMeasure();
  s.Ansi = MakeLinuxCodePage();
  s.Numbers = MakeLinuxNumberFormat();
  s.Temp = MakeLinuxTempFolder();
  s.Messages = MakeStderrMessageSink();
  s.Logger = MakeLinuxLog();
  s.Images = MakeStbPictures();
  s.Spool = MakeLinuxSpooler();
  return s;
}

Services SystemServices() { return LinuxServices(); }

std::string ApplicationCaption() { return program_invocation_short_name; }

}  // namespace morvel::platform
