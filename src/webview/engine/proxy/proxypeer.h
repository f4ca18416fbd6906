#pragma once
// Who opened a connection to the engine's proxy. The proxy serves the engine
// alone, and the engine's network code runs inside this process: the other
// end of every connection it serves is a socket this process holds. Another
// process (of any user) cannot hold that socket, so nothing it sends is read.
#include <QtGlobal>

namespace engine::proxy {

// Whether the TCP connection on descriptor, accepted on 127.0.0.1, was opened
// by a socket of this same process. False when that cannot be told.
bool openedByThisProcess(qintptr descriptor);

}  // namespace engine::proxy
