#pragma once
// Frame pacing of a view nobody watches. The engine hands the page its next
// animation frame only once the program has drawn the one before; a paced
// view draws at most one frame per interval (and one a second while scripts
// run back to back), so that in an unattended run the page's rendering does
// not stand between one script and the next while the page stays shown,
// focused and animated (at the paced rate).
#include "engine/viewstate.h"

namespace engine::pacing {

// Lets every frame the view holds back be drawn now, and keeps the view
// unpaced for a few frames, so that what is grabbed next shows the page as
// it is. Does nothing for a view that is not paced.
void presentNow(wkeViewState* view);

// A script run in the view starts, and has ended. While runs follow each
// other closely (a script's lines) a paced view draws at most one frame a
// second, and its own rate again once they pause. Every start is followed
// by its end, for the same view.
void scriptStarting(wkeViewState* view);
void scriptRan(wkeViewState* view);

// Draws every frame of the view while it lives, then paces it as before.
class Unpaced {
public:
    explicit Unpaced(wkeWebView handle);
    ~Unpaced();
    Unpaced(const Unpaced&) = delete;
    Unpaced& operator=(const Unpaced&) = delete;

private:
    wkeWebView m_handle;
    int m_interval = 0;
};

}  // namespace engine::pacing
