// The HTTP stack of the pages served on loopback: listening on both
// loopback addresses or one, taking connections (of this user alone where
// asked), bounding them, reading requests under limits and timeouts, and
// ending everything within a bounded wait when stopped.
#include "hosts/serve/Http.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <list>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/peer_user.h"
#include "platform/sockets.h"
#include "platform/text_case.h"

namespace morvel::serve {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;

namespace {

// How long a connection that is not kept may take over a request, or stay
// idle between two.
constexpr auto IdleLimit = std::chrono::seconds(5);
// How long EndConnections waits for the connections' threads, a handler
// running on one included, before it leaves them behind.
constexpr auto StopLimit = std::chrono::milliseconds(1500);
constexpr size_t MaxHeaderBytes = 8 * 1024;
constexpr size_t MaxBodyBytes = 64 * 1024;

std::string_view View(beast::string_view s) { return {s.data(), s.size()}; }

// A request's host must be a loopback name, so a page on another site that
// rebinds its DNS name to 127.0.0.1 is not served.
bool LoopbackHost(std::string_view host) {
  if (host.empty()) return true;  // HTTP/1.0 without Host
  for (std::string_view name : {"127.0.0.1", "[::1]", "localhost"}) {
    if (host.size() >= name.size() && text::EqualsIgnoreCaseAscii(host.substr(0, name.size()), name) &&
        (host.size() == name.size() || host[name.size()] == ':'))
      return true;
  }
  return false;
}

bool CannotHaveIpv6(const beast::error_code& ec) {
  return ec == boost::system::errc::address_not_available || ec == boost::system::errc::address_family_not_supported;
}

// How long a connection that is not kept holds its place against a newcomer.
constexpr auto GiveWayAge = std::chrono::seconds(1);
// How often the server looks for pages that left during a call.
constexpr auto WatchInterval = std::chrono::milliseconds(200);
// How long a listener waits when the process cannot take a connection.
constexpr auto AcceptPause = std::chrono::milliseconds(100);

platform::TcpEndpoint ToEndpoint(const tcp::endpoint& e) {
  if (e.address().is_v6()) return platform::TcpEndpoint::V6Address(e.address().to_v6().to_bytes(), e.port());
  return platform::TcpEndpoint::V4(e.address().to_v4().to_bytes(), e.port());
}

}  // namespace

// What the server knows of one connection, shared between its thread and
// the threads that admit and stop.
struct Slot {
  enum class State { Waiting, Kept, Ending };
  State Now = State::Waiting;  // under the server's table lock
  bool LeftRunning = false;    // its page left during a call that runs on; under the table lock
  // Set once the connection is to end (its peer left, or the server ends
  // it): a call that runs on it gives up at its next check.
  std::atomic<bool> Cancelled{false};

  std::mutex Lock;                                 // for the members below
  platform::NativeSocket Fd = platform::NoSocket;  // the socket while it is open
  std::string Peer;                                // 127.0.0.1:PORT
  std::string Doing;                               // what the handler does now
  std::chrono::steady_clock::time_point Since;     // when it was taken

  // From another thread: wakes whatever the connection waits for, without
  // closing the descriptor under it.
  void ShutDown() {
    std::lock_guard<std::mutex> lock(Lock);
    if (Fd != platform::NoSocket) platform::ShutDownSocket(Fd);
  }

  bool PeerClosed() {
    std::lock_guard<std::mutex> lock(Lock);
    return Fd != platform::NoSocket && platform::SocketPeerClosed(Fd);
  }
};

// The connections' states, under one lock. Kept connections (pages) and
// connections not yet kept (requests, handshakes) have places of their own,
// so that plain requests such as /health are answered however many pages
// are connected.
struct ConnectionTable {
  std::mutex Lock;
  std::list<std::shared_ptr<Slot>> Slots;  // every connection whose thread runs
  size_t LeftRunning = 0;                  // connections whose page left during a call that runs on

  // A connection that is about to be kept; false when it was told to end
  // meanwhile, or (`full` then set) when every page's place is taken.
  bool Keep(Slot& slot, size_t limit, bool& full, const std::function<void(const std::string&)>& log) {
    std::lock_guard<std::mutex> lock(Lock);
    full = false;
    if (slot.Now == Slot::State::Ending) return false;
    ReapLeftPages(log);
    size_t kept = 0;
    for (const auto& s : Slots)
      if (s->Now == Slot::State::Kept) ++kept;
    if (kept >= limit) {
      full = true;
      return false;
    }
    slot.Now = Slot::State::Kept;
    return true;
  }

  // Under Lock: pages whose peer has closed give their place up at once,
  // even while a call of theirs still runs (it is cancelled, and counted as
  // left running until its thread ends).
  void ReapLeftPages(const std::function<void(const std::string&)>& log) {
    for (const auto& s : Slots) {
      if (s->Now != Slot::State::Kept || !s->PeerClosed()) continue;
      s->Now = Slot::State::Ending;
      s->Cancelled = true;
      std::string doing;
      {
        std::lock_guard<std::mutex> slot(s->Lock);
        doing = s->Doing;
      }
      if (!doing.empty()) {
        s->LeftRunning = true;
        ++LeftRunning;
        if (log)
          log("the page at " + s->Peer + " left during a call (" + doing +
              "); its place is free, the call is cancelled");
      }
      s->ShutDown();  // its thread ends the connection once the call returns
    }
  }

  // Under Lock: the connection's thread is done.
  void Finish(Slot& slot, const std::function<void(const std::string&)>& log) {
    if (slot.LeftRunning) {
      slot.LeftRunning = false;
      --LeftRunning;
      if (log) log("the call of the page that left from " + slot.Peer + " has ended");
    }
    Slots.remove_if([&](const std::shared_ptr<Slot>& s) { return s.get() == &slot; });
  }
};

ListenError::ListenError(std::string address, std::string reason, bool inUse, std::string holder,
                         const std::string& advice)
    : std::runtime_error("cannot listen on " + address + ": " + reason + (holder.empty() ? "" : ", held by " + holder) +
                         advice),
      Address(std::move(address)),
      Reason(std::move(reason)),
      InUse(inUse),
      Holder(std::move(holder)) {}

HttpConnection::HttpConnection(net::io_context& context, tcp::socket socket, std::shared_ptr<Slot> slot,
                               std::shared_ptr<ConnectionTable> table, std::shared_ptr<const HttpOptions> options)
    : context_(context),
      stream_(std::move(socket)),
      slot_(std::move(slot)),
      table_(std::move(table)),
      options_(std::move(options)) {}

HttpConnection::~HttpConnection() = default;

void HttpConnection::Start(std::unique_ptr<HttpHandler> handler) {
  handler_ = std::move(handler);
  ReadRequest();
}

void HttpConnection::End() {
  {
    std::lock_guard<std::mutex> lock(slot_->Lock);
    slot_->Fd = platform::NoSocket;
    beast::error_code ec;
    stream_.socket().close(ec);
  }
  // A pending timer (a WebSocket's keep-alive, say) must not keep the thread.
  context_.stop();
}

void HttpConnection::Finish() {
  handler_.reset();
  End();
}

bool HttpConnection::Ending() {
  if (slot_->Cancelled) return true;
  std::lock_guard<std::mutex> lock(slot_->Lock);
  return slot_->Fd == platform::NoSocket || platform::SocketPeerClosed(slot_->Fd);
}

size_t HttpConnection::LeftRunning() const {
  std::lock_guard<std::mutex> lock(table_->Lock);
  return table_->LeftRunning;
}

HttpConnection::CallCounts HttpConnection::Calls() const {
  std::lock_guard<std::mutex> lock(table_->Lock);
  CallCounts counts;
  for (const auto& s : table_->Slots) {
    std::lock_guard<std::mutex> slot(s->Lock);
    if (s->Doing.empty()) continue;
    ++counts.Running;
    if (s->LeftRunning) ++counts.LeftRunning;
  }
  return counts;
}

const std::string& HttpConnection::Peer() const { return slot_->Peer; }

void HttpConnection::Doing(std::string what) {
  std::lock_guard<std::mutex> lock(slot_->Lock);
  slot_->Doing = std::move(what);
}

bool HttpConnection::Keep(bool* full) {
  bool noRoom = false;
  const bool kept = table_->Keep(*slot_, options_->MaxConnections, noRoom, options_->Log);
  if (full != nullptr) *full = noRoom;
  if (!kept) return false;
  stream_.expires_never();
  return true;
}

void HttpConnection::ReadRequest() {
  parser_ = std::make_unique<http::request_parser<http::string_body>>();
  parser_->header_limit(MaxHeaderBytes);
  parser_->body_limit(MaxBodyBytes);
  stream_.expires_after(IdleLimit);
  http::async_read(stream_, buffer_, *parser_, [this](beast::error_code ec, size_t) {
    if (ec) return End();  // closed, timed out or no HTTP: nothing to answer
    OnRequest();
  });
}

void HttpConnection::OnRequest() {
  HttpRequest request = parser_->release();
  if (!LoopbackHost(View(request[http::field::host]))) {
    if (options_->Log) options_->Log("refused a request for host " + std::string(request[http::field::host]));
    HttpResponse refusal =
        Answer(request, HttpStatus::forbidden, "text/plain; charset=utf-8", "only loopback host names are served\n");
    refusal.keep_alive(false);
    return Respond(std::move(refusal));
  }
  handler_->OnRequest(*this, std::move(request));
}

HttpResponse HttpConnection::Answer(const HttpRequest& request, HttpStatus status, std::string_view type,
                                    std::string body) const {
  HttpResponse response{status, request.version()};
  if (!options_->ServerName.empty()) response.set(http::field::server, options_->ServerName);
  response.set(http::field::content_type, beast::string_view(type.data(), type.size()));
  response.keep_alive(request.keep_alive());
  response.body() = std::move(body);
  return response;
}

HttpResponse HttpConnection::Json(const HttpRequest& request, HttpStatus status, std::string body) const {
  HttpResponse response = Answer(request, status, "application/json", std::move(body));
  response.set(http::field::cache_control, "no-store");
  return response;
}

void HttpConnection::Respond(HttpResponse response) {
  response_ = std::move(response);
  response_.prepare_payload();
  stream_.expires_after(IdleLimit);
  http::async_write(stream_, response_, [this](beast::error_code ec, size_t) {
    if (ec) return End();
    if (!response_.keep_alive()) {
      beast::error_code ignored;
      stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
      return End();
    }
    ReadRequest();
  });
}

namespace {

// A connection with its own io_context and thread. The connection goes
// before the context, as its sockets belong to it. Its thread holds it too,
// so one that EndConnections leaves behind in a handler keeps what it uses.
struct Worker {
  net::io_context Context{1};
  std::shared_ptr<Slot> State = std::make_shared<Slot>();
  std::unique_ptr<HttpConnection> Conn;
  std::thread Thread;
  std::atomic<bool> Done{false};
  std::mutex DoneLock;
  std::condition_variable Finished;

  ~Worker() {
    if (Thread.joinable()) {
      if (Thread.get_id() == std::this_thread::get_id())
        Thread.detach();
      else
        Thread.join();
    }
    Conn.reset();
  }

  void End() {
    State->Cancelled = true;
    State->ShutDown();  // a handler that waits on the socket or its peer wakes now
    net::post(Context, [c = Conn.get()] { c->End(); });
  }
};

}  // namespace

class HttpServer::Impl {
 public:
  Impl(HttpOptions options, HandlerMaker makeHandler)
      : shared_(std::make_shared<const HttpOptions>(std::move(options))),
        options_(*shared_),
        makeHandler_(std::move(makeHandler)) {}

  void Start() {
    Bind();
    for (tcp::acceptor& a : acceptors_) Accept(a);
    Watch();
    thread_ = std::thread([this] { context_.run(); });
  }

  void StopListening() {
    if (thread_.joinable()) {
      net::post(context_, [this] {
        stopping_ = true;
        for (tcp::acceptor& a : acceptors_) {
          beast::error_code ignored;
          a.close(ignored);
        }
        watch_.cancel();
      });
      thread_.join();
    }
    acceptors_.clear();
  }

  bool EndConnections() {
    std::list<std::shared_ptr<Worker>> workers;
    {
      std::lock_guard<std::mutex> lock(table_->Lock);
      workers.swap(workers_);
      for (auto& w : workers) w->State->Now = Slot::State::Ending;
    }
    for (auto& w : workers) w->End();
    auto deadline = std::chrono::steady_clock::now() + StopLimit;
    bool allEnded = true;
    for (auto& w : workers) {
      std::unique_lock<std::mutex> lock(w->DoneLock);
      if (w->Finished.wait_until(lock, deadline, [&] { return w->Done.load(); })) continue;
      allEnded = false;
      std::lock_guard<std::mutex> slot(w->State->Lock);
      Log("stopping while a call still runs for " + w->State->Peer + ": " +
          (w->State->Doing.empty() ? std::string("(between calls)") : w->State->Doing));
      w->Thread.detach();  // it holds its worker; the process may end under it
    }
    workers.clear();  // the others join their threads
    return allEnded;
  }

  uint16_t Port() const { return port_; }
  bool Ipv6() const { return ipv6_; }

 private:
  // Pages that left during a call give their place up, and have the call
  // cancelled, within a watch of their leaving, whether or not a newcomer
  // asks for the place.
  void Watch() {
    watch_.expires_after(WatchInterval);
    watch_.async_wait([this](const beast::error_code& ec) {
      // A watch already due when the stop came is not cancelled by it: it
      // must not arm another, or the listening thread never ends.
      if (ec || stopping_) return;
      {
        std::lock_guard<std::mutex> lock(table_->Lock);
        table_->ReapLeftPages(options_.Log);
      }
      Watch();
    });
  }

  void Log(const std::string& text) const {
    if (options_.Log) options_.Log(text);
  }

  std::optional<tcp::acceptor> Listen(const net::ip::address& address, uint16_t port, beast::error_code& ec) {
    tcp::endpoint endpoint(address, port);
    tcp::acceptor acceptor(context_);
    acceptor.open(endpoint.protocol(), ec);
    if (ec) return std::nullopt;
    platform::HoldPortAlone(static_cast<platform::NativeSocket>(acceptor.native_handle()));
    if (address.is_v6()) acceptor.set_option(net::ip::v6_only(true), ec);
    acceptor.bind(endpoint, ec);
    if (!ec) acceptor.listen(net::socket_base::max_listen_connections, ec);
    if (ec) return std::nullopt;
    return std::optional<tcp::acceptor>(std::move(acceptor));
  }

  [[noreturn]] void Refuse(const net::ip::address& address, uint16_t port, const beast::error_code& ec,
                           const std::string& advice) {
    acceptors_.clear();
    platform::TcpEndpoint where = ToEndpoint(tcp::endpoint(address, port));
    const bool inUse = ec == net::error::address_in_use;
    throw ListenError(where.Text(), ec.message(), inUse, inUse ? platform::ListenerHolder(where) : "", advice);
  }

  // Both loopback addresses on one port, or none: a port half taken would
  // let another program answer the pages that reach it under the other.
  void Bind() {
    const auto v4 = net::ip::make_address("127.0.0.1");
    const auto v6 = net::ip::make_address("::1");
    for (int attempt = 0;; ++attempt) {
      acceptors_.clear();
      beast::error_code ec;
      auto first = Listen(v4, options_.Port, ec);
      if (!first) Refuse(v4, options_.Port, ec, "");
      port_ = first->local_endpoint().port();
      acceptors_.push_back(std::move(*first));
      if (options_.Ipv4Only) return;
      auto second = Listen(v6, port_, ec);
      if (second) {
        acceptors_.push_back(std::move(*second));
        ipv6_ = true;
        return;
      }
      // Where the machine has no ::1, no other program can have it either.
      if (CannotHaveIpv6(ec)) {
        Log("::1 is not available (" + ec.message() + "); listening on 127.0.0.1 only");
        return;
      }
      // A port of our own choosing: choose again.
      if (options_.Port == 0 && ec == net::error::address_in_use && attempt < 8) continue;
      Refuse(v6, port_, ec, options_.Ipv6Advice);
    }
  }

  // With the process's descriptors or threads run out (EMFILE, ENFILE,
  // EAGAIN), accepting again at once would spin and fail alike: the
  // listener waits a moment, the connections stay queued, and it serves
  // again once some have gone.
  void Accept(tcp::acceptor& acceptor) {
    // Connections that ended hold their io_context's descriptors until their
    // worker goes: freed here, before a newcomer needs descriptors of its
    // own, so that descriptors run out cannot keep them held for good.
    std::list<std::shared_ptr<Worker>> finished;
    {
      std::lock_guard<std::mutex> lock(table_->Lock);
      finished = TakeFinished();
    }
    finished.clear();  // outside the lock: each joins its ended thread
    std::shared_ptr<Worker> worker;
    try {
      worker = std::make_shared<Worker>();
      // Its io_context takes descriptors when it first holds a socket: taken
      // here, not where the accepted socket lands, outside any handler.
      tcp::socket probe(worker->Context);
    } catch (const std::exception& e) {
      return Pause(acceptor, e.what());
    }
    acceptor.async_accept(worker->Context, [this, &acceptor, worker](beast::error_code ec, tcp::socket socket) {
      if (ec == net::error::operation_aborted || !acceptor.is_open()) return;
      if (ec && ec != net::error::connection_aborted) return Pause(acceptor, ec.message());
      if (!ec) {
        try {
          Admit(worker, std::move(socket));
        } catch (const std::exception& e) {
          return Pause(acceptor, e.what());
        }
      }
      paused_ = false;
      Accept(acceptor);
    });
  }

  void Pause(tcp::acceptor& acceptor, const std::string& why) {
    if (!paused_) Log("cannot take a connection now (" + why + "); trying again every 100 ms");
    paused_ = true;
    auto timer = std::make_shared<net::steady_timer>(context_, AcceptPause);
    timer->async_wait([this, &acceptor, timer](const beast::error_code& ec) {
      if (!ec && acceptor.is_open()) Accept(acceptor);
    });
  }

  // Any account can reach loopback; a server that acts with this user's
  // rights serves this user alone.
  bool OwnUser(const tcp::socket& socket, std::string& peer) {
    beast::error_code ec;
    tcp::endpoint local = socket.local_endpoint(ec);
    tcp::endpoint remote = socket.remote_endpoint(ec);
    if (ec) return false;
    platform::TcpEndpoint client = ToEndpoint(remote);
    peer = client.Text();
    if (!options_.OwnUserOnly) return true;
    std::optional<platform::UserId> user = platform::LoopbackPeerUser(ToEndpoint(local), client);
    if (user && *user == owner_) return true;
    Log("refused a connection from " + peer + (user ? " of " + user->Text() : std::string(" of an unknown user")) +
        ": only " + owner_.Text() + " is served");
    return false;
  }

  // The workers whose connection has ended, out of the table. Under the
  // table lock.
  std::list<std::shared_ptr<Worker>> TakeFinished() {
    std::list<std::shared_ptr<Worker>> finished;
    for (auto it = workers_.begin(); it != workers_.end();) {
      auto next = std::next(it);
      if ((*it)->Done.load()) finished.splice(finished.end(), workers_, it);
      it = next;
    }
    return finished;
  }

  // Room for a newcomer among the connections not yet kept: twice as many
  // places as pages have (at least 8), beside the pages' own, so that a
  // crowd of slow or refused connections leaves room for pages connecting
  // all at once; the oldest giving way
  // when they are all taken and it has had a second, so that nothing
  // refused or slow keeps a request out. False when every place is taken by
  // a connection younger than that: the newcomer is then answered 503.
  // Under the table lock.
  bool MakeRoom(const std::string& peer) {
    TakeFinished();  // those that ended while the newcomer was awaited hold no place
    const size_t waitingLimit = std::max<size_t>(8, 2 * options_.MaxConnections);
    size_t waiting = 0;
    std::shared_ptr<Worker> oldestWaiting;
    for (auto& w : workers_) {
      if (w->State->Now != Slot::State::Waiting) continue;
      ++waiting;
      if (!oldestWaiting) oldestWaiting = w;
    }
    if (waiting < waitingLimit) return true;
    if (std::chrono::steady_clock::now() - oldestWaiting->State->Since < GiveWayAge) {
      Log("refused a connection from " + peer + ": answered 503, " + std::to_string(waiting) +
          " connections that are not pages are open, the most");
      return false;
    }
    // The oldest connection that is not kept has had its chance.
    Log("closed the unfinished connection of " + oldestWaiting->State->Peer +
        " to make room: " + std::to_string(waiting) + " connections that are not pages are open, the most");
    oldestWaiting->State->Now = Slot::State::Ending;
    oldestWaiting->End();
    return true;
  }

  void Admit(const std::shared_ptr<Worker>& worker, tcp::socket socket) {
    std::string peer;
    beast::error_code ignored;
    if (!OwnUser(socket, peer)) {
      socket.close(ignored);
      return;
    }
    std::lock_guard<std::mutex> lock(table_->Lock);
    if (!MakeRoom(peer)) {
      // Told, not dropped: a page can say why, and try again.
      static constexpr char Busy[] =
          "HTTP/1.1 503 Service Unavailable\r\nRetry-After: 1\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
      socket.non_blocking(true, ignored);
      socket.write_some(net::buffer(Busy, sizeof Busy - 1), ignored);
      socket.shutdown(tcp::socket::shutdown_send, ignored);
      socket.close(ignored);
      return;
    }
    socket.set_option(tcp::no_delay(true), ignored);
    {
      std::lock_guard<std::mutex> slot(worker->State->Lock);
      worker->State->Fd = static_cast<platform::NativeSocket>(socket.native_handle());
      worker->State->Peer = peer;
      worker->State->Since = std::chrono::steady_clock::now();
    }
    worker->Conn = std::make_unique<HttpConnection>(worker->Context, std::move(socket), worker->State, table_, shared_);
    HttpConnection* connection = worker->Conn.get();
    net::post(worker->Context,
              [connection, handler = makeHandler_()]() mutable { connection->Start(std::move(handler)); });
    worker->Thread = std::thread([w = worker, table = table_, options = shared_] {
      w->Context.run();
      w->Conn->Finish();
      {
        std::lock_guard<std::mutex> lock(table->Lock);
        table->Finish(*w->State, options->Log);
      }
      std::lock_guard<std::mutex> lock(w->DoneLock);
      w->Done = true;
      w->Finished.notify_all();
    });
    workers_.push_back(worker);
    table_->Slots.push_back(worker->State);
  }

  // Shared with the connections, which a stop may leave behind.
  const std::shared_ptr<const HttpOptions> shared_;
  const HttpOptions& options_;
  const HandlerMaker makeHandler_;
  std::shared_ptr<ConnectionTable> table_ = std::make_shared<ConnectionTable>();
  platform::UserId owner_ = platform::CurrentUser();
  net::io_context context_{1};
  net::steady_timer watch_{context_};
  std::list<tcp::acceptor> acceptors_;
  bool paused_ = false;    // accepting failed and waits (on the accepting thread)
  bool stopping_ = false;  // the listeners are closing (on the accepting thread)
  std::thread thread_;
  uint16_t port_ = 0;
  bool ipv6_ = false;
  std::list<std::shared_ptr<Worker>> workers_;  // under table_->Lock
};

HttpServer::HttpServer(HttpOptions options, HandlerMaker makeHandler)
    : impl_(std::make_unique<Impl>(std::move(options), std::move(makeHandler))) {}
HttpServer::~HttpServer() { Stop(); }
void HttpServer::Start() { impl_->Start(); }
void HttpServer::StopListening() { impl_->StopListening(); }
bool HttpServer::EndConnections() { return impl_->EndConnections(); }
uint16_t HttpServer::Port() const { return impl_->Port(); }
bool HttpServer::ListensOnIpv6() const { return impl_->Ipv6(); }

}  // namespace morvel::serve
