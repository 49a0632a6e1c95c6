// A folder of this user's own, held open by a descriptor: every file in it
// is opened and made beneath that descriptor by name, never through a
// symbolic link, so a name swapped for a link leads nowhere; a new file
// never replaces one that is there, and a file rewritten takes its name
// only once whole. Linux build only (the virtual printer's jobs folder).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/peer_user.h"

namespace morvel::platform {

class OwnFolder {
 public:
  // Why Open would not take the folder.
  enum class Refusal { None, CannotMake, CannotOpen, OtherOwner, OthersMayWrite };
  struct Opening {
    Refusal Refused = Refusal::None;
    int Error = 0;      // CannotMake, CannotOpen: the system's error number
    UserId Owner;       // OtherOwner: whose folder it is
    unsigned Mode = 0;  // OthersMayWrite: its permission bits (0770)
  };

  // Makes the folder (mode 0700, with its missing parents) when missing and
  // opens it; refused when it cannot be made or opened, is another user's,
  // or its group or others may write it (anyone who could write it could
  // plant links in it).
  Opening Open(const std::string& path);

  // The names in the folder, in no order.
  std::vector<std::string> Names() const;
  // A new file NAME (mode 0600) for writing; not open, with errno EEXIST
  // when the name is taken, whatever it is.
  FileDescriptor Create(const std::string& name) const;
  // NAME's whole contents written under a new name, which then replaces it.
  bool Replace(const std::string& name, std::string_view bytes) const;
  // A regular file's contents, at most `limit` bytes, links refused;
  // nullopt when it cannot be read.
  std::optional<std::string> Read(const std::string& name, size_t limit) const;

 private:
  FileDescriptor folder_;
};

}  // namespace morvel::platform
