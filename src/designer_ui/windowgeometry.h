#pragma once
// Placing top-level windows by their outer (frame) rectangle.
#include <QRect>

class QWidget;

namespace designer {

// Moves and sizes a top-level window so that its frame, title bar included,
// covers `outer`. Until the window manager has framed the window its frame
// margins are unknown and the client area gets the whole size; the window is
// then sized once more, when the margins first become known.
void setOuterGeometry(QWidget* window, const QRect& outer);

}  // namespace designer
