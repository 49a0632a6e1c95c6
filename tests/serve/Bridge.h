// The bridge the serve tests talk to. By default the tests run a
// morvel::serve::Server in their own process, or the morvel command beside
// them; with MORVEL_TEST_BRIDGE set to a command (words split at blanks,
// e.g. "/usr/lib/wine/wine64 build-win64/bin/morvel.exe") they start that
// command's `serve` instead and reach it over loopback the same way, so the
// same cases hold the Windows build under Wine to what Linux answers.
// MORVEL_TEST_BRIDGE_PATHS=wine makes the paths the tests name Wine's view
// of them (Z:\tmp\...); MORVEL_TEST_BRIDGE_JOBS is the folder where the
// documents of the printer the tests print on land, one NNN.bin a document.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "hosts/serve/Server.h"

extern char** environ;

namespace morvel::testing {

inline bool ExternalBridge() {
  const char* command = std::getenv("MORVEL_TEST_BRIDGE");
  return command != nullptr && *command != '\0';
}

inline std::vector<std::string> BridgeCommand() {
  std::vector<std::string> words;
  if (ExternalBridge()) {
    std::istringstream in(std::getenv("MORVEL_TEST_BRIDGE"));
    for (std::string w; in >> w;) words.push_back(w);
  } else {
    words.push_back(MORVEL_BINARY_DIR "/bin/morvel");
  }
  return words;
}

// A path of this machine as the bridge names it.
inline std::string BridgePath(const std::filesystem::path& path) {
  const char* style = std::getenv("MORVEL_TEST_BRIDGE_PATHS");
  if (style == nullptr || std::string(style) != "wine") return path.string();
  std::string text = "Z:" + path.string();
  for (char& c : text)
    if (c == '/') c = '\\';
  return text;
}

// The bridge command (`serve` and `args`), with its standard error read as
// it goes; killed when it goes.
class Bridge {
 public:
  using Clock = std::chrono::steady_clock;

  Bridge(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    int err[2];
    if (pipe2(err, O_CLOEXEC) != 0) return;
    std::vector<std::string> argv = BridgeCommand();
    argv.push_back("serve");
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> a, e;
    for (auto& s : argv) a.push_back(s.data());
    a.push_back(nullptr);
    std::vector<std::string> environment = env;
    for (char** v = environ; *v != nullptr; ++v) environment.emplace_back(*v);
    for (auto& s : environment) e.push_back(s.data());
    e.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      dup2(err[1], 2);
      execvpe(a[0], a.data(), e.data());
      const char said[] = "the bridge command cannot be run\n";
      (void)!write(2, said, sizeof said - 1);
      _exit(127);
    }
    close(err[1]);
    err_ = err[0];
  }
  ~Bridge() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (err_ >= 0) close(err_);
  }
  Bridge(const Bridge&) = delete;
  Bridge& operator=(const Bridge&) = delete;

  // Standard error until `text` appears or the process closes it.
  std::string ReadUntil(const std::string& text, std::chrono::seconds limit = std::chrono::seconds(60)) {
    auto deadline = Clock::now() + limit;
    while (stderr_.find(text) == std::string::npos && Clock::now() < deadline && ReadSome()) {
    }
    return stderr_;
  }
  // The port of the "listening on" line, or 0 when none came.
  uint16_t Port() {
    const std::string line = "listening on 127.0.0.1:";
    std::string text = ReadUntil(line);
    size_t at = text.find(line);
    if (at == std::string::npos) return 0;
    for (auto deadline = Clock::now() + std::chrono::seconds(10);
         stderr_.find('\n', at) == std::string::npos && Clock::now() < deadline && ReadSome();) {
    }
    return static_cast<uint16_t>(std::stoi(stderr_.substr(at + line.size())));
  }
  // After Port: whether that line names [::1] too.
  bool ListensOnIpv6() const { return stderr_.find(" and [::1]:") != std::string::npos; }
  // The exit status, or -1 when it still runs at the deadline.
  int Wait(std::chrono::milliseconds limit) {
    auto deadline = Clock::now() + limit;
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (Clock::now() >= deadline) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    exited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  void Signal(int s) { kill(pid_, s); }

 private:
  // What standard error holds within 100 ms; false once it is closed.
  bool ReadSome() {
    pollfd p{err_, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) return true;
    char buffer[1024];
    ssize_t n = read(err_, buffer, sizeof buffer);
    if (n <= 0) return false;
    stderr_.append(buffer, static_cast<size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  int err_ = -1;
  bool exited_ = false;
  std::string stderr_;
};

// The bridge under test, with the options a test gives: in this process, or
// the command of MORVEL_TEST_BRIDGE.
class BridgeUnderTest {
 public:
  void Start(const morvel::serve::ServerOptions& options) {
    if (!ExternalBridge()) {
      server_.emplace(options);
      server_->Start();
      return;
    }
    std::vector<std::string> args = {"--port", std::to_string(options.Port)};
    for (const std::string& o : options.AllowedOrigins) args.insert(args.end(), {"--allow-origin", o});
    for (const std::string& f : options.AllowedFolders) args.insert(args.end(), {"--allow-folder", BridgePath(f)});
    if (options.Ipv4Only) args.push_back("--ipv4-only");
    const morvel::serve::Limits defaults;
    const morvel::serve::Limits& b = options.Bounds;
    if (b.MaxConnections != defaults.MaxConnections)
      args.insert(args.end(), {"--max-connections", std::to_string(b.MaxConnections)});
    if (b.MaxObjects != defaults.MaxObjects) args.insert(args.end(), {"--max-objects", std::to_string(b.MaxObjects)});
    if (b.MaxMessageBytes != defaults.MaxMessageBytes)
      args.insert(args.end(), {"--max-message", std::to_string(b.MaxMessageBytes)});
    if (b.MaxLeftRunning != defaults.MaxLeftRunning)
      args.insert(args.end(), {"--max-left-running", std::to_string(b.MaxLeftRunning)});
    if (b.RefusePrinterSettings) args.push_back("--refuse-printer-settings");
    command_.emplace(args, std::vector<std::string>{"MORVEL_CUPS=0"});
    port_ = command_->Port();
    if (port_ == 0) throw std::runtime_error("the bridge did not start: " + command_->ReadUntil(""));
    ipv6_ = command_->ListensOnIpv6();
  }
  void Stop() {
    server_.reset();
    command_.reset();
  }
  uint16_t Port() { return server_ ? server_->Port() : port_; }
  bool ListensOnIpv6() { return server_ ? server_->ListensOnIpv6() : ipv6_; }

 private:
  std::optional<morvel::serve::Server> server_;
  std::optional<Bridge> command_;
  uint16_t port_ = 0;
  bool ipv6_ = false;
};

// The documents that land in MORVEL_TEST_BRIDGE_JOBS from now on.
class LandedJobs {
 public:
  LandedJobs() {
    for (const auto& f : Files()) seen_.insert(f);
  }
  static bool Available() { return std::getenv("MORVEL_TEST_BRIDGE_JOBS") != nullptr; }
  // The next `count` documents in order, or fewer at the deadline.
  std::vector<std::string> Wait(size_t count, std::chrono::seconds limit = std::chrono::seconds(60)) {
    std::vector<std::string> found;
    for (auto deadline = std::chrono::steady_clock::now() + limit;;
         std::this_thread::sleep_for(std::chrono::milliseconds(50))) {
      found.clear();
      for (const auto& f : Files())
        if (!seen_.count(f)) found.push_back(f);
      if (found.size() >= count || std::chrono::steady_clock::now() >= deadline) break;
    }
    std::vector<std::string> documents;
    for (const auto& f : found) {
      std::ifstream in(f, std::ios::binary);
      documents.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return documents;
  }

 private:
  static std::set<std::string> Files() {
    std::set<std::string> files;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(std::getenv("MORVEL_TEST_BRIDGE_JOBS"), ec))
      if (e.path().extension() == ".bin") files.insert(e.path().string());
    return files;
  }
  std::set<std::string> seen_;
};

}  // namespace morvel::testing
