// The files of this process's own that host path confinement lets pass
// (host_paths.h), the same on both systems: a path and the descriptor kept
// for it.
#include <map>
#include <mutex>

#include "platform/host_paths.h"

namespace morvel::platform {
namespace {

struct OwnFiles {
  std::mutex Lock;
  std::map<std::string, int> Descriptors;
};

OwnFiles& Registry() {
  static auto* files = new OwnFiles;  // outlives every thread that may ask
  return *files;
}

}  // namespace

void AdmitOwnFile(const std::string& path, int fd) {
  std::lock_guard<std::mutex> lock(Registry().Lock);
  Registry().Descriptors[path] = fd;
}

void WithdrawOwnFile(const std::string& path) {
  std::lock_guard<std::mutex> lock(Registry().Lock);
  Registry().Descriptors.erase(path);
}

bool IsOwnFile(const std::string& path) {
  std::lock_guard<std::mutex> lock(Registry().Lock);
  return Registry().Descriptors.count(path) != 0;
}

FileDescriptor OwnFile(const std::string& path) {
  std::lock_guard<std::mutex> lock(Registry().Lock);
  auto found = Registry().Descriptors.find(path);
  return FileDescriptor::Duplicate(found == Registry().Descriptors.end() ? -1 : found->second);
}

}  // namespace morvel::platform
