// The jobs folder through the platform's own folder (JobsFolder.h): the
// names it takes, the job numbers it holds and what a refusal tells.
#include "hosts/emulate/JobsFolder.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace morvel::emulate {

bool PlainName(std::string_view name) {
  if (name.empty() || name.size() > 64 || name[0] == '.') return false;
  for (char c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') return false;
  return true;
}

bool JobsFolder::Open(const std::string& path, std::string& error) {
  using Refusal = platform::OwnFolder::Refusal;
  path_ = path;
  const platform::OwnFolder::Opening opening = folder_.Open(path);
  switch (opening.Refused) {
    case Refusal::None: return true;
    case Refusal::CannotMake:
      error = "cannot make the jobs folder " + path + ": " + std::strerror(opening.Error);
      break;
    case Refusal::CannotOpen:
      error = "cannot open the jobs folder " + path + ": " + std::strerror(opening.Error);
      break;
    case Refusal::OtherOwner:
      error = "the jobs folder " + path + " belongs to " + opening.Owner.Text() +
              ", not to this user: choose a folder of your own with --jobs";
      break;
    case Refusal::OthersMayWrite:
      error = "the jobs folder " + path + " may be written by its group or by others (mode " +
              std::to_string((opening.Mode >> 6) & 7) + std::to_string((opening.Mode >> 3) & 7) +
              std::to_string(opening.Mode & 7) + "): make it yours alone (chmod go-w) or choose another with --jobs";
      break;
  }
  return false;
}

long JobsFolder::LargestNumber() const {
  long largest = 0;
  for (const std::string& name : folder_.Names()) {
    // Numbers of up to nine digits: any more is no job of ours, and no name
    // of ours can meet it.
    long number = 0;
    size_t digits = 0;
    for (const char* c = name.c_str(); *c >= '0' && *c <= '9' && digits < 10; ++c, ++digits)
      number = number * 10 + (*c - '0');
    if (digits >= 6 && digits <= 9) largest = std::max(largest, number);
  }
  return largest;
}

platform::FileDescriptor JobsFolder::Create(const std::string& name) const {
  if (!PlainName(name)) {
    errno = EINVAL;
    return platform::FileDescriptor();
  }
  return folder_.Create(name);
}

bool JobsFolder::Replace(const std::string& name, std::string_view bytes) const {
  return PlainName(name) && folder_.Replace(name, bytes);
}

std::optional<std::string> JobsFolder::Read(const std::string& name, size_t limit) const {
  if (!PlainName(name)) return std::nullopt;
  return folder_.Read(name, limit);
}

}  // namespace morvel::emulate
