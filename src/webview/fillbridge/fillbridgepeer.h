#pragma once
// Who is at the other end of the form-fill bridge. TCP has no peer
// credentials (SO_PEERCRED is for local sockets), but the kernel lists every
// TCP socket with its owner's uid in /proc/net/tcp and /proc/net/tcp6; a
// socket accepted by a server carries the uid of the server's listening
// socket. Another local user who listens on the bridge's port first (a
// squatter) shows there under his uid.
#include <QtGlobal>

namespace webview {

enum class PortOwner {
    Nobody,   // nothing listens there for 127.0.0.1
    Us,       // every listener that takes connections to 127.0.0.1 is ours
    Foreign,  // at least one belongs to another user (or cannot be told)
};

// The owners of the sockets listening on TCP `port` that a connection to
// 127.0.0.1 can reach (bound to 127.0.0.1, 0.0.0.0, :: or ::ffff:127.0.0.1).
PortOwner listenerOwner(quint16 port);

// Whether the server's end of our connection from 127.0.0.1:localPort to
// 127.0.0.1:port belongs to this process's user. Checks the connection
// itself, so a listener that changed hands after listenerOwner cannot pass.
bool peerIsOurs(quint16 localPort, quint16 port);

}  // namespace webview
