// The demo brands' printers of tests/support/printers/printers.conf,
// written into a test's own folder with the test's own places for their
// jobs: a test names the printers it wants and where each one's jobs go,
// never their lines.
#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace morvel::testing {

struct TestPrinter {
  std::string Name;               // a section of the shared file
  std::string Uri = "file:jobs";  // file:FOLDER (beside printers.conf unless absolute), socket://HOST:PORT
  // Lines to add or values to change ({"preview", "png"}, {"width", "101.6"});
  // an empty value leaves the shared file's line out.
  std::vector<std::pair<std::string, std::string>> Keys = {};
  // The name it is installed under when a test needs a second printer of
  // the brand, or its own name in the listings; empty: Name.
  std::string InstalledAs = {};
};

inline std::string SocketUri(int port) { return "socket://127.0.0.1:" + std::to_string(port); }

namespace detail {

inline std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

// The shared file's sections: name to its key and value lines in order.
using Sections = std::map<std::string, std::vector<std::pair<std::string, std::string>>>;

inline const Sections& SharedPrinters() {
  static const Sections sections = [] {
    const std::string path = MORVEL_SOURCE_DIR "/tests/support/printers/printers.conf";
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot read " + path);
    Sections read;
    std::vector<std::pair<std::string, std::string>>* section = nullptr;
    for (std::string line; std::getline(in, line);) {
      line = Trim(line);
      if (line.empty() || line[0] == '#') continue;
      if (line.front() == '[' && line.back() == ']') {
        section = &read[line.substr(1, line.size() - 2)];
      } else if (auto eq = line.find('='); section && eq != std::string::npos) {
        section->emplace_back(Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)));
      }
    }
    return read;
  }();
  return sections;
}

}  // namespace detail

// The printers.conf text of `printers`, in the order given, then `more`
// (a test's own odd entries). A name the shared file lacks throws.
inline std::string PrintersConf(const std::vector<TestPrinter>& printers, const std::string& more = "") {
  std::ostringstream out;
  for (const TestPrinter& p : printers) {
    auto found = detail::SharedPrinters().find(p.Name);
    if (found == detail::SharedPrinters().end())
      throw std::invalid_argument("'" + p.Name + "' is none of tests/support/printers/printers.conf's printers");
    auto keys = found->second;
    auto set = [&keys](const std::string& key, const std::string& value) {
      for (auto& line : keys)
        if (line.first == key) return void(line.second = value);
      keys.emplace_back(key, value);
    };
    set("uri", p.Uri);
    for (const auto& [key, value] : p.Keys) set(key, value);
    out << "[" << (p.InstalledAs.empty() ? p.Name : p.InstalledAs) << "]\n";
    for (const auto& [key, value] : keys)
      if (!value.empty()) out << key << " = " << value << "\n";
    out << "\n";
  }
  out << more;
  return out.str();
}

// Writes folder/printers.conf of `printers` and `more`, making each relative
// file: folder of the printers beside it; returns the file's path.
inline std::string WritePrinters(const std::filesystem::path& folder, const std::vector<TestPrinter>& printers,
                                 const std::string& more = "") {
  for (const TestPrinter& p : printers)
    if (p.Uri.rfind("file:", 0) == 0 && p.Uri.size() > 5 && p.Uri[5] != '/')
      std::filesystem::create_directories(folder / p.Uri.substr(5));
  const auto path = folder / "printers.conf";
  std::ofstream(path, std::ios::binary) << PrintersConf(printers, more);
  return path.string();
}

}  // namespace morvel::testing
