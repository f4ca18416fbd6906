// What recording costs the page: the listener's drain, which runs every
// 100 ms while recording or picking (and never while both are off), timed in
// the page itself on a form of 2,000 fields and 10 frames.
#include "fillscript/recorder.h"
#include "runtime/textcodec.h"
#include "webview/appsetup.h"
#include "webview/webview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QtTest/QTest>

#include <cstdio>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    webview::prepareApplication();
    QApplication app(argc, argv);
    QWidget host;
    host.resize(800, 600);
    host.show();
    webview::WebView view;
    view.create(&host, std::string(), "about:blank", {});
    std::string html = "<form>";
    for (int i = 0; i < 2000; ++i)
        html += "<input name=f" + std::to_string(i % 100) + ">";
    html += "</form>";
    for (int i = 0; i < 10; ++i)
        html += "<iframe srcdoc='<input name=deep>'></iframe>";
    view.loadHtml(html);
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 15000 && view.runScriptText("text = frames.length == 10 && frames[9].document.body ? 1 : 0;") != "1")
        QTest::qWait(50);

    // The listener in the page's own world here, so that the page can time it.
    const QString script = fillscript::WebViewRecorder::listenerScript();
    view.runScript(rt::qstringToGb(script));
    const std::string timing = view.runScriptText(
        "var n = 1000; var t0 = performance.now();"
        "for (var i = 0; i < n; i++) { window.__tolvaneRecorder.drain('record'); }"
        "text = ((performance.now() - t0) * 1000 / n).toFixed(1);");
    std::printf("drain (every 100 ms while on), 2,000 fields, 10 frames: %s us per run in the page\n",
                timing.c_str());
    std::printf("install (once per document): %d bytes of script\n", int(script.toUtf8().size()));
    return 0;
}
