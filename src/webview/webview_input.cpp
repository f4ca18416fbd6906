// Posted mouse input of WebView: posting mouse messages and scrolling an
// element into view to click it.
#include "webview/webview.h"

#include "webview/bridge/mouseinput.h"
#include "webview/bridge/scripts.h"

#include <QWidget>

namespace webview {

int WebView::postMouseMessages(QWidget* window, int x, int y, int button, int action)
{
    return bridge::postMouseMessages(window, x, y, button, action);
}

int WebView::moveToElement(const std::string& tag, const std::string& key, QWidget* window, bool,
                           int skip, const std::string& frame, const std::string& attribute,
                           const std::string& step, bool gbkFlag)
{
    const auto position = [&] {
        return bridge::splitText(getElementPosition(tag, key, skip, frame, attribute, step, gbkFlag),
                                 ",");
    };
    std::vector<std::string> pos = position();
    if (pos.size() < 2)
        return 0;

    const auto dimension = [&](const char* property, int fallback) {
        const int v = bridge::readNumber(
            getProperty(tag, key, property, skip, frame, attribute, step, gbkFlag));
        return v < 1 ? fallback : v;
    };
    int elemH = dimension("clientHeight", 15);
    int elemW = dimension("clientWidth", 50);
    const int clientW = window ? window->width() : 0;
    const int clientH = window ? window->height() : 0;
    const int x = bridge::readNumber(pos[0]);
    const int y = bridge::readNumber(pos[1]);
    elemW += 12;
    elemH += 12;

    int sx = 0, sy = 0;
    const auto reread = [&] { return !getScrollPosition(sx, sy).empty(); };
    // Each loop also stops when a step leaves the scroll position unchanged
    // (the page cannot scroll that far) or the position cannot be read, and
    // after a bound of steps (a page that keeps growing).
    constexpr int kMaxSteps = 10000;
    const auto scrollLoop = [&](auto needed, auto scrollStep, int& watched) {
        for (int n = 0; needed() && n < kMaxSteps; ++n) {
            const int before = watched;
            scrollStep();
            if (!reread() || watched == before)
                break;
        }
    };
    reread();
    scrollLoop([&] { return sx + clientW - elemW < x; },
               [&] { sx += 10; scrollTo(sx, std::nullopt); }, sx);
    reread();
    scrollLoop([&] { return sx > x; }, [&] { scrollTo(x, std::nullopt); }, sx);
    scrollLoop([&] { return sy + clientH < y + elemH; },
               [&] { sy += 10; scrollTo(std::nullopt, sy); }, sy);
    scrollLoop([&] { return sy > y; }, [&] { scrollTo(std::nullopt, y); }, sy);

    pos = position();
    if (pos.size() >= 2) {
        reread();
        postMouseMessages(window, bridge::readNumber(pos[0]) - sx + elemW - 17,
                          bridge::readNumber(pos[1]) - sy, 0, 0);
    }
    return 1;
}

}  // namespace webview
