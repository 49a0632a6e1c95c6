// The Windows adapter of sockets.h over Winsock: WSAPoll reports a closed or
// reset connection as POLLHUP or POLLERR whether or not data waits in front
// of it.
#include "platform/sockets.h"

#include <winsock2.h>

namespace morvel::platform {

bool SocketPeerClosed(NativeSocket socket) {
  WSAPOLLFD p{static_cast<SOCKET>(socket), POLLRDNORM, 0};
  return WSAPoll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

bool HoldPortAlone(NativeSocket listener) {
  BOOL one = TRUE;
  return setsockopt(static_cast<SOCKET>(listener), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&one),
                    sizeof one) == 0;
}

void ShutDownSocket(NativeSocket socket) { ::shutdown(static_cast<SOCKET>(socket), SD_BOTH); }

}  // namespace morvel::platform
