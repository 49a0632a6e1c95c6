// The virtual printer's raw ports on Asio. One thread accepts on every
// language's port; each connection is then served at once on a thread of
// its own with its own io_context, up to a bound (more wait in the
// system's queue to be accepted). Its bytes go to the job's file as they
// come, never gathered in memory, and its status queries are answered on
// it as they come.
#include <utility>  // before Boost 1.74's asio, which uses std::exchange without it

#include <boost/asio.hpp>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

#include "hosts/emulate/Emulator.h"
#include "platform/file_io.h"
#include "platform/peer_user.h"

namespace morvel::emulate {

namespace net = boost::asio;
using tcp = net::ip::tcp;
using boost::system::error_code;

namespace {

// A client that reads nothing of an answer is not waited for longer.
constexpr auto SendLimit = std::chrono::seconds(5);
// How long a listener waits when the process cannot take a connection.
constexpr auto AcceptPause = std::chrono::milliseconds(100);

platform::TcpEndpoint ToEndpoint(const tcp::endpoint& e) {
  if (e.address().is_v6()) return platform::TcpEndpoint::V6Address(e.address().to_v6().to_bytes(), e.port());
  return platform::TcpEndpoint::V4(e.address().to_v4().to_bytes(), e.port());
}

// The account the print system's backends run as (lp): a CUPS queue whose
// device is the emulator sends its jobs from it.
std::optional<platform::UserId> PrintSystemUser() { return platform::UserNamed("lp"); }

// Loopback is shared by every account of the machine: a connection over it
// is served when it is this user's own, as the bridge serves, or the print
// system's. Another computer (--listen) has no account here, and was let in
// by the user.
bool OwnUserOrRemote(const tcp::socket& socket, std::string& who) {
  error_code ec;
  const tcp::endpoint local = socket.local_endpoint(ec), remote = socket.remote_endpoint(ec);
  if (ec) return false;
  if (!remote.address().is_loopback() &&
      !(remote.address().is_v6() && remote.address().to_v6().is_v4_mapped() &&
        net::ip::make_address_v4(net::ip::v4_mapped, remote.address().to_v6()).is_loopback()))
    return true;
  const std::optional<platform::UserId> user = platform::LoopbackPeerUser(ToEndpoint(local), ToEndpoint(remote));
  static const std::optional<platform::UserId> printSystem = PrintSystemUser();
  if (user && (*user == platform::CurrentUser() || user == printSystem)) return true;
  who = user ? user->Text() : "an unknown user";
  return false;
}

std::string NowIso() {
  std::time_t t = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

}  // namespace

struct Emulator::Network {
  struct Listener {
    lang::Language Language;
    tcp::acceptor Acceptor;
    int Port = 0;
  };
  net::io_context Context{1};
  // Keeps the accepting thread while every listener waits for a place.
  std::optional<net::executor_work_guard<net::io_context::executor_type>> Work;
  std::vector<std::unique_ptr<Listener>> Listeners;
  bool Paused = false;  // accepting failed and waits (on the accepting thread)
  std::thread Thread;
};

// One connection. Its thread runs its io_context only while it reads or
// writes, and each wait runs it to that operation's end alone, so each has
// its own limit, and a close posted from another thread ends whatever it
// waits for. What goes out on it goes through one outbox, in order: status
// answers from its own thread, and the ^HV answers of its jobs from the
// print engine, posted to its io_context and written while its thread waits.
struct Emulator::Connection {
  net::io_context Context{1};
  tcp::socket Socket{Context};
  std::string Peer;
  Language Of = Language::Zpl;
  std::atomic<int64_t> LastByte{Now()};  // steady clock, ms
  std::atomic<bool> GaveWay{false};      // ended to make room for a newcomer

  static int64_t Now() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

  // What came within `limit`: the bytes, or timed_out, eof or the error.
  size_t ReadSome(net::mutable_buffer into, std::chrono::milliseconds limit, error_code& ec) {
    size_t got = 0;
    bool done = false;
    Socket.async_read_some(into, [&](const error_code& e, size_t n) {
      ec = e;
      got = n;
      done = true;
    });
    if (!Await(limit, [&] { return done; }) && ec == net::error::operation_aborted) ec = net::error::timed_out;
    return got;
  }

  // On its own thread: `bytes` out after all posted before, within SendLimit.
  bool Send(const std::string& bytes) {
    uint64_t end = 0;
    if (!Post(bytes, &end)) return false;
    Await(SendLimit, [&] {
      std::lock_guard<std::mutex> hold(OutLock);
      return Written >= end || Broken;
    });
    std::lock_guard<std::mutex> hold(OutLock);
    return Written >= end;
  }

  // From any thread: `bytes` go out after all posted before. False when
  // they cannot: the connection is served no more, broke off, or its host
  // leaves OutboxLimit unread.
  bool Post(const std::string& bytes, uint64_t* end = nullptr) {
    std::lock_guard<std::mutex> hold(OutLock);
    if (Ended || Broken || Pending.size() + bytes.size() > OutboxLimit) return false;
    Pending += bytes;
    Queued += bytes.size();
    if (end != nullptr) *end = Queued;
    if (!Writing) {
      Writing = true;
      net::post(Context, [this] { WriteNext(); });
    }
    return true;
  }

  // Its thread serves it no more: nothing more is posted.
  void End() {
    std::lock_guard<std::mutex> hold(OutLock);
    Ended = true;
  }

  // From any thread: ends the connection's read or write now.
  void Close() {
    net::post(Context, [this] {
      error_code ignored;
      Socket.close(ignored);
    });
  }

 private:
  static constexpr size_t OutboxLimit = 1 << 20;

  // Runs the io_context until `done`, or cancels the socket's operations
  // at the limit and runs it until `done` then; false at the limit. Other
  // work (an answer being written) goes on meanwhile, never waited for.
  template <typename Done>
  bool Await(std::chrono::milliseconds limit, const Done& done) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    Context.restart();
    while (!done() && Context.run_one_until(deadline) > 0) {
    }
    if (done()) return true;
    error_code ignored;
    Socket.cancel(ignored);
    while (!done() && Context.run_one() > 0) {
    }
    return false;
  }

  // On its thread: writes what the outbox holds, then what came meanwhile.
  void WriteNext() {
    std::unique_lock<std::mutex> hold(OutLock);
    if (Pending.empty() || Broken) {
      Writing = false;
      return;
    }
    InFlight.swap(Pending);
    Pending.clear();
    hold.unlock();
    net::async_write(Socket, net::buffer(InFlight), [this](const error_code& ec, size_t n) {
      {
        std::lock_guard<std::mutex> hold(OutLock);
        Written += n;
        if (ec) {
          Broken = true;  // cut off, or not read within a wait's limit: nothing more goes out
          Pending.clear();
        }
      }
      WriteNext();
    });
  }

  std::mutex OutLock;
  std::string Pending, InFlight;
  uint64_t Queued = 0, Written = 0;  // bytes posted and written, all told
  bool Writing = false, Broken = false, Ended = false;
};

// One connection's job as its bytes come: begun by the first byte that is
// no query, written to its file as it comes, cut at the size limit.
struct Emulator::Intake {
  Intake(Emulator& emulator, Language language, std::string peer, std::function<bool(const std::string&)> reply)
      : Owner(emulator), Language(language), Peer(std::move(peer)), Reply(std::move(reply)) {}

  void Take(std::string_view bytes, uint64_t received) {
    if (!Open) {
      // A connection that only asks for the state is no job.
      if (bytes.find_first_not_of(" \t\r\n") == std::string_view::npos) return;
      Begin();
    }
    Job.Bytes += received;
    const uint64_t limit = Owner.options_.SizeLimit;
    const uint64_t room = Kept < limit ? limit - Kept : 0;
    const size_t now = static_cast<size_t>(std::min<uint64_t>(room, bytes.size()));
    if (!Out.IsOpen() || !platform::WriteAll(Out.Get(), std::string_view(bytes.data(), now))) Failed = true;
    Kept += now;
    if (now < bytes.size() && !Job.Cut) {
      Job.Cut = true;
      Owner.Log("job " + std::to_string(Job.Id) + " from " + Peer + " is over " + std::to_string(limit) +
                " bytes: cut there, the rest read and dropped");
    }
  }

  // The job so far is finished, a cancelled one as cancelled.
  void End(bool cancelled) {
    if (!Open) return;
    if (Out.IsOpen() && Out.Close() != 0) Failed = true;
    if (Failed) Job.Warnings.push_back("cannot write all of " + Job.File);
    Open = false;
    if (cancelled) Job.Stage = JobStage::Cancelled;
    Owner.Finished(std::move(Job));
  }

  // The connection ended before the job did.
  void Dropped(std::string why) {
    if (!Open) return;
    Job.Dropped = true;
    Job.Warnings.push_back(std::move(why));
  }

  void Warn(std::string why) {
    if (Open) Job.Warnings.push_back(std::move(why));
  }

 private:
  void Begin() {
    Job = JobRecord();
    Job.Language = Language;
    Job.Peer = Peer;
    Job.Received = NowIso();
    Job.Reply = Reply;
    Job.Id = Owner.NewJob(Language, Job.File, Out);
    if (!Out.IsOpen()) Job.Warnings.push_back("cannot write " + Job.File + ": " + std::strerror(errno));
    Failed = false;
    Kept = 0;
    Open = true;
  }

  Emulator& Owner;
  const lang::Language Language;
  const std::string Peer;
  const std::function<bool(const std::string&)> Reply;
  JobRecord Job;
  platform::FileDescriptor Out;  // the job's file
  bool Failed = false;
  uint64_t Kept = 0;
  bool Open = false;
};

// Made and ended here, where its network is whole.
Emulator::Emulator(Options options) : options_(std::move(options)) {
  if (options_.JobsFolder.empty()) options_.JobsFolder = DefaultJobsFolder();
  roll_ = TagRoll(options_.Rfid);
}

Emulator::~Emulator() { Stop(); }

bool Emulator::Listen(std::string& error) {
  network_ = std::make_unique<Network>();
  for (const auto& [language, port] : options_.Ports) {
    const std::string where = options_.ListenAddress + ":" + std::to_string(port);
    error_code ec;
    tcp::resolver resolver(network_->Context);
    auto found = resolver.resolve(options_.ListenAddress, std::to_string(port),
                                  tcp::resolver::passive | tcp::resolver::numeric_service, ec);
    auto listener = std::make_unique<Network::Listener>(Network::Listener{language, tcp::acceptor(network_->Context)});
    tcp::acceptor& acceptor = listener->Acceptor;
    if (!ec && found.empty()) ec = net::error::host_not_found;
    if (!ec) acceptor.open(found.begin()->endpoint().protocol(), ec);
    if (!ec) acceptor.set_option(net::socket_base::reuse_address(true), ec);
    if (!ec) acceptor.bind(found.begin()->endpoint(), ec);
    if (!ec) acceptor.listen(128, ec);
    if (ec) {
      error = std::string("cannot listen on ") + where + " for " + lang::NameOf(language) + ": " + ec.message() +
              (ec == net::error::address_in_use ? " (another program has the port; choose another with --" +
                                                      std::string(lang::NameOf(language)) + ")"
                                                : "");
      network_->Listeners.clear();
      return false;
    }
    listener->Port = acceptor.local_endpoint().port();
    network_->Listeners.push_back(std::move(listener));
  }
  return true;
}

void Emulator::StartAccepting() {
  network_->Work.emplace(network_->Context.get_executor());
  for (size_t k = 0; k < network_->Listeners.size(); ++k) Accept(k);
  network_->Thread = std::thread([this] { network_->Context.run(); });
}

void Emulator::StopNetwork() {
  if (network_ && network_->Thread.joinable()) {
    net::post(network_->Context, [this] {
      for (auto& l : network_->Listeners) {
        error_code ignored;
        l->Acceptor.close(ignored);
      }
    });
    network_->Work.reset();
    network_->Thread.join();
  }
  std::unique_lock<std::mutex> hold(connectionsLock_);
  for (auto& c : open_) c->Close();
  connectionsChanged_.wait(hold, [&] { return open_.empty(); });
}

int Emulator::Port(Language language) const {
  if (network_)
    for (const auto& l : network_->Listeners)
      if (l->Language == language) return l->Port;
  return 0;
}

// On the accepting thread.
void Emulator::Accept(size_t index) {
  Network::Listener& listener = *network_->Listeners[index];
  std::shared_ptr<Connection> connection;
  try {
    connection = std::make_shared<Connection>();  // its io_context takes descriptors too
  } catch (const std::exception& e) {
    return Pause(index, e.what());
  }
  listener.Acceptor.async_accept(connection->Socket, [this, index, connection](const error_code& ec) {
    if (stopping_ || ec == net::error::operation_aborted) return;
    if (ec && ec != net::error::connection_aborted) return Pause(index, ec.message());
    if (!ec) {
      try {
        Spawn(network_->Listeners[index]->Language, connection);
      } catch (const std::exception& e) {
        return Pause(index, e.what());
      }
    }
    network_->Paused = false;
    Accept(index);
  });
}

// With the process's descriptors or threads run out, accepting again at
// once would spin and fail alike: the listener waits a moment, the
// connections stay queued, and it serves again once some have gone.
void Emulator::Pause(size_t index, const std::string& why) {
  if (!network_->Paused)
    Log("cannot take a connection now (" + why + "); trying again every " + std::to_string(AcceptPause.count()) +
        " ms");
  network_->Paused = true;
  auto timer = std::make_shared<net::steady_timer>(network_->Context, AcceptPause);
  timer->async_wait([this, index, timer](const error_code& ec) {
    if (!ec && !stopping_ && network_->Listeners[index]->Acceptor.is_open()) Accept(index);
  });
}

void Emulator::Spawn(Language language, std::shared_ptr<Connection> connection) {
  error_code ec;
  connection->Socket.set_option(tcp::no_delay(true), ec);  // answers go out at once
  const tcp::endpoint from = connection->Socket.remote_endpoint(ec);
  connection->Peer = ec ? "?:?" : from.address().to_string() + ":" + std::to_string(from.port());
  if (std::string who; !OwnUserOrRemote(connection->Socket, who)) {
    Log("refused a connection from " + connection->Peer + " of " + who + ": only " + platform::CurrentUser().Text() +
        " is served");
    connection->Socket.close(ec);
    return;
  }
  connection->Of = language;
  {
    // Each language has its own places, so idle connections to one port
    // never keep another's jobs or status queries out; and a newcomer takes
    // the place of the connection silent longest, so they never keep its
    // own out for long either.
    std::lock_guard<std::mutex> hold(connectionsLock_);
    std::shared_ptr<Connection> silent;
    size_t same = 0;
    for (const auto& c : open_) {
      if (c->Of != language || c->GaveWay) continue;
      ++same;
      if (!silent || c->LastByte < silent->LastByte) silent = c;
    }
    if (same >= options_.ConnectionsPerPort && silent) {
      silent->GaveWay = true;
      silent->Close();
    }
    open_.push_back(connection);
  }
  auto leave = [this, connection] {
    // Under the lock: once Stop sees no connection, none touches the emulator.
    std::lock_guard<std::mutex> hold(connectionsLock_);
    open_.erase(std::find(open_.begin(), open_.end(), connection));
    connectionsChanged_.notify_all();
  };
  try {
    std::thread([this, language, connection, leave] {
      Serve(connection, language);
      leave();
    }).detach();
  } catch (...) {
    leave();  // no thread to be had: the connection is closed as it goes
    throw;
  }
}

void Emulator::Serve(const std::shared_ptr<Connection>& serving, Language language) {
  Connection& connection = *serving;
  // A job's ^HV answers go out on its connection while it is served.
  Intake job(*this, language, connection.Peer, [weak = std::weak_ptr<Connection>(serving)](const std::string& bytes) {
    const std::shared_ptr<Connection> open = weak.lock();
    return open && open->Post(bytes);
  });
  QueryScanner scanner(language);
  AnswerCuts cuts(language);
  std::vector<Query> queries;
  std::string jobBytes;
  char buffer[65536];
  for (;;) {
    error_code ec;
    const size_t got = connection.ReadSome(net::buffer(buffer), std::chrono::milliseconds(options_.IdleTimeoutMs), ec);
    if (stopping_) {
      job.Dropped("the emulator stopped while the job was coming");
      break;
    }
    if (connection.GaveWay) {
      job.Dropped("ended after " + std::to_string((Connection::Now() - connection.LastByte) / 1000) +
                  " s without a byte, to make room for a new connection");
      break;
    }
    connection.LastByte = Connection::Now();
    if (ec == net::error::timed_out) {
      job.Warn("no byte came for " + std::to_string(options_.IdleTimeoutMs / 1000) + " s: the connection was ended");
      break;
    }
    if (ec) {
      if (ec != net::error::eof) job.Dropped("the connection broke off: " + ec.message());
      break;
    }
    jobBytes.clear();
    queries.clear();
    scanner.Feed(std::string_view(buffer, got), jobBytes, queries);
    // A format whose host waits for its answers ends the job: the bytes
    // after it begin the next.
    std::string_view rest = jobBytes;
    uint64_t received = got;
    for (size_t cut; (cut = cuts.Next(rest)) != std::string_view::npos; rest.remove_prefix(cut)) {
      job.Take(rest.substr(0, cut), std::min<uint64_t>(cut, received));
      received -= std::min<uint64_t>(cut, received);
      job.End(false);
    }
    job.Take(rest, received);
    for (Query q : queries) {
      if (q->Cancels) {
        Cancel(language);
        job.End(true);
      }
      Answer(connection, q);
    }
  }
  jobBytes.clear();
  scanner.Finish(jobBytes);
  if (!jobBytes.empty()) job.Take(jobBytes, 0);
  job.End(false);
  connection.End();
}

void Emulator::Answer(Connection& connection, Query query) {
  Snapshot s;
  {
    std::lock_guard<std::mutex> hold(lock_);
    s = SnapshotLocked();
    if (const auto last = lastTagWrites_.find(connection.Of); last != lastTagWrites_.end())
      s.LastTagWrite = last->second;
    if (const auto counts = tagCounts_.find(connection.Of); counts != tagCounts_.end()) s.Tags = counts->second;
  }
  connection.Send(query->Answer(s));
}

}  // namespace morvel::emulate
