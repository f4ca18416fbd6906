#pragma once
// A hosted view on the real engine, opened on the fixture pages of this
// folder.
#include "../webview/enginetest.h"

#include "webview/engineloader.h"

#include <QElapsedTimer>

namespace bridge_test {

using namespace webview_test;

inline std::string pagePath(const char* name)
{
    return std::string(TOLVANE_TEST_DATA_DIR) + "/pages/" + name;
}

// The engine's text of a script value.
inline QString valueText(webview::WebView& web, jsValue value)
{
    const char16_t* text = WKE_CALL(jsToStringW)(web.globalExec(), value);
    return text ? QString::fromUtf16(text) : QStringLiteral("<none>");
}

struct HostedView {
    QWidget host;
    webview::WebView web;

    bool start(int width = 400, int height = 300)
    {
        host.resize(width, height);
        host.show();
        web.create(&host, "bridge", pagePath("target.html"), "");
        return loads(web);
    }

    // Loads a fixture page and waits until its document answers scripts and
    // has drawn a frame (the engine drops input to a page not drawn yet).
    bool open(const char* name)
    {
        web.loadUrl(pagePath(name));
        const std::string tail = std::string("/pages/") + name;
        const bool loaded = waitUntil([&] {
            if (!web.isLoadingCompleted())
                return false;
            const std::string href = web.runScriptText("text = location.href;");
            return href.size() >= tail.size() && href.compare(href.size() - tail.size(), tail.size(), tail) == 0;
        });
        web.runScriptText("window.drawn = 0; requestAnimationFrame(function () {"
                          " requestAnimationFrame(function () { window.drawn = 1; }); }); text = '';");
        return loaded && waitUntil([&] { return eval("window.drawn") == "1"; });
    }

    std::string eval(const std::string& expression)
    {
        return web.runScriptText("text = " + expression + ";");
    }
};

}  // namespace bridge_test
