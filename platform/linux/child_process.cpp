// A child process with posix_spawn, its bounds with setrlimit and an
// interval timer, the shared files with memfd_create and mmap, the channel
// with a socket pair of sequenced packets.
#include "platform/child_process.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace morvel::platform {

std::string FileHolding(const void* anchor) {
  std::string self;
  Dl_info info{};
  if (dladdr(anchor, &info) != 0 && info.dli_fname && std::strchr(info.dli_fname, '/')) self = info.dli_fname;
  char resolved[PATH_MAX];
  if (self.empty()) {
    const ssize_t n = readlink("/proc/self/exe", resolved, sizeof resolved - 1);
    if (n > 0) self.assign(resolved, static_cast<size_t>(n));
  } else if (realpath(self.c_str(), resolved)) {
    self = resolved;
  }
  return self;
}

bool IsRunnable(const std::string& path) { return access(path.c_str(), X_OK) == 0; }

int NewMemoryFile(const char* name) { return memfd_create(name, MFD_CLOEXEC); }

int DescriptorAbove(int fd, int lowest) {
  const int high = fcntl(fd, F_DUPFD_CLOEXEC, lowest);
  const int error = errno;
  close(fd);
  errno = error;
  return high;
}

void CloseDescriptor(int fd) { close(fd); }

int64_t FileSize(int fd) {
  struct stat facts {};
  return fstat(fd, &facts) == 0 ? static_cast<int64_t>(facts.st_size) : -1;
}

bool ResizeFile(int fd, uint64_t size) { return ftruncate(fd, static_cast<off_t>(size)) == 0; }

void* MapFile(int fd, size_t size, bool writable) {
  void* at = mmap(nullptr, size, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, fd, 0);
  return at == MAP_FAILED ? nullptr : at;
}

void UnmapFile(void* at, size_t size) { munmap(at, size); }

bool PacketChannel(int& one, int& other) {
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return false;
  one = pair[0], other = pair[1];
  return true;
}

long SendPacket(int fd, const void* packet, size_t size) { return send(fd, packet, size, MSG_NOSIGNAL); }

long ReceivePacket(int fd, void* packet, size_t size) { return recv(fd, packet, size, 0); }

int WaitToRead(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, ms);
}

int ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                        const std::vector<std::pair<int, int>>& handed) {
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&files, 2, 1);  // its stdout is not the caller's output
  for (const auto& [mine, theirs] : handed) posix_spawn_file_actions_adddup2(&files, mine, theirs);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t id = 0;
  const int failed = posix_spawn(&id, program.c_str(), &files, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&files);
  posix_spawnattr_destroy(&attributes);
  id_ = failed == 0 ? id : 0;
  return failed;
}

void ChildProcess::Kill() {
  if (id_ > 0) kill(id_, SIGKILL);
}

bool ChildProcess::Reap(bool wait, ChildEnd* end) {
  if (id_ <= 0) return true;
  int got = 0;
  pid_t r;
  do r = waitpid(id_, &got, wait ? 0 : WNOHANG);
  while (r < 0 && errno == EINTR);
  if (r == 0) return false;
  id_ = 0;
  if (end) {
    *end = ChildEnd();
    end->Exited = WIFEXITED(got);
    end->ExitStatus = WIFEXITED(got) ? WEXITSTATUS(got) : 0;
    end->Signalled = WIFSIGNALED(got);
    if (end->Signalled) {
      end->SignalText = strsignal(WTERMSIG(got));
      end->PastCpuTime = WTERMSIG(got) == SIGPROF || WTERMSIG(got) == SIGXCPU;
    }
  }
  return r > 0;  // not, where SIGCHLD is ignored and the kernel reaped it
}

namespace child {

bool EndWithParent() {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  return getppid() != 1;
}

void NoCoreFile() {
  rlimit none{0, 0};
  setrlimit(RLIMIT_CORE, &none);
}

void BoundData(uint64_t bytes) {
  rlimit data{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
  setrlimit(RLIMIT_DATA, &data);
}

// Past the time the kernel sends SIGPROF, which ends the process, and,
// should that be lost, SIGXCPU a second later.
void AllowCpu(int seconds) {
  itimerval timer{};
  timer.it_value.tv_sec = seconds;
  setitimer(ITIMER_PROF, &timer, nullptr);
  rusage used{};
  getrusage(RUSAGE_SELF, &used);
  const double spent =
      used.ru_utime.tv_sec + used.ru_stime.tv_sec + (used.ru_utime.tv_usec + used.ru_stime.tv_usec) / 1e6;
  rlimit cpu{static_cast<rlim_t>(std::ceil(spent)) + static_cast<rlim_t>(seconds) + 1, RLIM_INFINITY};
  setrlimit(RLIMIT_CPU, &cpu);
}

}  // namespace child

}  // namespace morvel::platform
