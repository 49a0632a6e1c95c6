// The emulator's jobs folder, held open by a descriptor (platform's
// OwnFolder): every file is opened and made beneath it by name, never
// through a symbolic link, so a name swapped for a link leads nowhere; new
// files never replace one that is there, and a file rewritten (a record)
// takes its name only once whole. Only a folder of the emulator's own user
// that no one else may write is used: anyone who could write it could plant
// links or pictures in it. Only plain names (PlainName) are taken.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/own_folder.h"

namespace morvel::emulate {

class JobsFolder {
 public:
  // Makes the folder (mode 0700) when missing; false with `error` when it
  // cannot be made or opened, or is another user's, or group or others may
  // write it.
  bool Open(const std::string& path, std::string& error);
  const std::string& Path() const { return path_; }

  // The largest job number a name in the folder starts with (0: none).
  long LargestNumber() const;
  // A new file NAME (mode 0600) for writing; not open, with errno EEXIST
  // when the name is taken, whatever it is.
  platform::FileDescriptor Create(const std::string& name) const;
  // NAME's whole contents written under a new name, which then replaces it.
  bool Replace(const std::string& name, std::string_view bytes) const;
  // A regular file's contents, links refused; nullopt when it cannot be read.
  std::optional<std::string> Read(const std::string& name, size_t limit = SIZE_MAX) const;

 private:
  std::string path_;
  platform::OwnFolder folder_;
};

// A name of the folder's own (letters, digits, '.', '-', '_'), never a path.
bool PlainName(std::string_view name);

}  // namespace morvel::emulate
