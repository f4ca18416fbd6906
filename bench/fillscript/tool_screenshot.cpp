// Draws the picture of docs/script-tool.md: the script tool window
// (offscreen) bound to a real page, after a run whose lines passed, failed
// their check or found no element, with the caret on the failed line.
//
//   tool_screenshot docs/script-tool.png
#include "fillscript/catalogue.h"
#include "fillscript/executor.h"
#include "fillscript/recorder.h"
#include "fillscript/scripttoolwindow.h"
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
    if (argc < 2) {
        std::fprintf(stderr, "usage: tool_screenshot <file.png>\n");
        return 2;
    }
    QWidget host;
    host.resize(600, 400);
    host.show();
    webview::WebView view;
    view.create(&host, std::string(), "about:blank", {});
    view.loadHtml("<form><input name=user><input type=password name=pass>"
                  "<select name=city><option>Beijing</option><option>Shanghai</option></select>"
                  "<input type=checkbox name=agree><button type=button>Login</button></form>");
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 10000 && view.runScriptText("text = document.forms.length;") != "1")
        QTest::qWait(50);

    fillscript::ScriptToolWindow w;
    w.setExecutor(std::make_shared<fillscript::WebViewExecutor>(view));
    w.setRecorder(std::make_shared<fillscript::WebViewRecorder>(view));
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return 1;
    w.scriptEditor()->setText(QString::fromUtf8(
        "填表操作_写内容(input,user,alice,0,,,,假)\r\n"
        "填表事件_改变内容(input,user,0,,,,假)\r\n"
        "填表操作_写内容(input,pass,secret,0,,,,假)\r\n"
        "填表操作_置组合框按内容选中(select,city,Shanghai,0,,,,假)\r\n"
        "填表操作_置选中状态(input,agree,真,0,,,,假)\r\n"
        "填表事件_点击(button,Login,0,,,,假)\r\n"
        "填表事件_点击(button,Sign in,0,,,,假)\r\n"
        "填表_跳转(http://127.0.0.1/next)\r\n"
        "填表_取页面文本( )"));
    w.runWholeScript();
    w.scriptEditor()->setCursorPosition(6, 0);
    QCoreApplication::processEvents();
    if (!w.grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
