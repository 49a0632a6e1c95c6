// The bridge's network side on Boost.Beast. One thread accepts; every
// connection then runs on a thread of its own with its own io_context, so its
// calls run in order on one thread (the control keeps the CurrentPrinter per
// thread) and a slow call never holds up another page.
#include "hosts/serve/Server.h"

#include <utility>  // before Boost 1.74's asio, which uses std::exchange without it

#include <boost/asio.hpp>
#include <boost/beast.hpp>

#include <atomic>
#include <deque>
#include <list>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <thread>

#include "morvel/morvel.h"
#include "platform/host_paths.h"
#include "platform/services.h"
#include "platform/text_case.h"

namespace morvel::serve {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;

std::string NormalizeOrigin(std::string_view origin) {
  std::string out;
  for (char c : origin) out.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
  while (!out.empty() && (out.back() == '/' || out.back() == ' ' || out.back() == '\r')) out.pop_back();
  auto dropPort = [&](std::string_view scheme, std::string_view port) {
    if (out.rfind(scheme, 0) == 0 && out.size() > port.size() &&
        out.compare(out.size() - port.size(), port.size(), port) == 0)
      out.resize(out.size() - port.size());
  };
  dropPort("http://", ":80");
  dropPort("https://", ":443");
  return out;
}

namespace {

constexpr auto RequestTimeout = std::chrono::seconds(15);
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

  bool Allowed(std::string_view origin) const { return Origins.count(NormalizeOrigin(origin)) != 0; }
};

class Connection {
 public:
  Connection(net::io_context& context, tcp::socket socket, const Shared& shared)
      : context_(context), stream_(std::move(socket)), shared_(shared) {}

  void Start() { ReadRequest(); }

  // Ends the connection: its thread leaves run() even though the WebSocket's
  // keep-alive timer is still pending, and its objects then die on it.
  void End() {
    beast::error_code ec;
    if (ws_) beast::get_lowest_layer(*ws_).socket().close(ec);
    else stream_.socket().close(ec);
    context_.stop();
  }

  // On the connection's own thread, after run(): its objects die there.
  void Finish() {
    session_.reset();
    End();
  }

 private:
  void ReadRequest() {
    parser_.emplace();
    parser_->header_limit(MaxHeaderBytes);
    parser_->body_limit(64 * 1024);
    stream_.expires_after(RequestTimeout);
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
    Respond(Answer(request));
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
    bool allowed = !origin.empty() && shared_.Allowed(origin);
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
      response.body() = "{\"status\":\"ok\",\"version\":\"" + shared_.Version + "\"}\n";
    } else if (target == "/") {
      response.body() = "Morvel bridge " + shared_.Version + ": WebSocket at this address, script at /morvel.js\n";
    } else {
      response.result(http::status::not_found);
      response.body() = "not found\n";
    }
    return response;
  }

  void Respond(http::response<http::string_body> response) {
    response_ = std::move(response);
    response_.prepare_payload();
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
    // Browsers always send Origin; a program without one runs as the user
    // already and gains nothing here it could not do itself.
    bool allowed = origin.empty() || shared_.Allowed(origin);
    stream_.expires_never();
    buffer_.consume(buffer_.size());
    ws_.emplace(std::move(stream_));
    ws_->set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    ws_->set_option(websocket::stream_base::decorator(
        [](websocket::response_type& response) { response.set(http::field::server, "morvel-serve"); }));
    ws_->read_message_max(shared_.Options.Bounds.MaxMessageBytes);
    ws_->async_accept(upgrade_, [this, allowed, origin](beast::error_code ec) {
      if (ec) return End();
      if (!allowed) {
        // Accepted only to say why in the close frame, which a page can read;
        // a refused handshake looks the same as no bridge at all.
        Log("refused a page from origin " + origin);
        std::string reason = "origin not allowed: " + origin;
        if (reason.size() > 120) reason.resize(120);
        ws_->async_close(websocket::close_reason(websocket::close_code::policy_error, reason),
                         [this](beast::error_code) { End(); });
        return;
      }
      session_ = std::make_unique<Session>(shared_.Options.Bounds,
                                           [this](std::string message) { outgoing_.push_back(std::move(message)); });
      ReadMessage();
    });
  }

  // One message at a time: the next is read once the answers of the last
  // are written, so a page that never reads cannot pile up answers here.
  void ReadMessage() {
    ws_->async_read(buffer_, [this](beast::error_code ec, size_t) {
      if (ec) {
        if (ec == websocket::error::message_too_big)
          Log("closed a connection whose message exceeded " + std::to_string(shared_.Options.Bounds.MaxMessageBytes) +
              " bytes");
        return End();
      }
      std::string message = beast::buffers_to_string(buffer_.data());
      buffer_.consume(buffer_.size());
      outgoing_.push_back(session_->Handle(message));
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
  const Shared& shared_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  http::response<http::string_body> response_;
  http::request<http::string_body> upgrade_;
  std::optional<websocket::stream<beast::tcp_stream>> ws_;
  std::unique_ptr<Session> session_;
  std::deque<std::string> outgoing_;
};

// A connection with its own io_context and thread. The connection goes
// before the context, as its sockets belong to it.
struct Worker {
  net::io_context Context{1};
  std::unique_ptr<Connection> Conn;
  std::thread Thread;
  std::atomic<bool> Done{false};

  ~Worker() {
    if (Thread.joinable()) Thread.join();
    Conn.reset();
  }
};

}  // namespace

class Server::Impl {
 public:
  explicit Impl(ServerOptions options) {
    shared_.Options = std::move(options);
    for (const std::string& o : shared_.Options.AllowedOrigins) shared_.Origins.insert(NormalizeOrigin(o));
    shared_.Version = ToUtf8(PrintBarCode().GetVer());
  }

  void Start() {
    platform::ConfineHostPaths(shared_.Options.AllowedFolders);
    Session::ForwardMessageBoxes();
    acceptors_.emplace_back(Listen(net::ip::make_address("127.0.0.1"), shared_.Options.Port));
    port_ = acceptors_.back().local_endpoint().port();
    try {
      acceptors_.emplace_back(Listen(net::ip::make_address("::1"), port_));
      ipv6_ = true;
    } catch (const std::exception& e) {
      Log(std::string("::1 is not available (") + e.what() + "); listening on 127.0.0.1 only");
    }
    for (tcp::acceptor& a : acceptors_) Accept(a);
    thread_ = std::thread([this] { context_.run(); });
  }

  void Stop() {
    if (thread_.joinable()) {
      net::post(context_, [this] {
        for (tcp::acceptor& a : acceptors_) {
          beast::error_code ignored;
          a.close(ignored);
        }
      });
      thread_.join();
    }
    std::list<std::shared_ptr<Worker>> workers;
    {
      std::lock_guard<std::mutex> lock(lock_);
      workers.swap(workers_);
    }
    for (auto& w : workers) net::post(w->Context, [c = w->Conn.get()] { c->End(); });
    workers.clear();  // each joins its thread
    acceptors_.clear();
    platform::LiftHostPathConfinement();
  }

  uint16_t Port() const { return port_; }
  bool Ipv6() const { return ipv6_; }

 private:
  tcp::acceptor Listen(const net::ip::address& address, uint16_t port) {
    tcp::endpoint endpoint(address, port);
    tcp::acceptor acceptor(context_);
    acceptor.open(endpoint.protocol());
    acceptor.set_option(net::socket_base::reuse_address(true));
    if (address.is_v6()) acceptor.set_option(net::ip::v6_only(true));
    acceptor.bind(endpoint);
    acceptor.listen(net::socket_base::max_listen_connections);
    return acceptor;
  }

  void Accept(tcp::acceptor& acceptor) {
    auto worker = std::make_shared<Worker>();
    acceptor.async_accept(worker->Context, [this, &acceptor, worker](beast::error_code ec, tcp::socket socket) {
      if (ec == net::error::operation_aborted || !acceptor.is_open()) return;
      if (!ec) Admit(worker, std::move(socket));
      Accept(acceptor);
    });
  }

  void Admit(const std::shared_ptr<Worker>& worker, tcp::socket socket) {
    std::lock_guard<std::mutex> lock(lock_);
    workers_.remove_if([](const std::shared_ptr<Worker>& w) { return w->Done.load(); });
    if (workers_.size() >= shared_.Options.Bounds.MaxConnections) {
      Log("refused a connection: " + std::to_string(workers_.size()) + " are open, the limit");
      beast::error_code ignored;
      socket.close(ignored);
      return;
    }
    socket.set_option(tcp::no_delay(true));
    worker->Conn = std::make_unique<Connection>(worker->Context, std::move(socket), shared_);
    Connection* connection = worker->Conn.get();
    net::post(worker->Context, [connection] { connection->Start(); });
    Worker* w = worker.get();
    worker->Thread = std::thread([w] {
      w->Context.run();
      w->Conn->Finish();
      w->Done = true;
    });
    workers_.push_back(worker);
  }

  Shared shared_;
  net::io_context context_{1};
  std::list<tcp::acceptor> acceptors_;
  std::thread thread_;
  uint16_t port_ = 0;
  bool ipv6_ = false;
  std::mutex lock_;
  std::list<std::shared_ptr<Worker>> workers_;
};

Server::Server(ServerOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}
Server::~Server() { Stop(); }
void Server::Start() { impl_->Start(); }
void Server::Stop() { impl_->Stop(); }
uint16_t Server::Port() const { return impl_->Port(); }
bool Server::ListensOnIpv6() const { return impl_->Ipv6(); }

}  // namespace morvel::serve
