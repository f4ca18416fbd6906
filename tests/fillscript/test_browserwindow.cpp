// tolvane-fill's browser window with the script tool, on real pages served
// from 127.0.0.1, on an offscreen screen of 1920 x 1080: the caption follows
// the page's title; the tool opens beside the browser window when the screen
// has room; closing the browser window stops a run after its line.
#include "pagetest.h"

#include "browserwindow.h"
#include "fillscript/catalogue.h"
#include "fillscript/opentool.h"
#include "fillscript/runmarkers.h"
#include "fillscript/scripttoolwindow.h"
#include "runtime/textcodec.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QtTest>

using fill_test::PageServer;

namespace {

// Before the application exists: one screen large enough for both windows.
const bool kScreenSet = [] {
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("screens.json"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        std::abort();
    f.write(R"({"screens": [{"name": "wide", "x": 0, "y": 0, "width": 1920, "height": 1080,
                 "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    f.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + path.toLocal8Bit());
    return true;
}();

QByteArray page(const QByteArray& path)
{
    if (path == "/titled.html")
        return "<!DOCTYPE html><html><head><meta charset=utf-8><title>登录 — 示例</title></head>"
               "<body><input id=a></body></html>";
    if (path == "/untitled.html")
        return "<!DOCTYPE html><html><head><meta charset=utf-8></head><body><input id=a></body></html>";
    if (path == "/retitled.html")
        return "<!DOCTYPE html><html><head><meta charset=utf-8><title>before</title></head>"
               "<body><script>setTimeout(function () { document.title = 'after\\n\\tnow'; }, 300);</script>"
               "</body></html>";
    return {};
}

}  // namespace

class TestBrowserWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void captionFor_data();
    void captionFor();
    void captionFollowsThePage_data();
    void captionFollowsThePage();
    void toolOpensBeside_data();
    void toolOpensBeside();
    void closingTheBrowserStopsTheRun();

private:
    std::unique_ptr<PageServer> server;
};

void TestBrowserWindow::initTestCase()
{
    QVERIFY(kScreenSet);
    QCOMPARE(QGuiApplication::primaryScreen()->geometry(), QRect(0, 0, 1920, 1080));
    server = std::make_unique<PageServer>(page);
}

void TestBrowserWindow::captionFor_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("caption");
    QTest::newRow("title") << "登录" << "登录 - tolvane-fill";
    QTest::newRow("none") << "" << "tolvane-fill";
    QTest::newRow("only spaces") << " \t\n " << "tolvane-fill";
    QTest::newRow("line breaks and controls") << "a\r\nb\x01" "c\u200Ed" << "a b c d - tolvane-fill";
    QTest::newRow("long") << QString(300, QLatin1Char('x')) << QString(119, QLatin1Char('x')) + QChar(0x2026) + " - tolvane-fill";
}

void TestBrowserWindow::captionFor()
{
    QFETCH(QString, title);
    QFETCH(QString, caption);
    QCOMPARE(BrowserWindow::captionFor(title), caption);
}

void TestBrowserWindow::captionFollowsThePage_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("caption");
    QTest::newRow("title") << "/titled.html" << "登录 — 示例 - tolvane-fill";
    QTest::newRow("no title") << "/untitled.html" << "tolvane-fill";
    QTest::newRow("changed by the page") << "/retitled.html" << "after now - tolvane-fill";
}

void TestBrowserWindow::captionFollowsThePage()
{
    QFETCH(QString, path);
    QFETCH(QString, caption);
    BrowserWindow browser(rt::qstringToGb(server->origin() + path));
    browser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&browser));
    QTRY_COMPARE_WITH_TIMEOUT(browser.windowTitle(), caption, 15000);
}

void TestBrowserWindow::toolOpensBeside_data()
{
    QTest::addColumn<QRect>("browser");
    QTest::addColumn<QString>("side");
    QTest::newRow("room on the right") << QRect(0, 0, 900, 700) << "right";
    QTest::newRow("room only on the left") << QRect(1000, 100, 900, 700) << "left";
    QTest::newRow("no room") << QRect(500, 0, 1000, 700) << "usual place";
}

void TestBrowserWindow::toolOpensBeside()
{
    QFETCH(QRect, browser);
    QFETCH(QString, side);
    BrowserWindow window(rt::qstringToGb(server->origin() + "/titled.html"));
    window.setGeometry(browser);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QPointer<fillscript::ScriptToolWindow> tool = fillscript::openScriptTool(window.view());
    QVERIFY(QTest::qWaitForWindowExposed(tool.data()));
    const QRect t = tool->frameGeometry();
    const QRect b = window.frameGeometry();
    if (side == "usual place") {
        QCOMPARE(t.topLeft(), QPoint(50, 50));
    } else {
        QVERIFY2(!t.intersects(b), qPrintable(QStringLiteral("%1,%2 %3x%4").arg(t.x()).arg(t.y()).arg(t.width()).arg(t.height())));
        QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().contains(t));
        QCOMPARE(side == "right" ? t.left() > b.right() : t.right() < b.left(), true);
        QCOMPARE(t.top(), b.top());
    }
    tool->close();
    QTRY_VERIFY(tool.isNull());
}

// The second line waits for an element that never comes; closing the browser
// window meanwhile lets it end and runs nothing after it. With both windows
// closed none is left for the program to wait on.
void TestBrowserWindow::closingTheBrowserStopsTheRun()
{
    BrowserWindow window(rt::qstringToGb(server->origin() + "/titled.html"));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_COMPARE_WITH_TIMEOUT(window.windowTitle(), QStringLiteral("登录 — 示例 - tolvane-fill"), 15000);
    QPointer<fillscript::ScriptToolWindow> tool = fillscript::openScriptTool(window.view());
    tool->scriptEditor()->setText(QStringLiteral("填表操作_写内容(input,a,1,0,,,,假)\r\n"
                                                 "填表操作_判断元素是否存在(input,nothing,6,0,,,,假)\r\n"
                                                 "填表操作_写内容(input,a,2,0,,,,假)"));
    // Closed while the second line waits.
    QTimer watch;
    connect(&watch, &QTimer::timeout, &window, [&] {
        if (tool->runMarkers().pointerLine() == 1 && window.isVisible())
            window.close();
    });
    watch.start(100);
    tool->runWholeScript();
    watch.stop();
    QCOMPARE(tool->codeLog()->toPlainText(), QStringLiteral("第1行：success\n第2行：false\n"));
    QVERIFY(!window.isVisible());
    QCOMPARE(window.view().runScriptText("text = document.getElementById('a').value;"), std::string("1"));
    tool->close();
    QTRY_VERIFY(tool.isNull());
    for (const QWidget* top : QApplication::topLevelWidgets())
        QVERIFY(!top->isVisible());
}

QTEST_MAIN(TestBrowserWindow)
#include "test_browserwindow.moc"
