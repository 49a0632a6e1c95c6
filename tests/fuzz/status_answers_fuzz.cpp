// The status answer readers and framers on any bytes: the first byte picks
// the reader, the rest is the answer. A frame never claims more bytes than
// it was given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "control/status/Answers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  using namespace morvel::status;
  std::string_view answer(reinterpret_cast<const char*>(data + 1), size - 1);
  size_t (*const frames[])(std::string_view) = {ZplHostQueryFrame, ZplHostStatusFrame, SbplStatus4Frame,
                                                TsplStatusByteFrame, TsplExtendedFrame};
  Reading (*const readers[])(std::string_view) = {ReadZplHostQuery, ReadZplHostStatus, ReadSbplStatus4,
                                                  ReadTsplStatusByte, ReadTsplExtended};
  const size_t pick = data[0] % 5;
  if (frames[pick](answer) > answer.size()) std::abort();
  Reading r = readers[pick](answer);
  if (r.State != "idle" && r.State != "processing" && r.State != "stopped" && r.State != "unknown") std::abort();
  (void)Combine(r, ReadCups(data[0] % 7, {std::string(answer.substr(0, 40))}));
  return 0;
}
