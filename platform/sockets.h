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

// Ends both directions without closing the socket, so a thread blocked on
// it wakes and the handle stays valid under it.
void ShutDownSocket(NativeSocket socket);

}  // namespace morvel::platform
