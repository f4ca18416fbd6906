#pragma once
// Network jobs of the library: the request interceptor of views with network
// handlers and the in-process proxy's owner. For the library's own sources.
#include "engine/viewstate.h"

class QWebEngineProfile;

namespace engine::net {

// Installs or removes the view's request interceptor after its network
// handlers or its network interface changed; the profile's form does so for
// every view on the profile (after its cookies were switched on or off).
void updateInterception(wkeViewState* view);
void updateInterception(QWebEngineProfile* profile);

}  // namespace engine::net
