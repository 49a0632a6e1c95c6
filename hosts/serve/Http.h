// Plain HTTP on loopback over Boost.Beast, for the pages this computer
// serves itself: the bridge's (its WebSocket grows out of a request) and
// the virtual printer's. One thread accepts; every connection then runs on
// a thread of its own with its own io_context, so a handler may take its
// time, or hold its connection open, without holding up another.
//
// Only loopback host names are answered, so a page elsewhere that rebinds
// its DNS name to 127.0.0.1 reaches nothing. Requests are bounded (8 KiB of
// head, 64 KiB of body); a connection that is not kept (see Keep) gets 5 s
// for a request or between two, and a place among twice as many as the kept
// connections have (at least 8), beside theirs, the oldest giving way to a
// newcomer once it has had a second (a newcomer finding them all younger is
// answered 503), so that nothing refused or slow keeps a page out and a
// plain request is answered however many pages are connected. A kept connection
// whose peer closes gives its place up at once, even while its handler
// still runs (which is then told to give up: see Ending).
#pragma once

#include <utility>  // before Boost 1.74's asio, which uses std::exchange without it

#include <boost/asio.hpp>
#include <boost/beast.hpp>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace morvel::serve {

using HttpRequest = boost::beast::http::request<boost::beast::http::string_body>;
using HttpResponse = boost::beast::http::response<boost::beast::http::string_body>;
using HttpStatus = boost::beast::http::status;

struct HttpOptions {
  uint16_t Port = 0;           // 0 picks a port that is free
  bool Ipv4Only = false;       // 127.0.0.1 alone; otherwise [::1] on the same port too, both or neither
  std::string Ipv6Advice;      // added to the refusal when [::1] is taken
  bool OwnUserOnly = true;     // other accounts' connections are closed before a byte is read
  size_t MaxConnections = 16;  // kept connections at once (pages); twice as many not yet kept
  std::string ServerName;      // the Server header of the answers, when given
  std::function<void(const std::string&)> Log;  // refusals and what Stop leaves behind
};

// Why Start could not listen: the address, the system's reason, and the
// program that holds the address when it is taken and can be told.
class ListenError : public std::runtime_error {
 public:
  ListenError(std::string address, std::string reason, bool inUse, std::string holder, const std::string& advice);
  std::string Address;
  std::string Reason;
  bool InUse = false;
  std::string Holder;
};

struct Slot;
struct ConnectionTable;
class HttpHandler;

// One connection, as its handler sees it on the connection's own thread.
class HttpConnection {
 public:
  HttpConnection(boost::asio::io_context& context, boost::asio::ip::tcp::socket socket, std::shared_ptr<Slot> slot,
                 std::shared_ptr<ConnectionTable> table, std::shared_ptr<const HttpOptions> options);
  ~HttpConnection();
  HttpConnection(const HttpConnection&) = delete;
  HttpConnection& operator=(const HttpConnection&) = delete;

  // Sends the answer, then reads the next request unless the answer (or
  // its request) closes the connection.
  void Respond(HttpResponse response);
  // An answer with the server's name, `type` and `body`, kept alive as the
  // request asks.
  HttpResponse Answer(const HttpRequest& request, HttpStatus status, std::string_view type, std::string body) const;
  // JSON, never cached: what it tells changes.
  HttpResponse Json(const HttpRequest& request, HttpStatus status, std::string body) const;

  // Makes this a lasting connection (a WebSocket, an event stream): no idle
  // limit, and never given way to a newcomer. False when the connection is
  // being ended meanwhile, or when every kept place is taken (`full` is then
  // set; the handler should answer 503). The handler then drives the
  // stream itself.
  bool Keep(bool* full = nullptr);
  boost::beast::tcp_stream& Stream() { return stream_; }
  boost::beast::flat_buffer& Buffer() { return buffer_; }
  // Closes the connection; its thread then leaves its io_context, even
  // with timers pending, and its objects die there.
  void End();
  // Whether the peer has closed its end, or the server ends the connection:
  // a handler that waits or loops gives up then. Cheap enough to ask
  // between pages or before each write.
  bool Ending();
  // How many connections' handlers still run a call after their peer left
  // (until their connection has ended: the bound on such calls counts them).
  size_t LeftRunning() const;
  // At one moment, as /health tells them: the calls running (named by
  // Doing), and those of them whose page left; a call that has returned
  // counts in neither, though its connection may still be ending.
  struct CallCounts {
    size_t Running = 0, LeftRunning = 0;
  };
  CallCounts Calls() const;
  const std::string& Peer() const;
  // What the connection is doing, named in the log if Stop must leave it
  // running; empty between requests.
  void Doing(std::string what);

  // The server's: starts reading requests for `handler`; and once the
  // connection's io_context has run out, lets the handler die on its thread.
  void Start(std::unique_ptr<HttpHandler> handler);
  void Finish();

 private:
  void ReadRequest();
  void OnRequest();

  boost::asio::io_context& context_;
  boost::beast::tcp_stream stream_;
  std::shared_ptr<Slot> slot_;
  std::shared_ptr<ConnectionTable> table_;
  std::shared_ptr<const HttpOptions> options_;
  std::unique_ptr<HttpHandler> handler_;
  boost::beast::flat_buffer buffer_;
  std::unique_ptr<boost::beast::http::request_parser<boost::beast::http::string_body>> parser_;
  HttpResponse response_;
};

// What a service does on each of its connections, on that connection's
// thread. It dies there too, before the connection's stream.
class HttpHandler {
 public:
  virtual ~HttpHandler() = default;
  // Either answers with connection.Respond, or keeps the connection and
  // drives it until it ends it.
  virtual void OnRequest(HttpConnection& connection, HttpRequest request) = 0;
};

class HttpServer {
 public:
  using HandlerMaker = std::function<std::unique_ptr<HttpHandler>()>;
  HttpServer(HttpOptions options, HandlerMaker makeHandler);
  ~HttpServer();  // stops
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds and serves on threads of its own; raises ListenError. With port 0
  // a port free on both addresses is chosen. A machine without ::1 at all
  // is served on 127.0.0.1, and that is logged.
  void Start();
  // No connection is taken once this returns.
  void StopListening();
  // Ends every connection and waits about 1.5 s for their threads. One
  // that runs on beyond that is logged and left behind (a process should
  // then exit); false then.
  bool EndConnections();
  void Stop() {
    StopListening();
    EndConnections();
  }

  uint16_t Port() const;
  bool ListensOnIpv6() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace morvel::serve
