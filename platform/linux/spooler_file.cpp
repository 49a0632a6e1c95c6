// file:DIR: each document becomes a new file DIR/NNNNNN.prn (NNNNNN.png for
// a PNG document, so a person can open it) holding exactly the bytes
// written, numbered one past the highest already there. Creation
// is exclusive, so two processes printing into one folder never share a file.
// A document is written as NNNNNN.prn.part and renamed when it ended whole,
// so a program watching the folder never sees half a job under the .prn
// name; a failed one is kept as NNNNNN.prn.failed for inspection.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/document_hooks.h"
#include "platform/spooler_channels.h"

namespace morvel::platform::spool {
namespace {

// The number of a name made of digits and ".prn" or ".png" (six digits,
// more once past 999999); -1 for anything else.
long long NumberOf(const char* name) {
  size_t len = std::strlen(name);
  // The part and failed files hold their numbers too.
  for (const char* suffix : {".part", ".failed"}) {
    size_t n = std::strlen(suffix);
    if (len > n && std::strcmp(name + len - n, suffix) == 0) len -= n;
  }
  if (len < 10 || len > 22 ||
      (std::strncmp(name + len - 4, ".prn", 4) != 0 && std::strncmp(name + len - 4, ".png", 4) != 0))
    return -1;
  long long n = 0;
  for (size_t i = 0; i + 4 < len; ++i) {
    if (name[i] < '0' || name[i] > '9') return -1;
    n = n * 10 + (name[i] - '0');
  }
  return n;
}

class FileChannel : public Channel {
 public:
  FileChannel(std::string printer, std::string folder, int dpi, std::string preview, double widthMm, double heightMm)
      : printer_(std::move(printer)),
        folder_(std::move(folder)),
        dpi_(dpi),
        preview_(std::move(preview)),
        widthMm_(widthMm),
        heightMm_(heightMm) {}
  ~FileChannel() override { Drop(); }

  bool StartTyped(const std::string& documentName, std::string_view mimeType) override {
    return Begin(mimeType == "image/png" ? ".png" : ".prn");
  }
  bool Start(const std::string&) override { return Begin(".prn"); }

 private:
  bool Begin(const char* extension) {
    Drop();
    raw_ = std::strcmp(extension, ".prn") == 0;
    DIR* dir = opendir(folder_.c_str());
    if (dir == nullptr) {
      int error = errno;
      Report(printer_, "cannot open folder '" + folder_ + "': " + std::strerror(error) +
                           (error == ENOENT ? " (create it: file: printers write into an existing folder)" : ""));
      return false;
    }
    long long highest = 0;
    while (dirent* e = readdir(dir)) highest = std::max(highest, NumberOf(e->d_name));
    closedir(dir);
    // Another process may take the same number between the scan and the
    // open; O_EXCL tells, and the next number is tried.
    for (long long n = highest + 1, tries = 0; tries < 1000; ++n, ++tries) {
      char name[32];
      std::snprintf(name, sizeof name, "/%06lld%s", n, extension);
      std::string path = folder_ + name;
      int fd = open((path + ".part").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
      if (fd >= 0) {
        fd_ = fd;
        path_ = std::move(path);
        return true;
      }
      if (errno != EEXIST && errno != EINTR) {
        Report(printer_, "cannot create '" + path + "': " + std::strerror(errno));
        return false;
      }
    }
    Report(printer_, "cannot create a new file in '" + folder_ + "': every number tried was taken");
    return false;
  }

 public:
  bool Write(const uint8_t* data, size_t size, size_t& written) override {
    written = 0;
    while (written < size) {
      ssize_t n = write(fd_, data + written, size - written);
      if (n > 0) {
        written += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      int error = n < 0 ? errno : EIO;
      Fail("writing failed (" + std::to_string(size - written) + " bytes not written): " + std::strerror(error) +
           (error == ENOSPC || error == EDQUOT || error == EFBIG ? " (the disk or the file size limit is full)" : ""));
      return false;
    }
    return true;
  }

  bool End() override {
    if (fd_ < 0) return false;
    // Whole means on the disk: a full disk may show only here.
    if (fsync(fd_) != 0 && errno != EINVAL) {
      Fail(std::string("writing failed at the end: ") + std::strerror(errno));
      return false;
    }
    int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0) {
      fd_ = -1;
      Keep(std::string("closing failed, its bytes may be incomplete: ") + std::strerror(errno));
      return false;
    }
    std::string published;
    if (!Publish(published)) return false;
    // The document is whole under its final name: observers may read it.
    if (raw_ && !preview_.empty()) DocumentFinished({printer_, published, dpi_, preview_, widthMm_, heightMm_});
    return true;
  }

 private:
  void Fail(const std::string& why) {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    Keep(why);
  }

  // Gives the whole document its .prn (or .png) name. Another writer may have
  // finished one under that name since ours started (it saw no .part yet),
  // so the name is taken only when free, else the next one.
  bool Publish(std::string& published) {
    std::string part = path_ + ".part";
    std::string name = path_;
    for (int tries = 0; tries < 1000; ++tries) {
      if (link(part.c_str(), name.c_str()) == 0) {
        unlink(part.c_str());
        path_.clear();
        published = std::move(name);
        return true;
      }
      if (errno == EPERM || errno == EOPNOTSUPP) {  // a file system without hard links
        if (rename(part.c_str(), name.c_str()) != 0) break;
        path_.clear();
        published = std::move(name);
        return true;
      }
      if (errno != EEXIST) break;
      long long n = NumberOf(name.substr(name.rfind('/') + 1).c_str());
      char next[32];
      std::snprintf(next, sizeof next, "/%06lld%s", n + 1, name.c_str() + name.size() - 4);
      name = folder_ + next;
    }
    Keep(std::string("cannot take a .prn name: ") + std::strerror(errno));
    return false;
  }

  // A document that did not end whole keeps its bytes under the .failed
  // name; its .prn name is never used.
  void Keep(const std::string& why) {
    if (path_.empty()) return;
    std::string kept = path_ + ".failed";
    if (rename((path_ + ".part").c_str(), kept.c_str()) == 0)
      Report(printer_, "document " + path_ + " " + why + "; the bytes written are kept as " + kept);
    else
      Report(printer_, "document " + path_ + " " + why);
    path_.clear();
  }

  // A document dropped without End did not end whole either.
  void Drop() {
    if (fd_ < 0) return;
    close(fd_);
    fd_ = -1;
    Keep("was not ended");
  }

  std::string printer_;
  std::string folder_;
  std::string path_;
  int dpi_;
  std::string preview_;
  double widthMm_, heightMm_;
  bool raw_ = true;
  int fd_ = -1;
};

}  // namespace

std::unique_ptr<Channel> MakeFileChannel(const std::string& printer, std::string_view folder, int dpi,
                                         std::string preview, double widthMm, double heightMm) {
  if (folder.empty()) {
    Report(printer, "file: uri without a folder");
    return nullptr;
  }
  std::string path(folder);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return std::make_unique<FileChannel>(printer, std::move(path), dpi, std::move(preview), widthMm, heightMm);
}

}  // namespace morvel::platform::spool
