// The private scheduler. cupsd refuses to run its backends as root, so it
// runs them as lp, and every folder it hands to them is root:lp and group
// writable under a parent lp can traverse (/tmp, not $TMPDIR).
#include "support/CupsServer.h"

#include <arpa/inet.h>
#include <cups/cups.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace morvel::testing {
namespace {

using Clock = std::chrono::steady_clock;

int FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), len) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  close(fd);
  return port;
}

bool Answers(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  close(fd);
  return ok;
}

void ForLp(const std::string& path) {
  static const gid_t Lp = [] {
    group* g = getgrnam("lp");
    return g != nullptr ? g->gr_gid : static_cast<gid_t>(7);
  }();
  (void)!chown(path.c_str(), 0, Lp);
  chmod(path.c_str(), 0775);
}

// Runs a command with its output in `output`; the exit status.
int Spawn(const std::vector<std::string>& args, std::string& output) {
  int out[2];
  // Everything the child needs is made before fork: other threads may hold
  // the allocator's lock at that moment.
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  if (pipe2(out, O_CLOEXEC) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    dup2(out[1], 2);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  char buffer[4096];
  ssize_t n;
  while ((n = read(out[0], buffer, sizeof buffer)) > 0) output.append(buffer, static_cast<size_t>(n));
  close(out[0]);
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) < 0) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

CupsServer::CupsServer() {
  if (access("/usr/sbin/cupsd", X_OK) != 0) {
    error_ = "cupsd is not installed (package cups-daemon)";
    return;
  }
  // Debian's cups package, not cups-daemon, links the socket backend in.
  if (access("/usr/lib/cups/backend/socket", X_OK) != 0) {
    error_ = "the CUPS socket backend is not installed (package cups)";
    return;
  }
  folder_ = temp_.emplace("morvel-cupsd").Path().string();
  ForLp(folder_);
  for (const char* sub : {"spool", "spool/tmp", "cache", "state", "log"}) {
    std::string path = folder_ + "/" + sub;
    mkdir(path.c_str(), 0775);
    ForLp(path);
  }
  port_ = FreePort();
  {
    std::ofstream conf(folder_ + "/cupsd.conf");
    conf << "Listen 127.0.0.1:" << port_ << "\n"
         << "LogLevel warn\nBrowsing Off\nWebInterface No\nDefaultAuthType None\n"
         << "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
         << "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n";
    std::ofstream files(folder_ + "/cups-files.conf");
    files << "User lp\nGroup lp\n"
          << "ServerRoot " << folder_ << "\nRequestRoot " << folder_ << "/spool\nTempDir " << folder_ << "/spool/tmp\n"
          << "CacheDir " << folder_ << "/cache\nStateDir " << folder_ << "/state\n"
          << "AccessLog " << folder_ << "/log/access_log\nErrorLog " << folder_ << "/log/error_log\n"
          << "PageLog " << folder_ << "/log/page_log\n";
  }
  const std::string conf = folder_ + "/cupsd.conf";
  const std::string files = folder_ + "/cups-files.conf";
  pid_ = fork();
  if (pid_ == 0) {
    execl("/usr/sbin/cupsd", "cupsd", "-f", "-c", conf.c_str(), "-s", files.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  if (pid_ < 0) {
    error_ = "fork failed";
    return;
  }
  const auto limit = Clock::now() + std::chrono::seconds(10);
  while (!Answers(port_)) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      error_ = "cupsd exited at start; see " + folder_ + "/log/error_log";
      return;
    }
    if (Clock::now() > limit) {
      error_ = "cupsd did not answer on port " + std::to_string(port_) + " within 10 s";
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (const char* old = std::getenv("CUPS_SERVER")) {
    hadServer_ = true;
    oldServer_ = old;
  }
  setenv("CUPS_SERVER", Address().c_str(), 1);
  cupsSetServer(nullptr);  // libcups caches the server; make it read CUPS_SERVER again
  ready_ = true;
}

void CupsServer::Kill() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

CupsServer::~CupsServer() {
  if (ready_) {
    if (hadServer_)
      setenv("CUPS_SERVER", oldServer_.c_str(), 1);
    else
      unsetenv("CUPS_SERVER");
    cupsSetServer(nullptr);
  }
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    const auto limit = Clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (Clock::now() > limit) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  // Its folder goes with temp_, now that cupsd has stopped.
}

bool CupsServer::Run(const std::vector<std::string>& args) {
  std::string output;
  int status = Spawn(args, output);
  if (status != 0) error_ = args[0] + " exited with " + std::to_string(status) + ": " + output;
  return status == 0;
}

bool CupsServer::AddRawQueue(const std::string& name, int listenerPort, const std::string& description) {
  std::vector<std::string> args{"lpadmin", "-h", Address(), "-p",
                                name,      "-E", "-v",      "socket://127.0.0.1:" + std::to_string(listenerPort),
                                "-m",      "raw"};
  if (!description.empty()) {
    args.push_back("-D");
    args.push_back(description);
  }
  return Run(args);
}

bool CupsServer::Stop(const std::string& queue) { return Run({"cupsdisable", "-h", Address(), queue}); }
bool CupsServer::Start(const std::string& queue) { return Run({"cupsenable", "-h", Address(), queue}); }

std::vector<CupsServer::Job> CupsServer::Jobs(const std::string& queue) {
  std::vector<Job> result;
  http_t* http = httpConnect2("127.0.0.1", port_, nullptr, AF_INET, HTTP_ENCRYPTION_IF_REQUESTED, 1, 5000, nullptr);
  if (http == nullptr) return result;
  cups_job_t* jobs = nullptr;
  int count = cupsGetJobs2(http, &jobs, queue.c_str(), 0, CUPS_WHICHJOBS_ALL);
  for (int i = 0; i < count; ++i)
    result.push_back({jobs[i].id, jobs[i].title != nullptr ? jobs[i].title : "", jobs[i].state,
                      jobs[i].format != nullptr ? jobs[i].format : ""});
  cupsFreeJobs(count, jobs);
  httpClose(http);
  return result;
}

bool CupsServer::WaitUntilIdle(const std::string& queue, std::chrono::milliseconds limit) {
  const auto end = Clock::now() + limit;
  for (;;) {
    bool busy = false;
    for (const auto& job : Jobs(queue)) busy |= job.State < IPP_JSTATE_STOPPED;
    if (!busy) return true;
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

}  // namespace morvel::testing
