#pragma once
// What the engine trusts for servers. Chromium checks a server's chain
// against NSS (in this process, the system's libnss3): the built-in root
// module and the user's database ($HOME/.pki/nssdb), never the system's
// OpenSSL store. The proxy reaches servers with the same authorities, so that
// a view with network handlers and one without accept the same servers.
#include <QList>
#include <QSslCertificate>

namespace engine::tls {

// Sets NSS up as the engine does when it starts, unless that is done: the
// user's database ($HOME/.pki/nssdb, made for the user alone when missing;
// none when it cannot be opened) and the built-in roots. Called before the
// engine starts, so that the proxy's first check already has what the
// engine will trust; the engine's own set-up then finds it done.
void prepareEngineTrust();

// The certificates NSS now holds as authorities for TLS servers, as the
// engine reads them (trust merged across its modules; one the user's
// database distrusts is left out), as read at most ten seconds before (a
// reading older than that on use is renewed in the background). Empty while
// NSS is not set up: then the proxy trusts nothing and leaves the decision
// to the engine. Any thread.
QList<QSslCertificate> engineAuthorities();

}  // namespace engine::tls
