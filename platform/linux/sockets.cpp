// The Linux adapter of sockets.h: POLLRDHUP tells a closed end before the
// bytes in front of it are read.
#include "platform/sockets.h"

#include <poll.h>
#include <sys/socket.h>

namespace morvel::platform {

bool SocketPeerClosed(NativeSocket socket) {
  pollfd p{static_cast<int>(socket), POLLRDHUP, 0};
  return poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) != 0;
}

bool HoldPortAlone(NativeSocket listener) {
  int one = 1;
  return setsockopt(static_cast<int>(listener), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) == 0;
}

void ShutDownSocket(NativeSocket socket) { ::shutdown(static_cast<int>(socket), SHUT_RDWR); }

}  // namespace morvel::platform
