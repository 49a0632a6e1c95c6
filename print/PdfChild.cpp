// The caller's side of PdfPages.h: starts morvel-pdf-pages for a PDF, asks
// it for the pages' sizes and pixels, and tells a page that passed its
// bounds (or stopped the reader) from the way that process ended.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "core/numbers.h"
#include "platform/child_process.h"
#include "platform/file_io.h"
#include "print/PdfPages.h"
#include "print/Sources.h"

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
  const std::string here = Folder(platform::FileHolding(reinterpret_cast<const void*>(&HelperPath)));
  for (const std::string& folder : {here, here + "/../lib", here + "/" MORVEL_BIN_TO_LIB}) {
    const std::string candidate = folder + "/" + HelperName;
    if (platform::IsRunnable(candidate)) return candidate;
  }
  return here + "/" + HelperName;
}

// A memory file of this process, its descriptor above the three the
// drawing process is given (so handing it over never lands on itself).
int MemoryFile(const char* name) {
  const int fd = platform::NewMemoryFile(name);
  if (fd < 0) throw DocumentError(std::string("no memory file for the PDF (") + std::strerror(errno) + ")");
  const int high = platform::DescriptorAbove(fd, 10);
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
    if (channel_ >= 0) platform::CloseDescriptor(channel_);  // the drawing process ends on its own
    if (child_.Running()) {
      // One that does not end within a moment is ended.
      for (int i = 0; i < 50 && !child_.Reap(false); ++i) std::this_thread::sleep_for(std::chrono::microseconds(2000));
      if (child_.Running()) {
        child_.Kill();
        child_.Reap(true);
      }
    }
    if (document_ >= 0) platform::CloseDescriptor(document_);
    if (pixels_ >= 0) platform::CloseDescriptor(pixels_);
    if (drawn_) platform::UnmapFile(drawn_, mapped_);
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
      if (drawn_) platform::UnmapFile(drawn_, mapped_);
      drawn_ = nullptr, mapped_ = 0;
      void* at = nullptr;
      if (platform::ResizeFile(pixels_, bytes)) at = platform::MapFile(pixels_, bytes, false);
      if (at == nullptr) throw DocumentError("no memory for the pixels of " + PageName(index));
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
    if (!platform::WriteAll(document_, bytes))
      throw DocumentError(std::string("no memory for the PDF (") + std::strerror(errno) + ")");
    pixels_ = MemoryFile("morvel-page");
    int one = -1, other = -1;
    if (!platform::PacketChannel(one, other))
      throw DocumentError(std::string("cannot start drawing the PDF (") + std::strerror(errno) + ")");
    channel_ = platform::DescriptorAbove(one, 10);
    const int theirs = platform::DescriptorAbove(other, 10);
    try {
      Spawn(theirs);
    } catch (...) {
      platform::CloseDescriptor(theirs);
      throw;
    }
    platform::CloseDescriptor(theirs);
    const PdfAnswer hello = Ask(nullptr, -1);
    count_ = hello.Count;
    if (count_ < 1) throw DocumentError("the PDF has no pages");
  }

  void Spawn(int channel) {
    const std::string helper = HelperPath();
    const std::string memory = std::to_string(uint64_t(bounds_.MemoryMib) << 20),
                      cpu = std::to_string(bounds_.CpuSeconds);
    const int failed = child_.Start(helper, {helper, memory, cpu},
                                    {{document_, PdfDocumentFd}, {channel, PdfChannelFd}, {pixels_, PdfPageFd}});
    if (failed != 0)
      throw DocumentError("PDFs cannot be drawn: " + helper + " cannot be started (" + std::strerror(failed) +
                          "); it is installed beside libmorvel2.so (or set MORVEL_PDF_PAGES)");
  }

  // The answer to `request` (none: the first answer), or DocumentError
  // with the cause.
  PdfAnswer Ask(const PdfRequest* request, int index) {
    if (!child_.Running()) throw DocumentError(PageName(index) + " cannot be drawn: the PDF's drawing has ended");
    if (request && platform::SendPacket(channel_, request, sizeof *request) != static_cast<long>(sizeof *request))
      Ended(index);
    const auto wall = std::chrono::seconds(bounds_.CpuSeconds * WallPerCpu);
    const auto deadline = std::chrono::steady_clock::now() + wall;
    for (;;) {
      const int ready = platform::WaitToRead(channel_, AskEveryMs);
      if (ready < 0 && errno != EINTR) Ended(index);
      if (ready > 0) {
        PdfAnswer answer;
        const long got = platform::ReceivePacket(channel_, &answer, sizeof answer);
        if (got != static_cast<long>(sizeof answer)) Ended(index);
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
    platform::ChildEnd end;
    const bool known = child_.Reap(true, &end);
    const std::string page = PageName(index);
    if (known && end.Signalled && end.PastCpuTime)
      throw DocumentError(page + " takes more CPU time to draw than a page may (" + Bounds() + ")");
    if (known && end.Exited && end.ExitStatus == PdfOutOfMemoryExit) PastMemory(index);
    if (known && end.Signalled)
      throw DocumentError(page + " cannot be drawn: the PDF reader stopped (" + end.SignalText + "; " + Bounds() + ")");
    throw DocumentError(
        page + " cannot be drawn: the PDF's drawing ended" +
        (known && end.Exited ? " (exit status " + std::to_string(end.ExitStatus) + ")" : std::string()));
  }

  [[noreturn]] void PastMemory(int index) const {
    throw DocumentError(PageName(index) + " needs more memory than a page may take (" + Bounds() + ")");
  }

  void Stop() {
    if (!child_.Running()) return;
    child_.Kill();
    child_.Reap(true);
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
  platform::ChildProcess child_;
  int count_ = 0;
};

}  // namespace

void DrawPdfInThisProcess(PdfOpener open) { inThisProcess = open; }

std::unique_ptr<Source> PdfSource(std::string_view bytes, const std::function<bool()>& abandoned) {
  if (const PdfOpener open = inThisProcess) return open(bytes);
  return std::make_unique<IsolatedPdf>(bytes, abandoned);
}

}  // namespace morvel::print::detail
