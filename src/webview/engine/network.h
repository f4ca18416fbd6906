#pragma once
// Network jobs of the library: the request interceptor of views with network
// handlers and the runner of the jobs the in-process proxy hands over. For
// the library's own sources.
#include "engine/viewstate.h"

#include <QStringList>

class QNetworkProxy;
class QSslCertificate;
class QWebEngineProfile;

namespace engine::net {

// Starts the in-process proxy with this run's TLS authority (start-up, once,
// before Chromium starts) and returns the switches that point Chromium at it,
// loopback included, and make Chromium trust the authority (and no other
// added one) by its key's hash. A proxy chosen through
// QTWEBENGINE_CHROMIUM_FLAGS is left alone: no proxy, no switches.
QStringList startProxy();

// Installs or removes the view's request interceptor after its network
// handlers or its network interface changed; the profile's form does so for
// every view on the profile (after its cookies were switched on or off).
void updateInterception(wkeViewState* view);
void updateInterception(QWebEngineProfile* profile);

// Makes proxy the upstream of the engine's own proxy; false when the engine
// runs (or will run) without it, and the caller should give the proxy to Qt
// instead. Qt WebEngine leaves the engine's proxy for Qt's application proxy
// once that changes, so the application proxy must not be set while it runs.
bool chainProxy(const QNetworkProxy& proxy);

// Gives the view a proxy of its own, used by its requests from the next one
// on (the process-wide one stays for every other view); false when the
// engine's proxy does not run and the caller should fall back to chainProxy.
bool setViewProxy(wkeViewState* view, const QNetworkProxy& proxy);

// Tests: an authority the proxy's upstream check trusts besides the system's.
void addUpstreamAuthorityForTests(const QSslCertificate& authority);

}  // namespace engine::net
