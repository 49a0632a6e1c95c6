// Installed printers from printers.conf files, the list of every printer
// source, and the registry through which other files add sources.
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <unordered_set>

#include "core/utf8.h"
#include "platform/linux/adapters.h"
#include "platform/text_case.h"

namespace morvel::platform {
namespace {

namespace fs = std::filesystem;

constexpr int DefaultDpi = 203;
// Beyond any printer; also keeps the value far from int overflow.
constexpr long MaxDpi = 100000;
constexpr double MinLabelSideMm = 1, MaxLabelSideMm = 2000;

std::string_view Trim(std::string_view s) {
  size_t begin = s.find_first_not_of(" \t");
  if (begin == std::string_view::npos) return {};
  size_t end = s.find_last_not_of(" \t");
  return s.substr(begin, end - begin + 1);
}

// A language's word: 1 to 16 letters and digits.
bool IsLanguageWord(std::string_view value) {
  if (value.empty() || value.size() > 16) return false;
  return std::all_of(value.begin(), value.end(),
                     [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); });
}

std::optional<int> ParseDpi(std::string_view value) {
  if (value.empty() || value.size() > 9) return std::nullopt;
  long dpi = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return std::nullopt;
    dpi = dpi * 10 + (c - '0');
  }
  if (dpi < 1 || dpi > MaxDpi) return std::nullopt;
  return static_cast<int>(dpi);
}

// A label side in millimetres: digits with at most one '.', from 1 mm to
// 2 m (read without the locale, as the file is shared between users).
std::optional<double> ParseMillimetres(std::string_view value) {
  if (value.empty() || value.size() > 12) return std::nullopt;
  double whole = 0, scale = 0;
  for (char c : value) {
    if (c == '.' && scale == 0) {
      scale = 1;
    } else if (c >= '0' && c <= '9') {
      whole = whole * 10 + (c - '0');
      if (scale > 0) scale *= 10;
    } else {
      return std::nullopt;
    }
  }
  const double mm = scale > 0 ? whole / scale : whole;
  if (!(mm >= MinLabelSideMm && mm <= MaxLabelSideMm)) return std::nullopt;
  return mm;
}

// A socket:// uri's port, when it names one, is 1..65535: a larger one would
// reach another port, wrapped round by the resolver.
bool SocketPortFits(std::string_view uri) {
  if (!text::StartsWithIgnoreCaseAscii(uri, "socket://")) return true;
  std::string_view authority = uri.substr(9, uri.find_first_of("/?", 9) - 9);
  size_t colon = authority.starts_with("[") ? authority.find("]:") : authority.find(':');
  if (colon == std::string_view::npos) return true;
  std::string_view port = authority.substr(colon + (authority[colon] == ']' ? 2 : 1));
  const std::optional<int> number = port.size() <= 5 ? ParseDpi(port) : std::nullopt;  // digits alone, from 1
  return number && *number <= 65535;
}

// A file: uri with a relative path names a folder beside the conf file, so a
// conf file and its job folders can move together.
std::string ResolveUri(const std::string& uri, const fs::path& confFolder) {
  constexpr std::string_view scheme = "file:";
  if (!text::StartsWithIgnoreCaseAscii(uri, scheme)) return uri;
  std::string path = uri.substr(scheme.size());
  if (!path.empty() && path.front() == '/') return uri;
  return std::string(scheme) + (confFolder / path).lexically_normal().string();
}

// One printers.conf being read: the printer under construction and the
// printers finished so far.
class ConfReader {
 public:
  explicit ConfReader(std::string path) : path_(std::move(path)) {
    std::error_code ec;
    fs::path absolute = fs::absolute(path_, ec);
    folder_ = (ec ? fs::path(path_) : absolute).parent_path();
  }

  std::vector<InstalledPrinter> Read(std::istream& in) {
    std::string line;
    lineNumber_ = 0;
    while (std::getline(in, line)) {
      ++lineNumber_;
      std::string_view text = line;
      if (lineNumber_ == 1 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
      if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
      ReadLine(Trim(text));
    }
    Finish();
    return std::move(printers_);
  }

 private:
  struct Section {
    std::string Name;
    unsigned Line = 0;
    std::optional<std::string> Uri;
    int Dpi = DefaultDpi;
    std::string Preview;
    double WidthMm = 0, HeightMm = 0;
    std::string Language;
    bool Faulty = false;  // already reported; the printer is left out
  };

  void Warn(unsigned line, const std::string& text) {
    RecordOnce("printers.conf " + path_ + ":" + std::to_string(line) + ": " + text);
  }

  void ReadLine(std::string_view text) {
    if (text.empty() || text.front() == '#' || text.front() == ';') return;
    text = WithoutComment(text);
    if (text.front() == '[') return StartSection(text);
    size_t equals = text.find('=');
    if (equals == std::string_view::npos) {
      Warn(lineNumber_, "not a section, key or comment: '" + std::string(text) + "'; line skipped");
      return;
    }
    std::string_view key = Trim(text.substr(0, equals));
    std::string_view value = Trim(text.substr(equals + 1));
    if (!section_) {
      Warn(lineNumber_, "key '" + std::string(key) + "' outside a printer section; line skipped");
      return;
    }
    if (section_->Faulty) return;
    if (text::EqualsIgnoreCaseAscii(key, "uri")) {
      if (section_->Uri) Warn(lineNumber_, "uri given twice for '" + section_->Name + "'; the later one counts");
      section_->Uri = std::string(value);
      if (!SocketPortFits(value)) {
        Warn(lineNumber_,
             "uri '" + std::string(value) + "': the port must be 1..65535; printer '" + section_->Name + "' left out");
        section_->Faulty = true;
      }
    } else if (text::EqualsIgnoreCaseAscii(key, "dpi")) {
      if (auto dpi = ParseDpi(value)) {
        section_->Dpi = *dpi;
      } else {
        Warn(lineNumber_, "dpi '" + std::string(value) + "' is not a positive whole number; printer '" +
                              section_->Name + "' left out");
        section_->Faulty = true;
      }
    } else if (text::EqualsIgnoreCaseAscii(key, "width") || text::EqualsIgnoreCaseAscii(key, "height")) {
      const bool width = text::EqualsIgnoreCaseAscii(key, "width");
      if (auto mm = ParseMillimetres(value))
        (width ? section_->WidthMm : section_->HeightMm) = *mm;
      else
        Warn(lineNumber_, std::string(width ? "width" : "height") + " '" + std::string(value) +
                              "' is not a length in millimetres from 1 to 2000 (e.g. 101.6); line skipped");
    } else if (text::EqualsIgnoreCaseAscii(key, "language")) {
      if (IsLanguageWord(value))
        section_->Language = text::ToLowerAscii(value);
      else
        Warn(lineNumber_, "language '" + std::string(value) + "' is not a language's word (such as zpl); line skipped");
    } else if (text::EqualsIgnoreCaseAscii(key, "preview")) {
      if (text::EqualsIgnoreCaseAscii(value, "png") || text::EqualsIgnoreCaseAscii(value, "none"))
        section_->Preview = text::EqualsIgnoreCaseAscii(value, "png") ? "png" : "";
      else
        Warn(lineNumber_, "preview '" + std::string(value) + "' is neither png nor none; line skipped");
    } else {
      Warn(lineNumber_, "unknown key '" + std::string(key) + "'; line skipped");
    }
  }

  // A comment may follow a value or a title after a blank: "uri = file:jobs
  // # one file per job". Names and uris hold no blank before a '#' or ';'
  // that they mean; a title's own text is everything inside its brackets.
  static std::string_view WithoutComment(std::string_view text) {
    size_t from = 0;
    if (text.front() == '[') {
      size_t close = text.rfind(']');
      if (close == std::string_view::npos) return text;
      size_t next = text.find_first_not_of(" \t", close + 1);
      if (next != std::string_view::npos && (text[next] == '#' || text[next] == ';')) return text.substr(0, close + 1);
      from = close + 1;
    }
    for (size_t i = std::max<size_t>(from, 1); i < text.size(); ++i)
      if ((text[i] == '#' || text[i] == ';') && (text[i - 1] == ' ' || text[i - 1] == '\t'))
        return Trim(text.substr(0, i));
    return text;
  }

  void StartSection(std::string_view text) {
    Finish();
    section_ = Section();
    section_->Line = lineNumber_;
    if (text.back() != ']' || Trim(text.substr(1, text.size() - 2)).empty()) {
      Warn(lineNumber_, "faulty printer title '" + std::string(text) + "'; section left out");
      section_->Faulty = true;
      return;
    }
    // The title is the printer's name exactly, so blanks inside the brackets stay.
    section_->Name = std::string(text.substr(1, text.size() - 2));
    if (!core::IsUtf8(section_->Name)) {
      Warn(lineNumber_, "printer title is not UTF-8; section left out");
      section_->Faulty = true;
    }
  }

  void Finish() {
    if (!section_) return;
    Section section = std::move(*section_);
    section_.reset();
    if (section.Faulty) return;
    if (!section.Uri || section.Uri->empty()) {
      Warn(section.Line, "printer '" + section.Name + "' has no uri; left out");
      return;
    }
    for (const auto& seen : names_) {
      if (text::EqualsIgnoreCase(FromUtf8(seen), FromUtf8(section.Name))) {
        Warn(section.Line, "printer '" + section.Name + "' is listed twice; the later one left out");
        return;
      }
    }
    names_.push_back(section.Name);
    printers_.push_back(InstalledPrinter{FromUtf8(section.Name), section.Dpi, ResolveUri(*section.Uri, folder_),
                                         section.Preview, section.WidthMm, section.HeightMm, section.Language});
  }

  std::string path_;
  fs::path folder_;
  unsigned lineNumber_ = 0;
  std::optional<Section> section_;
  std::vector<std::string> names_;
  std::vector<InstalledPrinter> printers_;
};

int ErrorForErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR: return errors::FileNotFound;
    case EACCES:
    case EPERM: return errors::PermissionDenied;
    default: return errors::PathFileAccessError;
  }
}

// The user's printers.conf if there is one, else the machine's; looked up at
// each listing so that a file written after start-up counts.
class FirstExistingConfSource : public PrinterSource {
 public:
  explicit FirstExistingConfSource(std::vector<std::string> candidates) : candidates_(std::move(candidates)) {}

  std::vector<InstalledPrinter> List() override {
    for (const auto& path : candidates_) {
      std::error_code ec;
      if (!fs::exists(path, ec)) continue;
      found_ = path;
      return PrintersConfSource(path, false).List();
    }
    return {};
  }
  std::string Origin() override { return found_; }

 private:
  std::string found_;

 private:
  std::vector<std::string> candidates_;
};

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return home;
  struct passwd entry;
  struct passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr && found->pw_dir != nullptr)
    return found->pw_dir;
  return {};
}

struct FactoryRegistry {
  std::mutex Lock;
  std::vector<PrinterSourceFactory> Factories;
};

FactoryRegistry& Registry() {
  static FactoryRegistry* registry = new FactoryRegistry;  // usable from any static initialiser
  return *registry;
}

}  // namespace

PrintersConfSource::PrintersConfSource(std::string path, bool required) : path_(std::move(path)), required_(required) {}

std::vector<InstalledPrinter> PrintersConfSource::List() {
  std::ifstream in(path_, std::ios::binary);
  if (!in) {
    int error = errno;
    std::error_code ec;
    if (fs::is_directory(path_, ec)) error = EISDIR;
    if (required_) {
      Logger().Record("printers.conf " + path_ + ": cannot read: " + std::strerror(error));
      throw AutomationError(ErrorForErrno(error));
    }
    if (error != ENOENT && error != ENOTDIR)
      Logger().Record("printers.conf " + path_ + ": cannot read: " + std::strerror(error));
    return {};
  }
  return ConfReader(path_).Read(in);
}

std::vector<InstalledPrinter> ReadPrintersConf(std::string_view text, const std::string& path) {
  std::istringstream in{std::string(text)};
  return ConfReader(path).Read(in);
}

std::vector<InstalledPrinter> SystemPrinterList::List() {
  std::vector<InstalledPrinter> all;
  std::vector<std::string> origins;
  for (auto& source : sources_) {
    auto part = source->List();
    std::string origin = part.empty() ? std::string() : source->Origin();
    for (auto& printer : part) {
      for (size_t i = 0; i < all.size(); ++i) {
        if (!text::EqualsIgnoreCase(all[i].Name, printer.Name)) continue;
        RecordOnce("printer '" + ToUtf8(printer.Name) + "' is defined twice: in " + origins[i] + " (" + all[i].Uri +
                   ") and in " + origin + " (" + printer.Uri + "); only the first can be reached, rename one of them");
        break;
      }
      origins.push_back(origin);
      all.push_back(std::move(printer));
    }
  }
  return all;
}

void RecordOnce(const std::string& text) {
  static std::mutex lock;
  static auto* said = new std::unordered_set<std::string>;  // usable until the process ends
  {
    std::lock_guard<std::mutex> guard(lock);
    // A long-lived process reading ever new files says old things again
    // rather than keep every text.
    if (said->size() >= 4096) said->clear();
    if (!said->insert(text).second) return;
  }
  Logger().Record(text);
}

void AddPrinterSourceFactory(PrinterSourceFactory factory) {
  auto& registry = Registry();
  std::lock_guard<std::mutex> lock(registry.Lock);
  registry.Factories.push_back(std::move(factory));
}

std::vector<std::shared_ptr<PrinterSource>> DefaultPrinterSources() {
  std::vector<std::shared_ptr<PrinterSource>> sources;
  const char* named = std::getenv("MORVEL_PRINTERS");
  if (named != nullptr && *named != '\0') {
    sources.push_back(std::make_shared<PrintersConfSource>(named, true));
  } else {
    std::vector<std::string> candidates;
    // XDG asks that a relative XDG_CONFIG_HOME be ignored.
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
      candidates.push_back(std::string(xdg) + "/morvel/printers.conf");
    } else if (std::string home = HomeFolder(); !home.empty()) {
      candidates.push_back(home + "/.config/morvel/printers.conf");
    }
    candidates.push_back("/etc/morvel/printers.conf");
    sources.push_back(std::make_shared<FirstExistingConfSource>(std::move(candidates)));
  }
  std::vector<PrinterSourceFactory> factories;
  {
    auto& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.Lock);
    factories = registry.Factories;
  }
  for (auto& factory : factories)
    if (auto source = factory()) sources.push_back(std::move(source));
  return sources;
}

}  // namespace morvel::platform
