#pragma once
// Page hooks that turn Qt WebEngine's signals and virtuals into the events of
// the engine interface (events.h). For the library's own sources.
#include "engine/viewstate.h"

namespace engine::events {

// Connects the view's new page to the view's handlers: title, address,
// document, loading, console, dialogs, navigation, new windows, downloads and
// script contexts.
void attachPage(wkeViewState* view);

}  // namespace engine::events
