// The held labels live in a file of the temporary folder that has no name
// (platform::UnnamedFile), so nothing is left behind whatever ends the
// process.
#include "print/Staging.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/file_io.h"
#include "platform/services.h"

namespace morvel::print::detail {
namespace {

constexpr size_t Piece = 1 << 20;  // bytes written, read and handed on at a time

std::string Folder() {
  std::string folder = platform::Current().Temp->Path();
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

}  // namespace

Staging::Staging(uint64_t most) : most_(most) {
  const std::string folder = Folder();
  file_ = platform::UnnamedFile(folder);
  if (!file_.IsOpen())
    throw DocumentError("no file for the job can be made in the temporary folder " + folder + " (" +
                        std::strerror(errno) + ")");
}

void Staging::WriteOut(std::string_view bytes) {
  if (!platform::WriteAll(file_.Get(), bytes, &written_))
    throw DocumentError("the job cannot be held in the temporary folder " + Folder() + " (" + std::strerror(errno) +
                        " after " + std::to_string(written_) + " bytes)");
}

void Staging::Flush() {
  WriteOut(buffer_);
  buffer_.clear();
}

void Staging::Append(std::string_view bytes) {
  if (size_ + bytes.size() > most_)
    throw DocumentError("the job's printer bytes pass " + std::to_string(most_ >> 20) +
                        " MiB, more than one request holds (print the document in parts)");
  if (buffer_.size() + bytes.size() > Piece) Flush();
  if (bytes.size() >= Piece)
    WriteOut(bytes);
  else
    buffer_.append(bytes);
  size_ += bytes.size();
}

void Staging::EndLabel(int copies, int width, int height) {
  labels_.push_back({size_, copies, width, height});
  count_ += copies;
}

void Staging::Read(uint64_t from, size_t size, std::string& out) {
  Flush();
  out.resize(size);
  size_t done = 0;
  while (done < size) {
    const long n = platform::ReadAt(file_.Get(), out.data() + done, size - done, from + done);
    if (n <= 0)
      throw DocumentError(std::string("the job held in the temporary folder cannot be read back (") +
                          (n < 0 ? std::strerror(errno) : "it is shorter than written") + ")");
    done += static_cast<size_t>(n);
  }
}

void Staging::HandOver(const Sink& sink) {
  Sent sent;
  sent.Of = count_;
  uint64_t at = 0;
  std::string piece;
  for (const Label& label : labels_) {
    while (at < label.End) {
      const size_t size = static_cast<size_t>(std::min<uint64_t>(Piece, label.End - at));
      Read(at, size, piece);
      bool taken = false;
      try {
        taken = sink(piece);
      } catch (const DocumentError& e) {
        // The way to the printer failed before this piece (it could not be
        // opened): what went before stands.
        if (sent.Whole == 0 && at == 0) throw;
        sent.Stopped = true;
        throw DocumentError(e.what(), sent);
      }
      if (!taken) {
        sent.Stopped = true;
        throw DocumentError("the printer stopped taking the job", sent);
      }
      at += size;
    }
    sent.Whole += label.Copies;
  }
}

}  // namespace morvel::print::detail
