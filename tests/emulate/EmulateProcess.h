// What the tests of `morvel emulate` share: the real program started on
// free loopback ports and stopped with SIGTERM, and plain sockets to talk
// raw jobs and HTTP to it.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace morvel::testing {

inline const char* const Morvel = MORVEL_BINARY_DIR "/bin/morvel";

inline int Connect(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  timeval limit{20, 0};  // catches a hang, never times a result
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  return fd;
}

inline void SendAll(int fd, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    ASSERT_GT(n, 0);
    sent += static_cast<size_t>(n);
  }
}

inline void SendJob(int port, const std::string& bytes) {
  int fd = Connect(port);
  ASSERT_GE(fd, 0);
  SendAll(fd, bytes);
  close(fd);
}

// One HTTP/1.1 request, the reply's body.
// The answer's body, or with `whole` the answer as it came. `headers`: lines
// of their own (each ending in CR LF), else a JSON body's.
inline std::string Http(int port, const std::string& method, const std::string& path, const std::string& body = "",
                        const std::string& headers = "Content-Type: application/json\r\n", bool whole = false) {
  int fd = Connect(port);
  if (fd < 0) return "";
  const std::string host =
      headers.find("Host:") == std::string::npos ? "Host: 127.0.0.1:" + std::to_string(port) + "\r\n" : "";
  std::string request = method + " " + path + " HTTP/1.1\r\n" + host + "Connection: close\r\n" + headers +
                        "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string reply;
  char buffer[65536];
  ssize_t n;
  while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, static_cast<size_t>(n));
  close(fd);
  size_t split = reply.find("\r\n\r\n");
  return whole || split == std::string::npos ? reply : reply.substr(split + 4);
}

class EmulatorProcess {
 public:
  // `inChild` runs in the new process before the program: limits, another user.
  explicit EmulatorProcess(const std::string& jobs, std::vector<std::string> extra = {},
                           const std::function<void()>& inChild = {}) {
    int out[2];
    if (pipe(out) != 0) return;
    std::vector<std::string> args = {Morvel, "emulate", "--zpl", "0",     "--sbpl", "0",      "--tspl",
                                     "0",    "--epl2",  "0",     "--web", "0",      "--jobs", jobs};
    args.insert(args.end(), extra.begin(), extra.end());
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], 1);
      if (inChild) inChild();
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(Morvel, argv.data());
      _exit(127);
    }
    close(out[1]);
    FILE* lines = fdopen(out[0], "r");
    char line[512];
    while (fgets(line, sizeof line, lines) != nullptr) {
      std::string text(line);
      std::string word = text.substr(0, text.find(' '));
      size_t colon = text.rfind(':');
      if (word == "jobs") break;
      ports_[word] = std::atoi(text.c_str() + colon + 1);
    }
    fclose(lines);
  }
  ~EmulatorProcess() { Stop(); }
  // SIGTERM, then its wait status once it has gone.
  int Stop() {
    int status = 0;
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, &status, 0);
      pid_ = -1;
    }
    return status;
  }
  pid_t Pid() const { return pid_; }
  int Port(const std::string& language) { return ports_[language]; }
  bool Ready() { return ports_.size() == 5; }

 private:
  pid_t pid_ = -1;
  std::map<std::string, int> ports_;
};

}  // namespace morvel::testing
