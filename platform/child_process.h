// A program run as a child process under bounds, and what the two processes
// share: files in memory, mapped by both, and a channel of packets. The
// parent starts the child with some of its descriptors handed over under
// numbers of the child's, and tells from the way it ended why it did; the
// child holds itself to its bounds of CPU time and memory. Linux build only
// (PDFs are drawn in a process of their own). A static library of its own,
// so that the child program links it without the rest of the platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace morvel::platform {

// The file of the library or program that holds `anchor` (any function of
// it), its links resolved; this program's own file when that cannot be told.
std::string FileHolding(const void* anchor);
// Whether this process may run the file at `path`.
bool IsRunnable(const std::string& path);

// A new file in memory, not inherited by programs started later: its
// descriptor, or -1 with errno.
int NewMemoryFile(const char* name);
// `fd` moved to a descriptor at or above `lowest`, not inherited by programs
// started later, and `fd` closed: the new descriptor, or -1 with errno.
int DescriptorAbove(int fd, int lowest);
void CloseDescriptor(int fd);
// The size of an open file; -1 when it cannot be told.
int64_t FileSize(int fd);
// Sets an open file's size; false with errno when it cannot.
bool ResizeFile(int fd, uint64_t size);
// `size` bytes of an open file mapped from its start, shared with every
// process that maps it, for reading (and writing when `writable`); null when
// they cannot be mapped.
void* MapFile(int fd, size_t size, bool writable);
void UnmapFile(void* at, size_t size);

// Two connected ends of a channel of packets (each send is one receive),
// neither inherited by programs started later; false with errno.
bool PacketChannel(int& one, int& other);
// Sends one packet (a closed other end fails, raising no signal): the bytes
// sent, or -1 with errno.
long SendPacket(int fd, const void* packet, size_t size);
// Receives one packet into `packet`: its size, 0 when the other end has
// closed, -1 with errno.
long ReceivePacket(int fd, void* packet, size_t size);
// Waits at most `ms` milliseconds for something to read on `fd`: 1 when
// there is, 0 when there is not yet, -1 with errno.
int WaitToRead(int fd, int ms);

// How a child process ended.
struct ChildEnd {
  bool Exited = true;  // of its own, with ExitStatus
  int ExitStatus = 0;
  bool Signalled = false;  // ended by a signal, which SignalText names
  std::string SignalText;
  bool PastCpuTime = false;  // the signal of its CPU time bound (ChildBounds::AllowCpu)
};

class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts `program` with `arguments` (the first its own name), no signal
  // blocked or ignored, standard input from /dev/null, standard output to
  // its standard error, and each of `handed` (this process's descriptor,
  // the child's number for it). 0, or the error number when it cannot start.
  int Start(const std::string& program, const std::vector<std::string>& arguments,
            const std::vector<std::pair<int, int>>& handed);
  bool Running() const { return id_ > 0; }
  // Ends it at once (SIGKILL); Reap waits for it then.
  void Kill();
  // True once it has been waited for (`wait`: until it ends), its end in
  // `end`. False when it still runs, or when it cannot be waited for (the
  // system took its end where SIGCHLD is ignored), which ends it here too.
  // Once it is no longer running, true and `end` left as it is.
  bool Reap(bool wait, ChildEnd* end = nullptr);

 private:
  int id_ = 0;
};

// The child's own side: its bounds, each from now on.
namespace child {
// Ends this process when its parent ends, whatever becomes of that one;
// false when the parent has ended already.
bool EndWithParent();
// No core file is written when it fails.
void NoCoreFile();
// At most `bytes` of data (allocations fail beyond).
void BoundData(uint64_t bytes);
// It may use `seconds` more CPU time; past them it is ended by a signal
// (ChildEnd::PastCpuTime), and should that be lost, by another a second
// later.
void AllowCpu(int seconds);
}  // namespace child

}  // namespace morvel::platform
