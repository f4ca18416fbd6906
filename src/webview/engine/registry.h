#pragma once
// The one registry of live views: every view from wkeCreateWebView to
// wkeDestroyWebView, in the order they were made. Each view gets an id no
// other view of this run gets, so that work queued for a view (a handler
// call, a request the proxy holds) can tell it from a later view made at the
// same address. For the library's own sources.
#include "engine/viewstate.h"

#include <vector>

namespace engine {

// Adds the view and gives it its id (view->id).
void registerView(wkeViewState* view);
void unregisterView(wkeViewState* view);

// The live view with this id, or null.
wkeViewState* viewById(quint64 id);

// Every live view, oldest first.
const std::vector<wkeViewState*>& liveViews();

}  // namespace engine
