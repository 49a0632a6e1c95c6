// morvel serve: the loopback bridge. A WebSocket service for the protocol of
// Session.h, with plain HTTP beside it for a health check, /morvel.js,
// /morvel-loader.js and the CORS and private-network preflights that browsers send first.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "hosts/serve/Session.h"

namespace morvel::serve {

struct ServerOptions {
  uint16_t Port = 8632;                     // 0 picks a free port
  std::vector<std::string> AllowedOrigins;  // as pages send them: scheme://host[:port]
  std::vector<std::string> AllowedFolders;  // where pages may name files; none by default
  bool Ipv4Only = false;                    // listen on 127.0.0.1 alone, leaving ::1 alone
  Limits Bounds;
};

class Server {
 public:
  explicit Server(ServerOptions options);
  ~Server();  // stops
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Confines host paths to the allowed folders, binds 127.0.0.1 and ::1 on
  // one port and serves on threads of its own: one accepts, one per
  // connection runs its calls. Only connections of this process's own user
  // are served. Raises std::runtime_error naming the address (and who holds
  // it) when either address cannot be bound, except that a machine without
  // ::1 is served on 127.0.0.1 alone (and that is logged); with Port 0 a
  // port that is free on both is chosen. AutomationError 76 for an allowed
  // folder that does not exist.
  void Start();
  // Closes the listeners, wakes every waiting call and ends every
  // connection, waiting about 1.5 s for their threads. A call that runs on
  // beyond that is logged and left behind (a process should then exit), and
  // the path confinement stays; otherwise it is lifted.
  void Stop();

  uint16_t Port() const;
  bool ListensOnIpv6() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

// The texts of web/morvel.js and web/morvel-loader.js, built into the program.
extern const std::string_view MorvelScript;
extern const std::string_view MorvelLoaderScript;

}  // namespace morvel::serve
