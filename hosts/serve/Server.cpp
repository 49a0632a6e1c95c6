// The bridge's network side on Boost.Beast. One thread accepts; every
// connection then runs on a thread of its own with its own io_context, so its
// calls run in order on one thread (the control keeps the CurrentPrinter per
// thread) and a slow call never holds up another page.
//
// Loopback is open to every account on the machine, so a connection is taken
// only from a socket of the bridge's own user, before a byte of it is read.
// Connections that are not yet pages (HTTP, handshakes, refused origins) get
// a short idle limit and a quarter of the table, the oldest giving way to a
// newcomer, so that nothing that is refused can keep an allowed page out.
#include "hosts/serve/Server.h"

#include <utility>  // before Boost 1.74's asio, which uses std::exchange without it

#include <boost/asio.hpp>
#include <boost/beast.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <list>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <thread>

#include "morvel/morvel.h"
#include "platform/host_paths.h"
#include "platform/origins.h"
#include "platform/peer_user.h"
#include "platform/services.h"
#include "platform/sockets.h"
#include "platform/text_case.h"

namespace morvel::serve {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;

namespace {

// How long a connection that is not yet a page may take over a request or a
// handshake, or stay idle between HTTP requests.
constexpr auto IdleLimit = std::chrono::seconds(5);
// How long a refused page has to answer the close frame before the TCP
// connection is closed anyway.
constexpr auto CloseLimit = std::chrono::seconds(1);
// How long Stop waits for the connections' threads, a call running on one
// included, before it leaves them behind.
constexpr auto StopLimit = std::chrono::milliseconds(1500);
constexpr size_t MaxHeaderBytes = 8 * 1024;

std::string_view View(beast::string_view s) { return {s.data(), s.size()}; }

void Log(const std::string& text) { platform::Logger().Record("serve: " + text); }

// A page's host name must be a loopback name, so a page on another site that
// rebinds its DNS name to 127.0.0.1 is not served either.
bool LoopbackHost(std::string_view host) {
  if (host.empty()) return true;  // HTTP/1.0 without Host
  for (std::string_view name : {"127.0.0.1", "[::1]", "localhost"}) {
    if (host.size() >= name.size() && text::EqualsIgnoreCaseAscii(host.substr(0, name.size()), name) &&
        (host.size() == name.size() || host[name.size()] == ':'))
      return true;
  }
  return false;
}

struct Shared {
  ServerOptions Options;
  std::set<std::string> Origins;
  std::string Version;

  bool Allowed(std::string_view origin) const { return Origins.count(platform::NormalizeOrigin(origin)) != 0; }
};

// What the server knows of one connection, shared between its thread and
// the threads that admit and stop.
struct Slot {
  enum class State { Waiting, Page, Ending };
  State Now = State::Waiting;  // under the table's lock

  std::mutex Lock;     // for the members below
  platform::NativeSocket Fd = platform::NoSocket;  // the socket while it is open
  std::string Peer;    // 127.0.0.1:PORT
  std::string Call;    // the start of the message being handled

  // From another thread: wakes whatever the connection waits for, without
  // closing the descriptor under it.
  void ShutDown() {
    std::lock_guard<std::mutex> lock(Lock);
    if (Fd != platform::NoSocket) platform::ShutDownSocket(Fd);
  }
};

class Table {
 public:
  std::mutex Lock;

  // A connection that is about to become a page; false when it was told to
  // end meanwhile.
  bool Promote(Slot& slot) {
    std::lock_guard<std::mutex> lock(Lock);
    if (slot.Now == Slot::State::Ending) return false;
    slot.Now = Slot::State::Page;
    return true;
  }
};

class Connection {
 public:
  Connection(net::io_context& context, tcp::socket socket, std::shared_ptr<const Shared> shared,
             std::shared_ptr<Table> table, std::shared_ptr<Slot> slot)
      : context_(context), stream_(std::move(socket)), shared_(std::move(shared)), table_(std::move(table)),
        slot_(std::move(slot)) {}

  void Start() { ReadRequest(); }

  // Ends the connection: its thread leaves run() even though the WebSocket's
  // keep-alive timer is still pending, and its objects then die on it.
  void End() {
    {
      std::lock_guard<std::mutex> lock(slot_->Lock);
      slot_->Fd = platform::NoSocket;
      beast::error_code ec;
      if (ws_) beast::get_lowest_layer(*ws_).socket().close(ec);
      else stream_.socket().close(ec);
    }
    context_.stop();
  }

  // On the connection's own thread, after run(): its objects die there.
  void Finish() {
    session_.reset();
    End();
  }

 private:
  // The page has closed its end (or the bridge is stopping), even when
  // messages it sent before are still waiting to be read.
  bool PeerGone() {
    std::lock_guard<std::mutex> lock(slot_->Lock);
    return slot_->Fd == platform::NoSocket || platform::SocketPeerClosed(slot_->Fd);
  }

  void ReadRequest() {
    parser_.emplace();
    parser_->header_limit(MaxHeaderBytes);
    parser_->body_limit(64 * 1024);
    stream_.expires_after(IdleLimit);
    http::async_read(stream_, buffer_, *parser_, [this](beast::error_code ec, size_t) {
      if (ec) return End();  // closed, timed out or no HTTP: nothing to answer
      OnRequest();
    });
  }

  void OnRequest() {
    http::request<http::string_body> request = parser_->release();
    if (!LoopbackHost(View(request[http::field::host]))) {
      Log("refused a request for host " + std::string(request[http::field::host]));
      return Respond(Plain(request, http::status::forbidden, "only loopback host names are served\n", false));
    }
    if (websocket::is_upgrade(request)) return Upgrade(std::move(request));
    http::response<http::string_body> response = Answer(request);
    // A page from a refused origin gets its answer and nothing more: its
    // connection is not kept for another request.
    std::string origin(request[http::field::origin]);
    if (!origin.empty() && !shared_->Allowed(origin)) response.keep_alive(false);
    Respond(std::move(response));
  }

  http::response<http::string_body> Plain(const http::request<http::string_body>& request, http::status status,
                                          std::string body, bool keepAlive) {
    http::response<http::string_body> response{status, request.version()};
    response.set(http::field::server, "morvel-serve");
    response.set(http::field::content_type, "text/plain; charset=utf-8");
    response.keep_alive(keepAlive && request.keep_alive());
    response.body() = std::move(body);
    return response;
  }
  http::response<http::string_body> Answer(const http::request<http::string_body>& request) {
    std::string origin(request[http::field::origin]);
    bool allowed = !origin.empty() && shared_->Allowed(origin);
    std::string_view target = View(request.target());
    target = target.substr(0, target.find('?'));
    bool script = target == "/morvel.js";
    http::response<http::string_body> response = Plain(request, http::status::ok, "", true);
    // The script holds nothing private, so any page may load it and then
    // learn from the bridge itself, in words it can show, that it is refused.
    if (script) {
      response.set(http::field::access_control_allow_origin, "*");
    } else if (allowed) {
      response.set(http::field::access_control_allow_origin, origin);
      response.set(http::field::vary, "Origin");
    }

    if (request.method() == http::verb::options) {
      if (!script && !allowed) {
        Log("refused a preflight from origin " + origin);
        return Plain(request, http::status::forbidden, "origin not allowed\n", true);
      }
      response.result(http::status::no_content);
      response.set(http::field::access_control_allow_methods, "GET, HEAD, OPTIONS");
      if (auto headers = request[http::field::access_control_request_headers]; !headers.empty())
        response.set(http::field::access_control_allow_headers, headers);
      if (text::EqualsIgnoreCaseAscii(View(request["Access-Control-Request-Private-Network"]), "true"))
        response.set("Access-Control-Allow-Private-Network", "true");
      response.set(http::field::access_control_max_age, "600");
      return response;
    }
    if (request.method() != http::verb::get && request.method() != http::verb::head) {
      response = Plain(request, http::status::method_not_allowed, "method not allowed\n", true);
      response.set(http::field::allow, "GET, HEAD, OPTIONS");
      return response;
    }
    if (script) {
      response.set(http::field::content_type, "text/javascript; charset=utf-8");
      response.set(http::field::cache_control, "no-cache");
      response.body() = std::string(MorvelScript);
    } else if (target == "/health") {
      response.set(http::field::content_type, "application/json");
      response.set(http::field::cache_control, "no-store");
      response.body() = "{\"status\":\"ok\",\"version\":\"" + shared_->Version + "\"}\n";
    } else if (target == "/") {
      response.body() = "Morvel bridge " + shared_->Version + ": WebSocket at this address, script at /morvel.js\n";
    } else {
      response.result(http::status::not_found);
      response.body() = "not found\n";
    }
    return response;
  }

  void Respond(http::response<http::string_body> response) {
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

  void Upgrade(http::request<http::string_body> request) {
    upgrade_ = std::move(request);
    std::string origin(upgrade_[http::field::origin]);
    // Browsers always send Origin; a program of the bridge's own user
    // without one gains nothing here it could not do itself.
    bool allowed = origin.empty() || shared_->Allowed(origin);
    // A page takes its slot before it hears that the handshake succeeded,
    // so a page that connects right after it never finds the slot taken.
    if (allowed && !table_->Promote(*slot_)) return End();
    stream_.expires_never();
    buffer_.consume(buffer_.size());
    ws_.emplace(std::move(stream_));
    auto timeouts = websocket::stream_base::timeout::suggested(beast::role_type::server);
    timeouts.handshake_timeout = IdleLimit;
    ws_->set_option(timeouts);
    ws_->set_option(websocket::stream_base::decorator(
        [](websocket::response_type& response) { response.set(http::field::server, "morvel-serve"); }));
    ws_->read_message_max(shared_->Options.Bounds.MaxMessageBytes);
    ws_->async_accept(upgrade_, [this, allowed, origin](beast::error_code ec) {
      if (ec) return End();
      if (!allowed) {
        // Accepted only to say why in the close frame, which a page can read;
        // a refused handshake looks the same as no bridge at all. The page
        // has a moment to answer it before the connection goes.
        Log("refused a page from origin " + origin);
        std::string reason = "origin not allowed: " + origin;
        if (reason.size() > 120) reason.resize(120);
        auto closing = websocket::stream_base::timeout::suggested(beast::role_type::server);
        closing.handshake_timeout = CloseLimit;
        ws_->set_option(closing);
        ws_->async_close(websocket::close_reason(websocket::close_code::policy_error, reason),
                         [this](beast::error_code) { End(); });
        return;
      }
      session_ = std::make_unique<Session>(shared_->Options.Bounds,
                                           [this](std::string message) { outgoing_.push_back(std::move(message)); });
      session_->SetPeerGone([this] { return PeerGone(); });
      ReadMessage();
    });
  }

  // One message at a time: the next is read once the answers of the last
  // are written, so a page that never reads cannot pile up answers here.
  void ReadMessage() {
    ws_->async_read(buffer_, [this](beast::error_code ec, size_t) {
      if (ec) {
        if (ec == websocket::error::message_too_big)
          Log("closed a connection whose message exceeded " + std::to_string(shared_->Options.Bounds.MaxMessageBytes) +
              " bytes");
        return End();
      }
      // Calls a page sent before it left are not run for nobody.
      if (PeerGone()) return End();
      // Read where it lies: a flat buffer is one piece, and a copy would
      // double what one message costs.
      auto data = buffer_.data();
      std::string_view message(static_cast<const char*>(data.data()), data.size());
      {
        std::lock_guard<std::mutex> lock(slot_->Lock);
        slot_->Call = std::string(message.substr(0, 160));
      }
      std::string answer = session_->Handle(message);
      buffer_.consume(buffer_.size());
      buffer_.shrink_to_fit();
      outgoing_.push_back(std::move(answer));
      {
        std::lock_guard<std::mutex> lock(slot_->Lock);
        slot_->Call.clear();
      }
      Flush();
    });
  }

  void Flush() {
    if (outgoing_.empty()) return ReadMessage();
    ws_->text(true);
    ws_->async_write(net::buffer(outgoing_.front()), [this](beast::error_code ec, size_t) {
      if (ec) return End();
      outgoing_.pop_front();
      Flush();
    });
  }

  net::io_context& context_;
  beast::tcp_stream stream_;
  std::shared_ptr<const Shared> shared_;
  std::shared_ptr<Table> table_;
  std::shared_ptr<Slot> slot_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  http::response<http::string_body> response_;
  http::request<http::string_body> upgrade_;
  std::optional<websocket::stream<beast::tcp_stream>> ws_;
  std::unique_ptr<Session> session_;
  std::deque<std::string> outgoing_;
};

// A connection with its own io_context and thread. The connection goes
// before the context, as its sockets belong to it. Its thread holds it too,
// so one that Stop leaves behind in a call keeps what it uses.
struct Worker {
  net::io_context Context{1};
  std::shared_ptr<Slot> State = std::make_shared<Slot>();
  std::unique_ptr<Connection> Conn;
  std::thread Thread;
  std::atomic<bool> Done{false};
  std::mutex DoneLock;
  std::condition_variable Finished;

  ~Worker() {
    if (Thread.joinable()) {
      if (Thread.get_id() == std::this_thread::get_id()) Thread.detach();
      else Thread.join();
    }
    Conn.reset();
  }
};

bool CannotHaveIpv6(const beast::error_code& ec) {
  return ec == boost::system::errc::address_not_available || ec == boost::system::errc::address_family_not_supported;
}

platform::TcpEndpoint ToEndpoint(const tcp::endpoint& e) {
  if (e.address().is_v6()) return platform::TcpEndpoint::V6Address(e.address().to_v6().to_bytes(), e.port());
  return platform::TcpEndpoint::V4(e.address().to_v4().to_bytes(), e.port());
}

}  // namespace

class Server::Impl {
 public:
  explicit Impl(ServerOptions options) {
    auto shared = std::make_shared<Shared>();
    shared->Options = std::move(options);
    for (const std::string& o : shared->Options.AllowedOrigins) shared->Origins.insert(platform::NormalizeOrigin(o));
    shared->Version = ToUtf8(PrintBarCode().GetVer());
    shared_ = std::move(shared);
  }

  void Start() {
    platform::ConfineHostPaths(shared_->Options.AllowedFolders);
    try {
      Bind();
    } catch (...) {
      acceptors_.clear();
      platform::LiftHostPathConfinement();
      throw;
    }
    Session::ForwardMessageBoxes();
    for (tcp::acceptor& a : acceptors_) Accept(a);
    thread_ = std::thread([this] { context_.run(); });
  }

  void Stop() {
    if (!thread_.joinable()) return;  // not started, or stopped already
    {
      net::post(context_, [this] {
        for (tcp::acceptor& a : acceptors_) {
          beast::error_code ignored;
          a.close(ignored);
        }
      });
      thread_.join();
    }
    acceptors_.clear();
    Session::CancelWaits();
    std::list<std::shared_ptr<Worker>> workers;
    {
      std::lock_guard<std::mutex> lock(table_->Lock);
      workers.swap(workers_);
      for (auto& w : workers) w->State->Now = Slot::State::Ending;
    }
    for (auto& w : workers) {
      w->State->ShutDown();  // a call that waits on the socket or the page wakes now
      net::post(w->Context, [c = w->Conn.get()] { c->End(); });
    }
    auto deadline = std::chrono::steady_clock::now() + StopLimit;
    bool allEnded = true;
    for (auto& w : workers) {
      std::unique_lock<std::mutex> lock(w->DoneLock);
      if (w->Finished.wait_until(lock, deadline, [&] { return w->Done.load(); })) continue;
      allEnded = false;
      std::lock_guard<std::mutex> slot(w->State->Lock);
      Log("stopping while a call still runs for " + w->State->Peer + ": " +
          (w->State->Call.empty() ? std::string("(between calls)") : w->State->Call));
      w->Thread.detach();  // it holds its worker; the process may end under it
    }
    workers.clear();  // the others join their threads
    // A call that still runs stays confined to the allowed folders.
    if (allEnded) platform::LiftHostPathConfinement();
    else Log("a call was left running; host paths stay confined");
  }

  uint16_t Port() const { return port_; }
  bool Ipv6() const { return ipv6_; }

 private:
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
                           const char* advice) {
    platform::TcpEndpoint where = ToEndpoint(tcp::endpoint(address, port));
    std::string holder = ec == net::error::address_in_use ? platform::ListenerHolder(where) : "";
    throw std::runtime_error("cannot listen on " + where.Text() + ": " + ec.message() +
                             (holder.empty() ? "" : ", held by " + holder) + advice);
  }

  // Both loopback addresses on one port, or none: a port half taken would
  // let another program answer the pages that reach it under the other.
  void Bind() {
    const auto v4 = net::ip::make_address("127.0.0.1");
    const auto v6 = net::ip::make_address("::1");
    for (int attempt = 0;; ++attempt) {
      acceptors_.clear();
      beast::error_code ec;
      auto first = Listen(v4, shared_->Options.Port, ec);
      if (!first) Refuse(v4, shared_->Options.Port, ec, "");
      port_ = first->local_endpoint().port();
      acceptors_.push_back(std::move(*first));
      if (shared_->Options.Ipv4Only) return;
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
      if (shared_->Options.Port == 0 && ec == net::error::address_in_use && attempt < 8) continue;
      Refuse(v6, port_, ec, " (--ipv4-only serves on 127.0.0.1 alone)");
    }
  }

  void Accept(tcp::acceptor& acceptor) {
    auto worker = std::make_shared<Worker>();
    acceptor.async_accept(worker->Context, [this, &acceptor, worker](beast::error_code ec, tcp::socket socket) {
      if (ec == net::error::operation_aborted || !acceptor.is_open()) return;
      if (!ec) Admit(worker, std::move(socket));
      Accept(acceptor);
    });
  }

  // Only the bridge's own user: any account can reach loopback, and the
  // bridge reads and prints with this user's rights.
  bool OwnUser(const tcp::socket& socket, std::string& peer) {
    beast::error_code ec;
    tcp::endpoint local = socket.local_endpoint(ec);
    tcp::endpoint remote = socket.remote_endpoint(ec);
    if (ec) return false;
    platform::TcpEndpoint client = ToEndpoint(remote);
    peer = client.Text();
    std::optional<platform::UserId> user = platform::LoopbackPeerUser(ToEndpoint(local), client);
    if (user && *user == owner_) return true;
    Log("refused a connection from " + peer + (user ? " of " + user->Text() : std::string(" of an unknown user")) +
        ": only " + owner_.Text() + " is served");
    return false;
  }

  void Admit(const std::shared_ptr<Worker>& worker, tcp::socket socket) {
    std::string peer;
    if (!OwnUser(socket, peer)) {
      beast::error_code ignored;
      socket.close(ignored);
      return;
    }
    std::lock_guard<std::mutex> lock(table_->Lock);
    for (auto it = workers_.begin(); it != workers_.end();) {
      if ((*it)->Done.load()) it = workers_.erase(it);
      else ++it;
    }
    const size_t limit = shared_->Options.Bounds.MaxConnections;
    const size_t waitingLimit = std::max<size_t>(1, limit / 4);
    size_t live = 0, waiting = 0;
    std::shared_ptr<Worker> oldestWaiting;
    for (auto& w : workers_) {
      if (w->State->Now == Slot::State::Ending) continue;
      ++live;
      if (w->State->Now == Slot::State::Waiting) {
        ++waiting;
        if (!oldestWaiting) oldestWaiting = w;
      }
    }
    if (live >= limit || waiting >= waitingLimit) {
      if (!oldestWaiting) {
        Log("refused a connection: " + std::to_string(live) + " pages are connected, the limit");
        beast::error_code ignored;
        socket.close(ignored);
        return;
      }
      // The oldest connection that is not a page has had its chance.
      oldestWaiting->State->Now = Slot::State::Ending;
      oldestWaiting->State->ShutDown();
      net::post(oldestWaiting->Context, [c = oldestWaiting->Conn.get()] { c->End(); });
    }
    socket.set_option(tcp::no_delay(true));
    {
      std::lock_guard<std::mutex> slot(worker->State->Lock);
      worker->State->Fd = static_cast<platform::NativeSocket>(socket.native_handle());
      worker->State->Peer = peer;
    }
    worker->Conn = std::make_unique<Connection>(worker->Context, std::move(socket), shared_, table_, worker->State);
    Connection* connection = worker->Conn.get();
    net::post(worker->Context, [connection] { connection->Start(); });
    worker->Thread = std::thread([w = worker] {
      w->Context.run();
      w->Conn->Finish();
      std::lock_guard<std::mutex> lock(w->DoneLock);
      w->Done = true;
      w->Finished.notify_all();
    });
    workers_.push_back(worker);
  }

  std::shared_ptr<const Shared> shared_;
  std::shared_ptr<Table> table_ = std::make_shared<Table>();
  platform::UserId owner_ = platform::CurrentUser();
  net::io_context context_{1};
  std::list<tcp::acceptor> acceptors_;
  std::thread thread_;
  uint16_t port_ = 0;
  bool ipv6_ = false;
  std::list<std::shared_ptr<Worker>> workers_;  // under table_->Lock
};

Server::Server(ServerOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}
Server::~Server() { Stop(); }
void Server::Start() { impl_->Start(); }
void Server::Stop() { impl_->Stop(); }
uint16_t Server::Port() const { return impl_->Port(); }
bool Server::ListensOnIpv6() const { return impl_->Ipv6(); }

}  // namespace morvel::serve
