// Posted mouse input of WebView: posting mouse messages and scrolling an
// element into view to click it.
#include "webview/webview.h"

#include "webview/bridge/mouseinput.h"
#include "webview/bridge/scripts.h"

#include "webview/engineloader.h"
#include "webview/engineview_p.h"
#include "runtime/textcodec.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QWidget>

#include <cstdio>

namespace webview {

namespace {

constexpr int kChooserWaitMs = 5000;
constexpr int kFilesWaitMs = 2000;
constexpr int kStepMs = 20;

}  // namespace

std::string WebView::uploadFile(const std::string& tag, const std::string& key,
                                const std::string& filePath, int skip, const std::string& frame,
                                const std::string& attribute, const std::string& step, bool gbkFlag)
{
    const std::string locator = bridge::locator(tag, key, skip, attribute, frame, step);
    const std::string kind = runScriptText(locator + bridge::isFileInput(), gbkFlag);
    if (kind == "false")
        return runScriptText(locator + bridge::setValue(filePath), gbkFlag);  // not a file input
    if (kind != "true")
        return kind;  // not found, or failed in the page
    QStringList files;
    for (const std::string& piece : bridge::splitText(filePath, "|")) {
        if (piece.empty())
            continue;
        const QFileInfo info(QDir::current(), rt::gbToQString(piece));
        if (!info.isFile()) {
            std::fprintf(stderr, "%s: cannot attach %s: no such file\n",
                         qPrintable(QCoreApplication::applicationName()),
                         info.absoluteFilePath().toLocal8Bit().constData());
            return "error";
        }
        files << info.absoluteFilePath();
    }
    const std::string target = runScriptText(locator + bridge::fileInputTarget(files.isEmpty()), gbkFlag);
    if (target.rfind("file:", 0) != 0)
        return target;  // cleared, gone, or failed in the page
    const std::vector<std::string> point = bridge::splitText(target.substr(5), ",");
    QWidget* host = m_engine.hostWindow();
    if (point.size() < 2 || !host)
        return "error";

    // The engine's own path: a click on the input opens its file chooser,
    // which takes the choice set here instead of showing a dialog.
    const std::u16string choice = files.join(QLatin1Char('\n')).toStdU16String();
    const wkeWebView handle = m_engine.getViewHandle();
    WKE_CALL(wkeSetNextFileChoice)(handle, choice.c_str());
    bridge::postMouseMessages(host, bridge::readNumber(point[0]), bridge::readNumber(point[1]), 0, 0);
    const QDeadlineTimer chooser(kChooserWaitMs);
    while (WKE_CALL(wkeIsFileChoicePending)(handle) && !chooser.hasExpired())
        pause(kStepMs);
    const bool opened = !WKE_CALL(wkeIsFileChoicePending)(handle);
    WKE_CALL(wkeSetNextFileChoice)(handle, nullptr);
    // The page learns of the choice a moment after the chooser closes.
    int held = bridge::readNumber(runScriptText(bridge::fileInputDone()));
    for (const QDeadlineTimer done(kFilesWaitMs); opened && held != int(files.size()) && !done.hasExpired();) {
        pause(kStepMs);
        held = bridge::readNumber(runScriptText(locator + "text = dom && dom.files ? dom.files.length : -1;"));
    }
    return opened && held == int(files.size()) ? "success" : "error";
}

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
