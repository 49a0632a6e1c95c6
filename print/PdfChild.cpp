// The caller's side of PdfPages.h: starts morvel-pdf-pages for a PDF, asks
// it for the pages' sizes and pixels, and tells a page that passed its
// bounds (or stopped the reader) from the way that process ended.
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "core/numbers.h"
#include "print/PdfPages.h"
#include "print/Sources.h"

extern char** environ;

namespace morvel::print::detail {
namespace {

constexpr const char* HelperName = "morvel-pdf-pages";
// A page's wall-clock time is its CPU time many times over, for a drawing
// process that waits on nothing yet is stopped (a debugger, SIGSTOP) or
// starved on a crowded machine.
constexpr int WallPerCpu = 12;
constexpr int AskEveryMs = 100;

std::atomic<PdfOpener> inThisProcess{nullptr};

std::string Folder(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// The drawing program: MORVEL_PDF_PAGES when set; else beside this code's
// own file (libmorvel2.so, or the program it is linked into), in the
// build tree's and the installed tree's folder of libraries from there.
std::string HelperPath() {
  if (const char* set = std::getenv("MORVEL_PDF_PAGES"); set && *set) return set;
  std::string self;
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&HelperPath), &info) != 0 && info.dli_fname &&
      std::strchr(info.dli_fname, '/'))
    self = info.dli_fname;
  char resolved[PATH_MAX];
  if (self.empty()) {
    const ssize_t n = readlink("/proc/self/exe", resolved, sizeof resolved - 1);
    if (n > 0) self.assign(resolved, static_cast<size_t>(n));
  } else if (realpath(self.c_str(), resolved)) {
    self = resolved;
  }
  const std::string here = Folder(self);
  for (const std::string& folder : {here, here + "/../lib", here + "/" MORVEL_BIN_TO_LIB}) {
    const std::string candidate = folder + "/" + HelperName;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return here + "/" + HelperName;
}

// A memory file of this process, its descriptor above the three the
// drawing process is given (so handing it over never lands on itself).
int MemoryFile(const char* name) {
  const int fd = memfd_create(name, MFD_CLOEXEC);
  if (fd < 0) throw DocumentError(std::string("no memory file for the PDF (") + std::strerror(errno) + ")");
  const int high = fcntl(fd, F_DUPFD_CLOEXEC, 10);
  close(fd);
  if (high < 0) throw DocumentError(std::string("no descriptor for the PDF (") + std::strerror(errno) + ")");
  return high;
}

std::string PageName(int index) { return index < 0 ? std::string("the PDF") : "page " + std::to_string(index + 1); }

}  // namespace

PageBounds PageBoundsNow() {
  PageBounds b;
  b.CpuSeconds = static_cast<int>(core::WholeNumberSetting("MORVEL_PAGE_CPU_SECONDS", 1, 600, b.CpuSeconds));
  b.MemoryMib = static_cast<int>(core::WholeNumberSetting("MORVEL_PAGE_MEMORY_MIB", 64, 4096, b.MemoryMib));
  return b;
}

namespace {

class IsolatedPdf : public Source {
 public:
  IsolatedPdf(std::string_view bytes, std::function<bool()> abandoned) : abandoned_(std::move(abandoned)) {
    try {
      Start(bytes);
    } catch (...) {
      Close();
      throw;
    }
  }

  ~IsolatedPdf() override { Close(); }

  int Count() override { return count_; }

  void Close() {
    if (channel_ >= 0) close(channel_);  // the drawing process ends on its own
    if (child_ > 0) {
      // One that does not end within a moment is ended.
      for (int i = 0; i < 50 && !Reaped(false); ++i) usleep(2000);
      if (child_ > 0) {
        kill(child_, SIGKILL);
        Reaped(true);
      }
    }
    if (document_ >= 0) close(document_);
    if (pixels_ >= 0) close(pixels_);
    if (drawn_) munmap(drawn_, mapped_);
    channel_ = document_ = pixels_ = -1;
    drawn_ = nullptr, mapped_ = 0;
  }

  PageSize Size(int index) override {
    PdfRequest r;
    r.Op = PdfRequest::Size;
    r.Index = index;
    const PdfAnswer answer = Ask(&r, index);
    return {answer.Width, answer.Height};
  }

  // On a white RGB24 page under its transform, as Layout hands it over: the
  // pixels are drawn there and copied back.
  void Draw(int index, cairo_t* page) override {
    cairo_surface_t* target = cairo_get_target(page);
    PdfRequest r;
    r.Op = PdfRequest::Draw;
    r.Index = index;
    r.Width = cairo_image_surface_get_width(target);
    r.Height = cairo_image_surface_get_height(target);
    r.Stride = cairo_image_surface_get_stride(target);
    cairo_matrix_t m;
    cairo_get_matrix(page, &m);
    const double matrix[6] = {m.xx, m.yx, m.xy, m.yy, m.x0, m.y0};
    std::memcpy(r.Matrix, matrix, sizeof matrix);
    const size_t bytes = static_cast<size_t>(r.Stride) * static_cast<size_t>(r.Height);
    if (bytes > mapped_) {
      if (drawn_) munmap(drawn_, mapped_);
      drawn_ = nullptr, mapped_ = 0;
      void* at = MAP_FAILED;
      if (ftruncate(pixels_, static_cast<off_t>(bytes)) == 0)
        at = mmap(nullptr, bytes, PROT_READ, MAP_SHARED, pixels_, 0);
      if (at == MAP_FAILED) throw DocumentError("no memory for the pixels of " + PageName(index));
      drawn_ = at, mapped_ = bytes;
    }
    Ask(&r, index);
    cairo_surface_flush(target);
    std::memcpy(cairo_image_surface_get_data(target), drawn_, bytes);
    cairo_surface_mark_dirty(target);
  }

 private:
  void Start(std::string_view bytes) {
    document_ = MemoryFile("morvel-document");
    for (size_t at = 0; at < bytes.size();) {
      const ssize_t n = write(document_, bytes.data() + at, bytes.size() - at);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) throw DocumentError(std::string("no memory for the PDF (") + std::strerror(errno) + ")");
      at += static_cast<size_t>(n);
    }
    pixels_ = MemoryFile("morvel-page");
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0)
      throw DocumentError(std::string("cannot start drawing the PDF (") + std::strerror(errno) + ")");
    channel_ = fcntl(pair[0], F_DUPFD_CLOEXEC, 10);
    const int theirs = fcntl(pair[1], F_DUPFD_CLOEXEC, 10);
    close(pair[0]);
    close(pair[1]);
    try {
      Spawn(theirs);
    } catch (...) {
      close(theirs);
      throw;
    }
    close(theirs);
    const PdfAnswer hello = Ask(nullptr, -1);
    count_ = hello.Count;
    if (count_ < 1) throw DocumentError("the PDF has no pages");
  }

  void Spawn(int channel) {
    const std::string helper = HelperPath();
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&files, 2, 1);  // its stdout is not the caller's output
    posix_spawn_file_actions_adddup2(&files, document_, PdfDocumentFd);
    posix_spawn_file_actions_adddup2(&files, channel, PdfChannelFd);
    posix_spawn_file_actions_adddup2(&files, pixels_, PdfPageFd);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const std::string memory = std::to_string(uint64_t(bounds_.MemoryMib) << 20),
                      cpu = std::to_string(bounds_.CpuSeconds);
    char* argv[] = {const_cast<char*>(helper.c_str()), const_cast<char*>(memory.c_str()),
                    const_cast<char*>(cpu.c_str()), nullptr};
    const int failed = posix_spawn(&child_, helper.c_str(), &files, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    if (failed != 0) {
      child_ = 0;
      throw DocumentError("PDFs cannot be drawn: " + helper + " cannot be started (" + std::strerror(failed) +
                          "); it is installed beside libmorvel2.so (or set MORVEL_PDF_PAGES)");
    }
  }

  // The answer to `request` (none: the first answer), or DocumentError
  // with the cause.
  PdfAnswer Ask(const PdfRequest* request, int index) {
    if (child_ <= 0) throw DocumentError(PageName(index) + " cannot be drawn: the PDF's drawing has ended");
    if (request && send(channel_, request, sizeof *request, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof *request))
      Ended(index);
    const auto wall = std::chrono::seconds(bounds_.CpuSeconds * WallPerCpu);
    const auto deadline = std::chrono::steady_clock::now() + wall;
    for (;;) {
      pollfd p{channel_, POLLIN, 0};
      const int ready = poll(&p, 1, AskEveryMs);
      if (ready < 0 && errno != EINTR) Ended(index);
      if (ready > 0) {
        PdfAnswer answer;
        const ssize_t got = recv(channel_, &answer, sizeof answer, 0);
        if (got != static_cast<ssize_t>(sizeof answer)) Ended(index);
        answer.Why[sizeof answer.Why - 1] = 0;
        if (answer.Status == PdfAnswer::Refused) throw DocumentError(answer.Why);
        if (answer.Status == PdfAnswer::OutOfMemory) {
          Stop();
          PastMemory(index);
        }
        return answer;
      }
      if (abandoned_ && abandoned_()) {
        Stop();
        throw DocumentError("stopped while " +
                            (index < 0 ? std::string("the PDF was read") : PageName(index) + " was drawn") +
                            ": the caller left");
      }
      if (std::chrono::steady_clock::now() > deadline) {
        Stop();
        throw DocumentError(PageName(index) + " was not drawn within " + std::to_string(wall.count()) + " s (" +
                            Bounds() + ")");
      }
    }
  }

  // The drawing process ended or closed its side: why, from how it ended.
  [[noreturn]] void Ended(int index) {
    int status = 0;
    const bool known = Reaped(true, &status);
    const std::string page = PageName(index);
    if (known && WIFSIGNALED(status) && (WTERMSIG(status) == SIGPROF || WTERMSIG(status) == SIGXCPU))
      throw DocumentError(page + " takes more CPU time to draw than a page may (" + Bounds() + ")");
    if (known && WIFEXITED(status) && WEXITSTATUS(status) == PdfOutOfMemoryExit) PastMemory(index);
    if (known && WIFSIGNALED(status))
      throw DocumentError(page + " cannot be drawn: the PDF reader stopped (" +
                          std::string(strsignal(WTERMSIG(status))) + "; " + Bounds() + ")");
    throw DocumentError(
        page + " cannot be drawn: the PDF's drawing ended" +
        (known && WIFEXITED(status) ? " (exit status " + std::to_string(WEXITSTATUS(status)) + ")" : std::string()));
  }

  [[noreturn]] void PastMemory(int index) const {
    throw DocumentError(PageName(index) + " needs more memory than a page may take (" + Bounds() + ")");
  }

  void Stop() {
    if (child_ <= 0) return;
    kill(child_, SIGKILL);
    Reaped(true);
  }

  // True once the drawing process has been waited for; its status in `status`.
  bool Reaped(bool wait, int* status = nullptr) {
    if (child_ <= 0) return true;
    int got = 0;
    pid_t r;
    do r = waitpid(child_, &got, wait ? 0 : WNOHANG);
    while (r < 0 && errno == EINTR);
    if (r == 0) return false;
    child_ = 0;
    if (status) *status = got;
    return r > 0;  // not, where SIGCHLD is ignored and the kernel reaped it
  }

  std::string Bounds() const {
    return "a page may take " + std::to_string(bounds_.CpuSeconds) + " s of CPU time and " +
           std::to_string(bounds_.MemoryMib) + " MiB of memory";
  }

  const PageBounds bounds_ = PageBoundsNow();
  std::function<bool()> abandoned_;
  int document_ = -1, pixels_ = -1, channel_ = -1;
  void* drawn_ = nullptr;  // the page's pixels, `mapped_` bytes
  size_t mapped_ = 0;
  pid_t child_ = 0;
  int count_ = 0;
};

}  // namespace

void DrawPdfInThisProcess(PdfOpener open) { inThisProcess = open; }

std::unique_ptr<Source> PdfSource(std::string_view bytes, const std::function<bool()>& abandoned) {
  if (const PdfOpener open = inThisProcess) return open(bytes);
  return std::make_unique<IsolatedPdf>(bytes, abandoned);
}

}  // namespace morvel::print::detail
