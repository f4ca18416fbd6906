// The tool window as a debugger, on a real page served from 127.0.0.1: run
// markers against the log, the tooltip of a marker, markers cleared by an
// edit, and running the caret's line, the selection, a step and a stopped
// run, each logging what a full run logs for the same lines.
#include "pagetest.h"

#include "fillscript/catalogue.h"
#include "fillscript/executor.h"
#include "fillscript/gbeditor.h"
#include "fillscript/runmarkers.h"
#include "fillscript/scripttoolwindow.h"
#include "runtime/textcodec.h"
#include "webview/webview.h"

#include <QAbstractButton>
#include <QFile>
#include <QPlainTextEdit>
#include <QTimer>
#include <QToolTip>
#include <QHelpEvent>
#include <QApplication>
#include <QtTest>

using namespace fillscript;
using fill_test::PageServer;

namespace {

// Lines whose results do not depend on the order they run in, with the
// marker each one earns.
const QStringList kScript = {
    QStringLiteral("填表操作_取内容(input,name,0,,,,假)"),       // 张三
    QStringLiteral("填表操作_取内容(input,nothing,0,,,,假)"),    // undefined
    QStringLiteral("不是命令(1)"),                               // check failed
    QStringLiteral("填表_取页面文本( )"),                         // wrong count
    QStringLiteral("填表_执行自定义JS代码(throw 1,假)"),          // error
    QStringLiteral("填表操作_取属性(input,dup,value,1,,,,假)"),  // second
    QStringLiteral("填表操作_判断元素是否存在(input,nothing,3,0,,,,假)"),  // waits 1.5 s
    QStringLiteral("填表操作_取内容(input,email,0,,,,假)"),
};

}  // namespace

class TestToolDebug : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void markersMatchTheLog();
    void editingALineClearsItsMarker();
    void partialRunsLogAsTheFullRun_data();
    void partialRunsLogAsTheFullRun();
    void stopEndsAfterTheCurrentLine();

private:
    QStringList newEntries(const QString& before) const;
    void placeCaret(int line) { w->scriptEditor()->setCursorPosition(line, 0); }

    std::unique_ptr<PageServer> server;
    std::unique_ptr<webview_test::HostedView> page;
    webview::WebView* view = nullptr;
    std::unique_ptr<ScriptToolWindow> w;
    QStringList fullRun;  // a full run's entries, one per line
};

void TestToolDebug::initTestCase()
{
    buildCatalogue();
    server = std::make_unique<PageServer>(fill_test::servePageFiles);
    page = std::make_unique<webview_test::HostedView>(QSize(800, 600),
                                                      rt::qstringToGb(server->origin() + "/form.html"));
    view = &page->web;
    QVERIFY(webview_test::loads(*view));

    init();
    w->runFillScript();
    fullRun = w->codeLog()->toPlainText().split('\n', Qt::SkipEmptyParts);
    cleanup();
    QCOMPARE(fullRun.size(), kScript.size());
    QCOMPARE(fullRun[0], QStringLiteral("第1行：张三"));
    QCOMPARE(fullRun[4], QStringLiteral("第5行：error"));
}

void TestToolDebug::cleanupTestCase()
{
    w.reset();
    page.reset();
}

void TestToolDebug::init()
{
    w = std::make_unique<ScriptToolWindow>();
    w->setExecutor(std::make_shared<WebViewExecutor>(*view));
    w->scriptEditor()->setText(kScript.join("\r\n"));
    w->show();
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
}

void TestToolDebug::cleanup()
{
    w.reset();
}

QStringList TestToolDebug::newEntries(const QString& before) const
{
    const QString log = w->codeLog()->toPlainText();
    return log.mid(before.size()).split('\n', Qt::SkipEmptyParts);
}

void TestToolDebug::markersMatchTheLog()
{
    w->runFillScript();
    const LineOutcome expected[] = {LineOutcome::Passed, LineOutcome::Undefined, LineOutcome::CheckFailed,
                                    LineOutcome::CheckFailed, LineOutcome::Error, LineOutcome::Passed,
                                    LineOutcome::Passed, LineOutcome::Passed};
    const QStringList log = w->codeLog()->toPlainText().split('\n', Qt::SkipEmptyParts);
    QCOMPARE(log, fullRun);
    for (int line = 0; line < kScript.size(); ++line) {
        QCOMPARE(w->runMarkers().outcomeAt(line), std::optional(expected[line]));
        QCOMPARE(w->runMarkers().entryAt(line), log[line]);
    }
    // Hovering over a line's marker shows its entry.
    using B = QsciScintillaBase;
    QWidget* viewport = w->scriptEditor()->viewport();
    const long pos = w->scriptEditor()->SendScintilla(B::SCI_POSITIONFROMLINE, 4UL);
    const QPoint at(20, int(w->scriptEditor()->SendScintilla(B::SCI_POINTYFROMPOSITION, 0UL, pos)) + 3);
    QHelpEvent help(QEvent::ToolTip, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &help);
    QTRY_COMPARE(QToolTip::text(), fullRun[4]);
}

void TestToolDebug::editingALineClearsItsMarker()
{
    w->runFillScript();
    // Type on line 3 and delete a line above line 6: line 3 loses its marker,
    // the others keep theirs and follow their lines.
    w->scriptEditor()->setCursorPosition(2, 1);
    QTest::keyClick(w->scriptEditor(), Qt::Key_X);
    QVERIFY(!w->runMarkers().outcomeAt(2));
    QCOMPARE(w->runMarkers().outcomeAt(1), std::optional(LineOutcome::Undefined));
    w->scriptEditor()->setSelection(3, 0, 4, 0);
    w->scriptEditor()->removeSelectedText();
    QCOMPARE(w->runMarkers().entryAt(3), QString());  // the edited join point
    QCOMPARE(w->runMarkers().entryAt(4), fullRun[5]);
}

void TestToolDebug::partialRunsLogAsTheFullRun_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("fromLine");  // 0-based
    QTest::addColumn<int>("toLine");   // the selection ends in this line,
    QTest::addColumn<int>("toIndex");  // at this column
    QTest::addColumn<QList<int>>("lines");
    QTest::addColumn<int>("caretAfter");
    QTest::newRow("current line") << "line" << 1 << 1 << 0 << QList<int>{1} << 1;
    QTest::newRow("current line, a failing check") << "line" << 3 << 3 << 0 << QList<int>{3} << 3;
    QTest::newRow("selection over three lines") << "selection" << 1 << 3 << 4 << QList<int>{1, 2, 3} << -1;
    QTest::newRow("selection ending at a line start") << "selection" << 4 << 6 << 0 << QList<int>{4, 5} << -1;
    QTest::newRow("step twice") << "step" << 4 << 4 << 0 << QList<int>{4, 5} << 6;
    QTest::newRow("step on the last line") << "step" << 7 << 7 << 0 << QList<int>{7} << 7;
}

void TestToolDebug::partialRunsLogAsTheFullRun()
{
    QFETCH(QString, how);
    QFETCH(int, fromLine);
    QFETCH(int, toLine);
    QFETCH(int, toIndex);
    QFETCH(QList<int>, lines);
    QFETCH(int, caretAfter);
    const QString before = w->codeLog()->toPlainText();
    // A button's shortcut clicks it a moment later, as a click shows.
    if (how == "line") {
        placeCaret(fromLine);
        QTest::keyClick(w->scriptEditor(), Qt::Key_F6);
    } else if (how == "selection") {
        w->scriptEditor()->setSelection(fromLine, 2, toLine, toIndex);
        QTest::keyClick(w->scriptEditor(), Qt::Key_F7);
    } else {
        placeCaret(fromLine);
        for (int i = 0; i < lines.size(); ++i) {
            QTest::keyClick(w->scriptEditor(), Qt::Key_F10);
            QTRY_COMPARE(newEntries(before).size(), i + 1);
        }
    }
    QTRY_COMPARE(newEntries(before).size(), lines.size());
    QStringList expected;
    for (const int l : lines)
        expected << fullRun[l];
    QCOMPARE(newEntries(before), expected);
    for (int l = 0; l < kScript.size(); ++l)
        QCOMPARE(w->runMarkers().entryAt(l), lines.contains(l) ? fullRun[l] : QString());
    if (caretAfter >= 0) {
        int line = 0, index = 0;
        w->scriptEditor()->getCursorPosition(&line, &index);
        QCOMPARE(line, caretAfter);
    }
}

void TestToolDebug::stopEndsAfterTheCurrentLine()
{
    // Line 7 waits for an element; the stop pressed meanwhile lets it finish
    // and runs nothing after it.
    QTimer::singleShot(600, w.get(), [this] {
        QVERIFY(w->stopButton()->isEnabled());
        QTest::keyClick(w->scriptEditor(), Qt::Key_F5, Qt::ShiftModifier);
    });
    w->runFillScript();
    QCOMPARE(w->codeLog()->toPlainText().split('\n', Qt::SkipEmptyParts), fullRun.mid(0, 7));
    QVERIFY(!w->stopButton()->isEnabled());
    QVERIFY(!w->runMarkers().outcomeAt(7));
}

QTEST_MAIN(TestToolDebug)
#include "test_tooldebug.moc"
