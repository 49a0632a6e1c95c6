// The allowed origins: their one form, the origin of an address, the files
// that list them. Where the lists live is each system's (linux/origins.cpp,
// windows/origins.cpp).
#include "platform/origins.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace morvel::platform {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string NormalizeOrigin(std::string_view origin) {
  std::string out;
  for (char c : origin) out.push_back(Lower(c));
  while (!out.empty() && (out.back() == '/' || out.back() == ' ' || out.back() == '\r')) out.pop_back();
  auto dropPort = [&](std::string_view scheme, std::string_view port) {
    if (out.rfind(scheme, 0) == 0 && out.size() > port.size() &&
        out.compare(out.size() - port.size(), port.size(), port) == 0)
      out.resize(out.size() - port.size());
  };
  dropPort("http://", ":80");
  dropPort("https://", ":443");
  return out;
}

std::string OriginOfUrl(std::string_view url) {
  size_t first = url.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return std::string();
  url.remove_prefix(first);
  size_t colon = url.find("://");
  if (colon == std::string_view::npos || colon == 0) return std::string();
  std::string_view scheme = url.substr(0, colon);
  for (char c : scheme)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' ||
          c == '.'))
      return std::string();
  std::string lowerScheme;
  for (char c : scheme) lowerScheme.push_back(Lower(c));
  // Only the schemes a page is served with have an origin to allow.
  if (lowerScheme != "http" && lowerScheme != "https") return std::string();
  std::string_view authority = url.substr(colon + 3);
  authority = authority.substr(0, authority.find_first_of("/?#\\"));
  if (size_t at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
  if (authority.empty() || authority.front() == ':') return std::string();
  for (char c : authority)
    if (static_cast<unsigned char>(c) <= ' ') return std::string();
  return NormalizeOrigin(lowerScheme + "://" + std::string(authority));
}

std::vector<std::string> ReadOriginFile(const std::string& path) {
  std::vector<std::string> origins;
  std::ifstream in(std::filesystem::path(std::u8string(path.begin(), path.end())));
  std::string line;
  while (std::getline(in, line)) {
    size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    size_t last = line.find_last_not_of(" \t\r");
    origins.push_back(line.substr(first, last - first + 1));
  }
  return origins;
}

std::vector<std::string> SplitOrigins(std::string_view text) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < text.size()) {
    size_t start = text.find_first_not_of(" \t\r\n,;", i);
    if (start == std::string_view::npos) break;
    size_t end = text.find_first_of(" \t\r\n,;", start);
    if (end == std::string_view::npos) end = text.size();
    out.emplace_back(text.substr(start, end - start));
    i = end;
  }
  return out;
}

std::vector<std::string> AllowedOrigins() {
  std::vector<std::string> all;
  auto add = [&](const std::vector<std::string>& list) {
    for (const std::string& o : list) {
      std::string normal = NormalizeOrigin(o);
      if (!normal.empty() && std::find(all.begin(), all.end(), normal) == all.end()) all.push_back(normal);
    }
  };
  add(ReadOriginFile(UserOriginFile()));
  add(MachineOrigins());
  return all;
}

}  // namespace morvel::platform
