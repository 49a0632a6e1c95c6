// The bytes under the batch's data sources (Data.h): read from a stream in
// chunks, with a bounded look ahead for the sniffing of a format or a
// delimiter. Private to the sources.
#pragma once

#include <cstddef>
#include <istream>
#include <memory>
#include <string>

#include "hosts/batch/Data.h"

namespace morvel::batch::data {

class Bytes {
 public:
  explicit Bytes(std::istream& in) : in_(in) {}

  // The next byte (0-255), -1 at the end.
  int Get() {
    if (pos_ == end_ && !Fill(1)) return -1;
    return static_cast<unsigned char>(buffer_[pos_++]);
  }
  // The byte `ahead` bytes on without taking it, -1 past the end.
  int Peek(size_t ahead = 0) {
    if (end_ - pos_ <= ahead && !Fill(ahead + 1)) return -1;
    return static_cast<unsigned char>(buffer_[pos_ + ahead]);
  }
  // Skips a UTF-8 byte order mark (EF BB BF) where one is next.
  void SkipByteOrderMark();

 private:
  // Reads until `count` bytes are waiting; false when the data ends first.
  bool Fill(size_t count);

  std::istream& in_;
  std::string buffer_;
  size_t pos_ = 0;
  size_t end_ = 0;
  bool ended_ = false;
};

// The data a source reads: its stream (owned when the source opened it),
// its bytes, and its name.
struct Input {
  Input(std::istream& in, std::unique_ptr<std::istream> owned, std::string name)
      : Owned(std::move(owned)), Data(in), Name(std::move(name)) {}
  std::unique_ptr<std::istream> Owned;
  Bytes Data;
  std::string Name;
};

// The sources on an input whose format is known; `delimiter` is one byte
// or 0 for "auto".
std::unique_ptr<RowSource> Csv(std::unique_ptr<Input> input, char delimiter, const DataOptions& options);
std::unique_ptr<RowSource> Json(std::unique_ptr<Input> input, const DataOptions& options);

// "12 bytes", "1 MiB": a bound as errors write it.
std::string Size(size_t bytes);

}  // namespace morvel::batch::data
