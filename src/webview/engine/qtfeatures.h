#pragma once
// What the Qt WebEngine the engine is built with can do, one named check per
// area. Code asks these names, never QT_VERSION itself.
#include <QtGlobal>

// Scripts in any frame of a page, of any origin (QWebEngineFrame).
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
#define TOLVANE_FRAME_SCRIPTS 1
#else
#define TOLVANE_FRAME_SCRIPTS 0
#endif

namespace engine {

inline constexpr bool kFrameScripts = TOLVANE_FRAME_SCRIPTS;

}  // namespace engine
