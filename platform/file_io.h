// Reading and writing through open files, each call taken up again when a
// signal interrupts it and the system's error number left in errno for the
// caller's message; and the unnamed and appended files the documents'
// printing and the drawing library keep. Linux build only, where documents
// are printed and the virtual printer and the drawing library run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/files.h"

namespace morvel::platform {

// Writes all of `bytes` to `fd`. False when some could not be written,
// errno telling why (ENOSPC when the system took none and gave no reason);
// `written`, when given, grows by every byte that went.
bool WriteAll(int fd, std::string_view bytes, uint64_t* written = nullptr);

// Reads up to `size` bytes from `offset` of `fd` into `into`: how many came,
// 0 at the file's end, -1 with errno when it cannot.
long ReadAt(int fd, char* into, size_t size, uint64_t offset);

// A new file in `folder` (no trailing '/') for reading and writing that has
// no name (O_TMPFILE; where the file system has none, a new name removed at
// once), so nothing is left behind whatever ends the process. Not open, with
// errno set, when none can be made.
FileDescriptor UnnamedFile(const std::string& folder);

// Appends `bytes` to the file at `path` (made, mode 0644 less the umask,
// when missing) in one write, so that what several processes append does
// not interleave. False when it cannot.
bool AppendInOneWrite(const std::string& path, std::string_view bytes) noexcept;

}  // namespace morvel::platform
