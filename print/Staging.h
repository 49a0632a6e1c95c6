// A document's labels held whole before any of them leaves: each label's
// bytes (printer commands, or a page's dots for a vendor's drawing library)
// written to an unnamed file in the temporary folder as it is made, so a
// document of any length is held in bounded memory, and handed over only
// once the last page is made. A failure while making sends nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "print/Print.h"

namespace morvel::print::detail {

class Staging {
 public:
  // One made label: where its bytes end, and how many labels it prints.
  struct Label {
    uint64_t End = 0;
    int Copies = 1;
    int Width = 0, Height = 0;  // dots, for a page held as dots
  };

  // DocumentError (nothing sent) when no file can be made in the
  // temporary folder. At most `most` bytes are held.
  explicit Staging(uint64_t most = MaxHeldBytes);
  Staging(const Staging&) = delete;
  Staging& operator=(const Staging&) = delete;

  // Appends to the label being made; DocumentError when the temporary
  // folder cannot take it (a full disk) or it passes the bound.
  void Append(std::string_view bytes);
  // Ends the label being made, which prints `copies` labels.
  void EndLabel(int copies, int width = 0, int height = 0);

  const std::vector<Label>& Labels() const { return labels_; }
  uint64_t Bytes() const { return size_; }
  int LabelCount() const { return count_; }
  // Bytes [from, from + size) of what was made, into `out`.
  void Read(uint64_t from, size_t size, std::string& out);

  // Hands every label's bytes to `sink` in order, a piece at a time.
  // DocumentError telling how many labels went when the sink stops.
  void HandOver(const Sink& sink);

 private:
  void WriteOut(std::string_view bytes);
  void Flush();

  uint64_t most_;
  platform::FileDescriptor file_;
  std::string buffer_;    // made, not yet in the file
  uint64_t size_ = 0;     // every byte made
  uint64_t written_ = 0;  // in the file
  int count_ = 0;         // labels, copies counted
  std::vector<Label> labels_;
};

}  // namespace morvel::print::detail
