// What the bridge asks of a connected socket beyond what Asio offers: the
// calls differ between the systems' socket layers.
#pragma once

#include <cstdint>

namespace morvel::platform {

// A socket as the system names it: a descriptor on Linux, a SOCKET on
// Windows, both held in the same width.
using NativeSocket = intptr_t;
constexpr NativeSocket NoSocket = -1;

// Whether the other end has closed or reset the connection, even while
// bytes it sent before are still unread. Never waits.
bool SocketPeerClosed(NativeSocket socket);

// Readies a listening socket, before its bind, to hold its port alone: on
// Linux SO_REUSEADDR, so a restart need not wait out the old connections
// (Linux never lets two sockets listen on one port for it); on Windows
// SO_EXCLUSIVEADDRUSE, as SO_REUSEADDR there would let the socket bind a
// port another program listens on, and no option would keep others off it.
// False when the option cannot be set.
bool HoldPortAlone(NativeSocket listener);

// Ends both directions without closing the socket, so a thread blocked on
// it wakes and the handle stays valid under it.
void ShutDownSocket(NativeSocket socket);

}  // namespace morvel::platform
