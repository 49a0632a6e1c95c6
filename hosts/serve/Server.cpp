// The bridge on the HTTP stack of Http.h: /health, /morvel.js,
// /morvel-loader.js and the CORS and private-network preflights as plain
// HTTP, and each page's WebSocket grown out of its request, on the
// connection's own thread, so its calls run in order on one thread (the
// control keeps the CurrentPrinter per thread) and a slow call never holds
// up another page.
#include "hosts/serve/Server.h"

#include <deque>
#include <optional>
#include <set>
#include <stdexcept>

#include "hosts/serve/Http.h"
#include "morvel/morvel.h"
#include "platform/host_paths.h"
#include "platform/origins.h"
#include "platform/services.h"
#include "platform/text_case.h"

namespace morvel::serve {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;

namespace {

// How long a page may take over its WebSocket handshake.
constexpr auto IdleLimit = std::chrono::seconds(5);
// How long a refused page has to answer the close frame before the TCP
// connection is closed anyway.
constexpr auto CloseLimit = std::chrono::seconds(1);
constexpr const char* ServerName = "morvel-serve";

std::string_view View(beast::string_view s) { return {s.data(), s.size()}; }

void Log(const std::string& text) { platform::Logger().Record("serve: " + text); }

struct Shared {
  ServerOptions Options;
  std::set<std::string> Origins;
  std::string Version;

  bool Allowed(std::string_view origin) const { return Origins.count(platform::NormalizeOrigin(origin)) != 0; }
};

// One connection of the bridge: plain HTTP until a page's WebSocket
// handshake, then that page's session.
class Page : public HttpHandler {
 public:
  explicit Page(std::shared_ptr<const Shared> shared) : shared_(std::move(shared)) {}
  // The session goes first: what it says as it closes the page's objects
  // still has somewhere to go.
  ~Page() override { session_.reset(); }

  void OnRequest(HttpConnection& connection, HttpRequest request) override {
    connection_ = &connection;
    if (websocket::is_upgrade(request)) return Upgrade(std::move(request));
    HttpResponse response = Answer(request);
    // A page from a refused origin gets its answer and nothing more: its
    // connection is not kept for another request.
    std::string origin(request[http::field::origin]);
    if (!origin.empty() && !shared_->Allowed(origin)) response.keep_alive(false);
    connection.Respond(std::move(response));
  }

 private:
  void End() { connection_->End(); }

  HttpResponse Plain(const HttpRequest& request, http::status status, std::string body) {
    return connection_->Answer(request, status, "text/plain; charset=utf-8", std::move(body));
  }

  HttpResponse Answer(const HttpRequest& request) {
    std::string origin(request[http::field::origin]);
    bool allowed = !origin.empty() && shared_->Allowed(origin);
    std::string_view target = View(request.target());
    target = target.substr(0, target.find('?'));
    const std::string_view* script = target == "/morvel.js"          ? &MorvelScript
                                     : target == "/morvel-loader.js" ? &MorvelLoaderScript
                                                                     : nullptr;
    HttpResponse response = Plain(request, http::status::ok, "");
    // The scripts hold nothing private, so any page may load them and then
    // learn from the bridge itself, in words it can show, that it is refused.
    if (script) {
      response.set(http::field::access_control_allow_origin, "*");
    } else if (allowed || (!origin.empty() && target == "/health")) {
      // A refused page may read that it is refused (and nothing else), so
      // that it can tell its user so rather than that nothing answers.
      response.set(http::field::access_control_allow_origin, origin);
      response.set(http::field::vary, "Origin");
    }

    if (request.method() == http::verb::options) {
      if (!script && !allowed) {
        Log("refused a preflight from origin " + origin);
        return Plain(request, http::status::forbidden, "origin not allowed\n");
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
      response = Plain(request, http::status::method_not_allowed, "method not allowed\n");
      response.set(http::field::allow, "GET, HEAD, OPTIONS");
      return response;
    }
    if (script) {
      response.set(http::field::content_type, "text/javascript; charset=utf-8");
      response.set(http::field::cache_control, "no-cache");
      response.body() = std::string(*script);
    } else if (target == "/health") {
      response.set(http::field::content_type, "application/json");
      response.set(http::field::cache_control, "no-store");
      if (!origin.empty() && !allowed) {
        Log("refused a health check from origin " + origin);
        response.result(http::status::forbidden);
        response.body() = "{\"status\":\"origin-not-allowed\"}\n";
      } else {
        // The calls running now, and those of them whose page has left.
        const HttpConnection::CallCounts calls = connection_->Calls();
        response.body() = "{\"status\":\"ok\",\"version\":\"" + shared_->Version +
                          "\",\"calls\":" + std::to_string(calls.Running) +
                          ",\"calls_left_running\":" + std::to_string(calls.LeftRunning) + "}\n";
      }
    } else if (target == "/") {
      response.body() = "Morvel bridge " + shared_->Version + ": WebSocket at this address, script at /morvel.js\n";
    } else {
      response.result(http::status::not_found);
      response.body() = "not found\n";
    }
    return response;
  }

  void Upgrade(HttpRequest request) {
    upgrade_ = std::move(request);
    std::string origin(upgrade_[http::field::origin]);
    // Browsers always send Origin; a program of the bridge's own user
    // without one gains nothing here it could not do itself.
    bool allowed = origin.empty() || shared_->Allowed(origin);
    // A page takes its slot before it hears that the handshake succeeded,
    // so a page that connects right after it never finds the slot taken.
    bool full = false;
    if (allowed && !connection_->Keep(&full)) {
      if (!full) return End();
      Log("refused a page from " + connection_->Peer() + ": answered 503, " +
          std::to_string(shared_->Options.Bounds.MaxConnections) +
          " pages are connected, the most (--max-connections)");
      HttpResponse busy = Plain(upgrade_, http::status::service_unavailable,
                                "the bridge serves " + std::to_string(shared_->Options.Bounds.MaxConnections) +
                                    " pages at once, all connected; try again later\n");
      busy.set(http::field::retry_after, "1");
      busy.keep_alive(false);
      return connection_->Respond(std::move(busy));
    }
    connection_->Stream().expires_never();
    connection_->Buffer().consume(connection_->Buffer().size());
    ws_.emplace(connection_->Stream());
    auto timeouts = websocket::stream_base::timeout::suggested(beast::role_type::server);
    timeouts.handshake_timeout = IdleLimit;
    ws_->set_option(timeouts);
    ws_->set_option(websocket::stream_base::decorator(
        [](websocket::response_type& response) { response.set(http::field::server, ServerName); }));
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
      session_->SetPeerGone([this] { return connection_->Ending(); });
      session_->SetLeftRunning([this] { return connection_->LeftRunning(); });
      session_->SetDoing([this](std::string what) { connection_->Doing(std::move(what)); });
      ReadMessage();
    });
  }

  // One message at a time: the next is read once the answers of the last
  // are written, so a page that never reads cannot pile up answers here.
  void ReadMessage() {
    ws_->async_read(connection_->Buffer(), [this](beast::error_code ec, size_t) {
      if (ec) {
        if (ec == websocket::error::message_too_big)
          Log("closed a connection whose message exceeded " + std::to_string(shared_->Options.Bounds.MaxMessageBytes) +
              " bytes");
        return End();
      }
      // Calls a page sent before it left are not run for nobody.
      if (connection_->Ending()) return End();
      // Read where it lies: a flat buffer is one piece, and a copy would
      // double what one message costs.
      beast::flat_buffer& buffer = connection_->Buffer();
      auto data = buffer.data();
      std::string_view message(static_cast<const char*>(data.data()), data.size());
      // Named in the log by its kind and size, never its bytes (a page's
      // documents); the session names the call once it has read it.
      connection_->Doing("a message (" + std::to_string(message.size()) + " bytes)");
      std::string answer = session_->Handle(message);
      buffer.consume(buffer.size());
      buffer.shrink_to_fit();
      outgoing_.push_back(std::move(answer));
      connection_->Doing({});
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

  std::shared_ptr<const Shared> shared_;
  HttpConnection* connection_ = nullptr;
  HttpRequest upgrade_;
  std::optional<websocket::stream<beast::tcp_stream&>> ws_;
  std::unique_ptr<Session> session_;
  std::deque<std::string> outgoing_;
};

}  // namespace

class Server::Impl {
 public:
  explicit Impl(ServerOptions options) {
    auto shared = std::make_shared<Shared>();
    shared->Options = std::move(options);
    for (const std::string& o : shared->Options.AllowedOrigins) shared->Origins.insert(platform::NormalizeOrigin(o));
    shared->Version = ToUtf8(PrintBarCode().GetVer());
    HttpOptions http;
    http.Port = shared->Options.Port;
    http.Ipv4Only = shared->Options.Ipv4Only;
    http.Ipv6Advice = " (--ipv4-only serves on 127.0.0.1 alone)";
    http.OwnUserOnly = true;
    http.MaxConnections = shared->Options.Bounds.MaxConnections;
    http.ServerName = ServerName;
    http.Log = Log;
    shared_ = std::move(shared);
    http_ =
        std::make_unique<HttpServer>(std::move(http), [shared = shared_] { return std::make_unique<Page>(shared); });
  }

  void Start() {
    platform::ConfineHostPaths(shared_->Options.AllowedFolders);
    Session::ForwardMessageBoxes();
    try {
      http_->Start();
    } catch (...) {
      platform::LiftHostPathConfinement();
      throw;
    }
    started_ = true;
  }

  void Stop() {
    if (!started_) return;  // not started, or stopped already
    started_ = false;
    http_->StopListening();
    Session::CancelWaits();
    // A call that still runs stays confined to the allowed folders.
    if (http_->EndConnections())
      platform::LiftHostPathConfinement();
    else
      Log("a call was left running; host paths stay confined");
  }

  uint16_t Port() const { return http_->Port(); }
  bool Ipv6() const { return http_->ListensOnIpv6(); }

 private:
  std::shared_ptr<const Shared> shared_;
  std::unique_ptr<HttpServer> http_;
  bool started_ = false;
};

Server::Server(ServerOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}
Server::~Server() { Stop(); }
void Server::Start() { impl_->Start(); }
void Server::Stop() { impl_->Stop(); }
uint16_t Server::Port() const { return impl_->Port(); }
bool Server::ListensOnIpv6() const { return impl_->Ipv6(); }

}  // namespace morvel::serve
