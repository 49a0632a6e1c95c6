// The virtual printer's ports, connections and print engine. Connections
// are served at once, each on its own thread, up to a bound; their bytes go
// to the job's file as they come, never gathered in memory. One engine
// pictures the jobs in the order they arrived, and only while the printer
// can print: jobs that come while it cannot wait in its buffer.
#include "hosts/cli/Emulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "preview/Preview.h"
#include "render/Page.h"

namespace morvel::emulate {
namespace {

namespace fs = std::filesystem;

preview::Language PreviewLanguage(Tongue tongue) {
  switch (tongue) {
    case Tongue::Zpl: return preview::Language::Zpl;
    case Tongue::Sbpl: return preview::Language::Sbpl;
    case Tongue::Tspl: return preview::Language::Orx;
  }
  return preview::Language::Zpl;
}

std::string NowIso() {
  std::time_t t = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string Numbered(int id) {
  char text[16];
  std::snprintf(text, sizeof text, "%06d", id);
  return text;
}

bool SendAll(int fd, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      pollfd p{fd, POLLOUT, 0};
      if (poll(&p, 1, 5000) <= 0) return false;  // a client that reads nothing is not waited for
      continue;
    }
    return false;
  }
  return true;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// SBPL's job id (ESC ID nn) and job name (ESC WK name), for its status answer.
void SbplJobMarks(const std::string& bytes, std::string& id, std::string& name) {
  size_t at = bytes.find("\x1bID");
  if (at != std::string::npos && at + 5 <= bytes.size()) id = bytes.substr(at + 3, 2);
  at = bytes.find("\x1bWK");
  if (at != std::string::npos) {
    size_t end = bytes.find('\x1b', at + 3);
    name = bytes.substr(at + 3, std::min<size_t>(16, (end == std::string::npos ? bytes.size() : end) - at - 3));
  }
}

nlohmann::json ToJson(const JobRecord& job) {
  return {{"id", job.Id},           {"language", NameOf(job.Language)}, {"file", job.File},
          {"peer", job.Peer},       {"received", job.Received},         {"bytes", job.Bytes},
          {"cut", job.Cut},         {"dropped", job.Dropped},           {"stage", NameOf(job.Stage)},
          {"labels", job.LabelsTotal}, {"labels_printed", job.LabelsPrinted}, {"pictures", job.Pictures}, {"warnings", job.Warnings}};
}

}  // namespace

struct Emulator::Listener {
  Tongue Language;
  int Fd = -1;
  int Port = 0;
  std::thread Thread;
};

std::string DefaultJobsFolder() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && *state == '/') return std::string(state) + "/morvel/emulate";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr && *home != '\0' ? home : "/tmp") + "/.local/state/morvel/emulate";
}

Emulator::Emulator(Options options) : options_(std::move(options)) {
  if (options_.JobsFolder.empty()) options_.JobsFolder = DefaultJobsFolder();
}

Emulator::~Emulator() { Stop(); }

bool Emulator::Start(std::string& error) {
  std::error_code made;
  fs::create_directories(options_.JobsFolder, made);
  if (!fs::is_directory(options_.JobsFolder)) {
    error = "cannot make the jobs folder " + options_.JobsFolder + (made ? ": " + made.message() : "");
    return false;
  }
  // Numbers go on after the jobs already kept: nothing is overwritten.
  for (const auto& entry : fs::directory_iterator(options_.JobsFolder, made)) {
    std::string name = entry.path().filename().string();
    if (name.size() >= 6 && std::all_of(name.begin(), name.begin() + 6, ::isdigit))
      nextId_ = std::max(nextId_, std::stoi(name.substr(0, 6)) + 1);
  }
  if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
    error = std::string("cannot make a pipe: ") + std::strerror(errno);
    return false;
  }
  const std::pair<Tongue, std::optional<int>> wanted[] = {
      {Tongue::Zpl, options_.ZplPort}, {Tongue::Sbpl, options_.SbplPort}, {Tongue::Tspl, options_.TsplPort}};
  for (const auto& [tongue, port] : wanted) {
    if (!port) continue;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string where = options_.ListenAddress + ":" + std::to_string(*port);
    if (int rc = getaddrinfo(options_.ListenAddress.c_str(), std::to_string(*port).c_str(), &hints, &found); rc != 0) {
      error = std::string("cannot listen on ") + where + " for " + NameOf(tongue) + ": " + gai_strerror(rc);
      Stop();
      return false;
    }
    int fd = socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    int one = 1;
    if (fd >= 0) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (fd < 0 || bind(fd, found->ai_addr, found->ai_addrlen) != 0 || listen(fd, 128) != 0) {
      const int why = errno;
      error = std::string("cannot listen on ") + where + " for " + NameOf(tongue) + ": " + std::strerror(why) +
              (why == EADDRINUSE ? " (another program has the port; choose another with --" + std::string(NameOf(tongue)) + ")" : "");
      if (fd >= 0) close(fd);
      freeaddrinfo(found);
      Stop();
      return false;
    }
    freeaddrinfo(found);
    sockaddr_storage bound{};
    socklen_t len = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len);
    auto listener = std::make_unique<Listener>();
    listener->Language = tongue;
    listener->Fd = fd;
    listener->Port = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                                       : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    listeners_.push_back(std::move(listener));
  }
  engine_ = std::thread([this] { Engine(); });
  for (auto& l : listeners_) l->Thread = std::thread([this, p = l.get()] { Accept(*p); });
  return true;
}

void Emulator::Stop() {
  if (stopping_.exchange(true)) return;
  if (wake_[1] >= 0) (void)!write(wake_[1], "x", 1);
  {
    // An accepting thread may wait for a free place.
    std::lock_guard<std::mutex> hold(connectionsLock_);
    connectionsChanged_.notify_all();
  }
  for (auto& l : listeners_)
    if (l->Thread.joinable()) l->Thread.join();
  {
    std::unique_lock<std::mutex> hold(connectionsLock_);
    for (int fd : openFds_) shutdown(fd, SHUT_RDWR);
    connectionsChanged_.wait(hold, [&] { return open_ == 0; });
  }
  {
    std::lock_guard<std::mutex> hold(lock_);
    Changed();
  }
  if (engine_.joinable()) engine_.join();
  for (auto& l : listeners_) close(l->Fd);
  listeners_.clear();
  for (int& fd : wake_)
    if (fd >= 0) close(fd), fd = -1;
}

int Emulator::Port(Tongue tongue) const {
  for (const auto& l : listeners_)
    if (l->Language == tongue) return l->Port;
  return 0;
}

void Emulator::Log(const std::string& line) {
  std::lock_guard<std::mutex> hold(logLock_);
  std::cerr << "morvel emulate: " << line << std::endl;
}

void Emulator::Accept(Listener& listener) {
  while (!stopping_) {
    pollfd p[2] = {{listener.Fd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (poll(p, 2, -1) < 0 && errno != EINTR) break;
    if (stopping_) break;
    if (!(p[0].revents & POLLIN)) continue;
    {
      // Over the bound, connections wait in the kernel's queue.
      std::unique_lock<std::mutex> hold(connectionsLock_);
      connectionsChanged_.wait(hold, [&] { return stopping_ || open_ < options_.MaxConnections; });
      if (stopping_) break;
    }
    sockaddr_storage from{};
    socklen_t len = sizeof from;
    int fd = accept4(listener.Fd, reinterpret_cast<sockaddr*>(&from), &len, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) continue;
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);  // answers go out at once
    char host[NI_MAXHOST] = "?", port[NI_MAXSERV] = "?";
    getnameinfo(reinterpret_cast<sockaddr*>(&from), len, host, sizeof host, port, sizeof port, NI_NUMERICHOST | NI_NUMERICSERV);
    {
      std::lock_guard<std::mutex> hold(connectionsLock_);
      ++open_;
      openFds_.push_back(fd);
    }
    std::thread([this, fd, tongue = listener.Language, peer = std::string(host) + ":" + port] {
      Serve(fd, tongue, peer);
      std::lock_guard<std::mutex> hold(connectionsLock_);
      openFds_.erase(std::find(openFds_.begin(), openFds_.end(), fd));
      close(fd);
      --open_;
      connectionsChanged_.notify_all();
    }).detach();
  }
}

int Emulator::NewJob(Tongue tongue, const std::string& peer, std::string& file) {
  std::lock_guard<std::mutex> hold(lock_);
  const int id = nextId_++;
  file = options_.JobsFolder + "/" + Numbered(id) + "." + NameOf(tongue);
  return id;
}

void Emulator::Serve(int fd, Tongue tongue, std::string peer) {
  QueryScanner scanner(tongue);
  std::vector<Query> queries;
  std::string jobBytes;
  JobRecord job;
  std::ofstream out;
  uint64_t kept = 0;
  bool open = false;
  auto begin = [&] {
    job = JobRecord();
    job.Language = tongue;
    job.Peer = peer;
    job.Received = NowIso();
    job.Id = NewJob(tongue, peer, job.File);
    out.open(job.File, std::ios::binary | std::ios::trunc);
    if (!out) job.Warnings.push_back("cannot write " + job.File);
    kept = 0;
    open = true;
  };
  auto end = [&](bool cancelled) {
    if (!open) return;
    out.close();
    if (!out) job.Warnings.push_back("cannot write all of " + job.File);
    open = false;
    if (cancelled) job.Stage = JobStage::Cancelled;
    Finished(std::move(job), {});
  };
  auto take = [&](const std::string& bytes, uint64_t received) {
    if (!open) {
      // A connection that only asks for the state is no job.
      if (bytes.find_first_not_of(" \t\r\n") == std::string::npos) return;
      begin();
    }
    job.Bytes += received;
    const uint64_t room = kept < options_.SizeLimit ? options_.SizeLimit - kept : 0;
    const size_t now = static_cast<size_t>(std::min<uint64_t>(room, bytes.size()));
    out.write(bytes.data(), static_cast<std::streamsize>(now));
    kept += now;
    if (now < bytes.size() && !job.Cut) {
      job.Cut = true;
      Log("job " + std::to_string(job.Id) + " from " + peer + " is over " + std::to_string(options_.SizeLimit) +
          " bytes: cut there, the rest read and dropped");
    }
  };
  char buffer[65536];
  uint64_t pendingReceived = 0;
  for (;;) {
    pollfd p[2] = {{fd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    int n = poll(p, 2, options_.IdleTimeoutMs);
    if (n < 0 && errno == EINTR) continue;
    if (stopping_) {
      if (open) job.Warnings.push_back("the emulator stopped while the job was coming");
      job.Dropped = open;
      break;
    }
    if (n == 0) {
      if (open) job.Warnings.push_back("no byte came for " + std::to_string(options_.IdleTimeoutMs / 1000) + " s: the connection was ended");
      break;
    }
    ssize_t got = recv(fd, buffer, sizeof buffer, 0);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (got <= 0) {
      if (got < 0) {
        if (open || pendingReceived) {
          if (!open) begin();
          job.Dropped = true;
          job.Warnings.push_back(std::string("the connection broke off: ") + std::strerror(errno));
        }
      }
      break;
    }
    jobBytes.clear();
    queries.clear();
    scanner.Feed(std::string_view(buffer, static_cast<size_t>(got)), jobBytes, queries);
    take(jobBytes, static_cast<uint64_t>(got));
    for (Query q : queries) {
      if (q == Query::Cancel) {
        Cancel(tongue);
        end(true);
      }
      Answer(fd, tongue, q);
    }
  }
  jobBytes.clear();
  scanner.Finish(jobBytes);
  if (!jobBytes.empty()) take(jobBytes, 0);
  end(false);
}

void Emulator::Answer(int fd, Tongue tongue, Query query) {
  Snapshot s = Now();
  std::string answer;
  switch (query) {
    case Query::HostStatus: answer = ZplHostStatus(s); break;
    case Query::HostQuery: answer = ZplHostQuery(s); break;
    case Query::HostIdentification: answer = ZplHostIdentification(s); break;
    case Query::Enquiry: answer = SbplStatus4(s); break;
    case Query::Cancel: answer = SbplCancelReply(s); break;
    case Query::StatusByte: answer = TsplStatusByte(s); break;
    case Query::ExtendedStatus: answer = TsplExtendedStatus(s); break;
  }
  SendAll(fd, answer);
}

void Emulator::Cancel(Tongue tongue) {
  std::lock_guard<std::mutex> hold(lock_);
  for (auto it = queue_.begin(); it != queue_.end();) {
    auto job = std::find_if(jobs_.begin(), jobs_.end(), [&](const JobRecord& j) { return j.Id == *it; });
    if (job != jobs_.end() && job->Language == tongue && job->Stage == JobStage::Waiting) {
      job->Stage = JobStage::Cancelled;
      it = queue_.erase(it);
    } else {
      ++it;
    }
  }
  Changed();
}

void Emulator::Finished(JobRecord record, std::string) {
  // Read once to know the labels and warnings; a job that cannot be read
  // whole gives no picture, as `morvel preview` gives none.
  std::string bytes = ReadFile(record.File);
  if (record.Language == Tongue::Sbpl) SbplJobMarks(bytes, record.JobId, record.JobName);
  if (record.Cut) record.Warnings.push_back("cut at " + std::to_string(options_.SizeLimit) + " of " + std::to_string(record.Bytes) + " bytes");
  if (record.Stage != JobStage::Cancelled) {
    try {
      size_t labels = 0;
      preview::Job parsed;
      if (record.Language == Tongue::Zpl) parsed = preview::ParseZpl(bytes, options_.Dpi, [&](preview::Label&&) { ++labels; });
      else parsed = preview::Parse(bytes, PreviewLanguage(record.Language), options_.Dpi), labels = parsed.Labels.size();
      for (const auto& w : parsed.Warnings) record.Warnings.push_back("offset " + std::to_string(w.Offset) + ": " + w.Text);
      record.LabelsTotal = labels;
      if (labels == 0) record.Warnings.push_back("the job prints no label");
    } catch (const std::exception& e) {
      record.Warnings.push_back(std::string("no picture: ") + e.what());
    }
  }
  {
    std::ofstream(options_.JobsFolder + "/" + Numbered(record.Id) + ".json") << ToJson(record).dump(1) << "\n";
  }
  Log("job " + std::to_string(record.Id) + " (" + NameOf(record.Language) + ", " + std::to_string(record.Bytes) +
      " bytes) from " + record.Peer + (record.Warnings.empty() ? "" : ", " + std::to_string(record.Warnings.size()) + " warnings"));
  std::lock_guard<std::mutex> hold(lock_);
  if (record.Stage == JobStage::Waiting) queue_.push_back(record.Id);
  jobs_.push_front(std::move(record));
  Changed();
}

void Emulator::Changed() {
  ++version_;
  changed_.notify_all();
}

void Emulator::Engine() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    changed_.wait(hold, [&] { return stopping_ || (!queue_.empty() && state_.CanPrint()); });
    if (stopping_) return;
    const int id = queue_.front();
    auto it = std::find_if(jobs_.begin(), jobs_.end(), [&](const JobRecord& j) { return j.Id == id; });
    if (it == jobs_.end()) {
      queue_.pop_front();
      continue;
    }
    it->Stage = JobStage::Printing;
    JobRecord job = *it;
    Changed();
    hold.unlock();
    const bool whole = PrintSome(job);
    hold.lock();
    it = std::find_if(jobs_.begin(), jobs_.end(), [&](const JobRecord& j) { return j.Id == id; });
    if (it == jobs_.end()) continue;
    const bool cancelled = it->Stage == JobStage::Cancelled;
    *it = job;
    if (cancelled) it->Stage = JobStage::Cancelled;
    else it->Stage = whole ? JobStage::Printed : JobStage::Waiting;
    if ((whole || cancelled) && !queue_.empty() && queue_.front() == id) queue_.pop_front();
    std::ofstream(options_.JobsFolder + "/" + Numbered(id) + ".json") << ToJson(*it).dump(1) << "\n";
    Changed();
  }
}

bool Emulator::PrintSome(JobRecord& job) {
  std::string bytes = ReadFile(job.File);
  const int dpi = options_.Dpi;
  size_t index = 0;
  bool stopped = false;
  auto print = [&](const preview::Label& label) {
    if (stopped) return;
    if (index++ < job.LabelsPrinted) return;  // printed before the printer stopped
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (stopping_ || !state_.CanPrint()) {
        stopped = true;
        return;
      }
    }
    std::vector<std::string> problems;
    render::Bitmap dots = preview::Paint(label, dpi, &problems);
    for (auto& p : problems) job.Warnings.push_back("label " + std::to_string(index) + ": " + p);
    const std::string path = options_.JobsFolder + "/" + Numbered(job.Id) + "-" + std::to_string(index) + ".png";
    const auto png = render::EncodePng(dots, dpi);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    file.close();
    if (!file) job.Warnings.push_back("cannot write " + path);
    else job.Pictures.push_back(path);
    job.LabelsPrinted = index;
    std::lock_guard<std::mutex> hold(lock_);
    if (state_.PaperOutAfter > 0 && --state_.PaperOutAfter == 0) {
      state_.PaperOut = true;
      state_.PaperOutAfter = -1;
    }
    if (auto it = std::find_if(jobs_.begin(), jobs_.end(), [&](const JobRecord& j) { return j.Id == job.Id; }); it != jobs_.end()) {
      it->LabelsPrinted = job.LabelsPrinted;
      it->Pictures = job.Pictures;
    }
    Changed();
  };
  try {
    if (job.Language == Tongue::Zpl) {
      preview::ParseZpl(bytes, dpi, [&](preview::Label&& label) { print(label); });
    } else {
      preview::Job parsed = preview::Parse(bytes, PreviewLanguage(job.Language), dpi);
      for (const auto& label : parsed.Labels) print(label);
    }
  } catch (const std::exception&) {
    return true;  // told when the job came: no picture
  }
  return !stopped;
}

PrinterState Emulator::State() {
  std::lock_guard<std::mutex> hold(lock_);
  return state_;
}

void Emulator::SetState(const PrinterState& state) {
  std::lock_guard<std::mutex> hold(lock_);
  state_ = state;
  if (state_.PaperOutAfter == 0) {
    state_.PaperOut = true;
    state_.PaperOutAfter = -1;
  }
  Changed();
}

std::vector<JobRecord> Emulator::Jobs() {
  std::lock_guard<std::mutex> hold(lock_);
  return {jobs_.begin(), jobs_.end()};
}

Snapshot Emulator::SnapshotLocked() {
  Snapshot s;
  s.State = state_;
  s.Dpi = options_.Dpi;
  s.FormatsInBuffer = static_cast<int>(queue_.size());
  if (!queue_.empty()) {
    auto it = std::find_if(jobs_.begin(), jobs_.end(), [&](const JobRecord& j) { return j.Id == queue_.front(); });
    if (it != jobs_.end()) {
      s.JobId = it->JobId;
      s.JobName = it->JobName;
      s.LabelsRemaining = static_cast<long>(it->LabelsTotal > it->LabelsPrinted ? it->LabelsTotal - it->LabelsPrinted : 0);
    }
  }
  return s;
}

Snapshot Emulator::Now() {
  std::lock_guard<std::mutex> hold(lock_);
  return SnapshotLocked();
}

uint64_t Emulator::Version() {
  std::lock_guard<std::mutex> hold(lock_);
  return version_;
}

uint64_t Emulator::WaitForChange(uint64_t seen, int limitMs) {
  std::unique_lock<std::mutex> hold(lock_);
  changed_.wait_for(hold, std::chrono::milliseconds(limitMs), [&] { return version_ != seen || stopping_; });
  return version_;
}

}  // namespace morvel::emulate
