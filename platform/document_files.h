// Files of the documents `morvel print` reads and writes: a document read
// whole from a file, a FIFO or a device that may never write, and an output
// file replaced only once everything in it was written. Linux build only,
// where documents are printed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace morvel::platform {

// Whether standard error is a terminal (progress is shown there).
bool StandardErrorIsTerminal();

// Appends the file's bytes to `bytes`, at most `most` of them, waiting at
// most `waitMs` for each byte of a file that is no regular file (a FIFO
// nobody writes to never ends otherwise); the reason when it cannot ("cannot
// be read (a folder)", "no byte came for 30000 ms (...)"), empty when read.
std::string ReadDocumentFile(const std::string& path, size_t most, int waitMs, std::string& bytes);

// An output file: a regular file (or a new one) is written as a temporary
// beside it, renamed over it only on Commit, so a run that fails leaves it
// as it was; a file that is no regular file (a device, a FIFO) cannot be
// replaced and is written as the bytes come.
class ReplacingFile {
 public:
  ReplacingFile() = default;
  ~ReplacingFile() { Discard(); }
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // The reason it cannot be written; empty when it can.
  std::string Open(const std::string& path);
  bool Replaces() const { return !temp_.empty(); }
  const std::string& Path() const { return path_; }
  // Writes all of `bytes`; the reason when it cannot (what went before stays).
  std::string Write(std::string_view bytes);
  // Puts what was written in place; the reason when it cannot.
  std::string Commit();
  // Leaves the file as it was: the temporary goes.
  void Discard();

 private:
  std::string path_, final_, temp_;
  int fd_ = -1;
};

}  // namespace morvel::platform
