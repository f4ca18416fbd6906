// The tool window as a debugger, on a real page served from 127.0.0.1: run
// markers against the log, the tooltip of a marker with the page's reason,
// markers that follow their lines through edits, the run pointer, and
// running the caret's line, the selection, a step and a stopped run, each
// logging what a full run logs for the same lines.
#include "pagetest.h"

#include "fillscript/catalogue.h"
#include "fillscript/executor.h"
#include "fillscript/gbeditor.h"
#include "fillscript/runmarkers.h"
#include "fillscript/scripttoolwindow.h"
#include "runtime/textcodec.h"
#include "webview/webview.h"

#include <QAbstractButton>
#include <QLabel>
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
    void tooltipSaysWhy_data();
    void tooltipSaysWhy();
    void markersFollowTheirLines_data();
    void markersFollowTheirLines();
    void pointerShowsTheRunningLine();
    void stepPointerFollowsTheCaret();
    void partialRunsLogAsTheFullRun_data();
    void partialRunsLogAsTheFullRun();
    void stopEndsAfterTheCurrentLine();
    void closingThePageWindowStopsTheRun();

private:
    QStringList newEntries(const QString& before) const;
    QString toolTipOn(int line);
    void placeCaret(int line) { w->scriptEditor()->setCursorPosition(line, 0); }

    std::unique_ptr<PageServer> server;
    std::unique_ptr<webview_test::HostedView> page;
    webview::WebView* view = nullptr;
    std::unique_ptr<ScriptToolWindow> w;
    QStringList fullRun;  // a full run's entries, one per line
};

void TestToolDebug::initTestCase()
{
    server = std::make_unique<PageServer>(fill_test::servePageFiles);
    page = std::make_unique<webview_test::HostedView>(QSize(800, 600),
                                                      rt::qstringToGb(server->origin() + "/form.html"));
    view = &page->web;
    QVERIFY(webview_test::loads(*view));

    init();
    w->runWholeScript();
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

// The tooltip the editor shows for a help event over the line's marker.
QString TestToolDebug::toolTipOn(int line)
{
    using B = QsciScintillaBase;
    QToolTip::hideText();
    QWidget* viewport = w->scriptEditor()->viewport();
    const long pos = w->scriptEditor()->SendScintilla(B::SCI_POSITIONFROMLINE, (unsigned long)line);
    const QPoint at(20, int(w->scriptEditor()->SendScintilla(B::SCI_POINTYFROMPOSITION, 0UL, pos)) + 3);
    QHelpEvent help(QEvent::ToolTip, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &help);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

QStringList TestToolDebug::newEntries(const QString& before) const
{
    const QString log = w->codeLog()->toPlainText();
    return log.mid(before.size()).split('\n', Qt::SkipEmptyParts);
}

void TestToolDebug::markersMatchTheLog()
{
    w->runWholeScript();
    const LineOutcome expected[] = {LineOutcome::Passed, LineOutcome::Undefined, LineOutcome::CheckFailed,
                                    LineOutcome::CheckFailed, LineOutcome::Error, LineOutcome::Passed,
                                    LineOutcome::Passed, LineOutcome::Passed};
    const QStringList log = w->codeLog()->toPlainText().split('\n', Qt::SkipEmptyParts);
    QCOMPARE(log, fullRun);
    for (int line = 0; line < kScript.size(); ++line) {
        QCOMPARE(w->runMarkers().outcomeAt(line), std::optional(expected[line]));
        QCOMPARE(w->runMarkers().entryAt(line), log[line]);
    }
    // Hovering over a line's marker shows its entry; a passed line adds
    // nothing to it.
    QCOMPARE(toolTipOn(0), fullRun[0]);
    QCOMPARE(toolTipOn(2), fullRun[2]);
}

// The log keeps its exact entry; the tooltip adds the page's reason.
void TestToolDebug::tooltipSaysWhy_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("reason");  // the tooltip's second line starts so
    QTest::newRow("exception")
        << "填表_执行自定义JS代码(throw new Error('字段已锁定'),假)" << "第1行：error" << "原因：Error: 字段已锁定";
    QTest::newRow("member of a missing object")
        << "填表操作_执行自定义代码_返回值(input,name,nothing.value,0,,,,假)" << "第1行：error"
        << "原因：TypeError: Cannot read properties of undefined";
    QTest::newRow("a page's very long message, cut")
        << "填表_执行自定义JS代码(throw new Error('长' + 'x'.repeat(100000)),假)" << "第1行：error"
        << "原因：Error: 长" + QString(391, QLatin1Char('x')) + "...";
    QTest::newRow("no such element") << "填表操作_取内容(input,nothing,0,,,,假)" << "第1行：undefined"
                                     << "原因：没有找到匹配的元素";
    QTest::newRow("passed") << "填表操作_取内容(input,name,0,,,,假)" << "第1行：张三" << QString();
    QTest::newRow("rejected by a check") << "不是命令(1)" << "第1行：错误，不存在的命令" << QString();
    // Busy for longer than a run waits for its answer; it then recovers.
    QTest::newRow("time-out")
        << "填表_执行自定义JS代码(var t = Date.now(); while (Date.now() - t < 11000) {} text = 'late';,假)"
        << "第1行：" << "原因：页面没有及时应答（超时）";
}

void TestToolDebug::tooltipSaysWhy()
{
    QFETCH(QString, line);
    QFETCH(QString, entry);
    QFETCH(QString, reason);
    w->scriptEditor()->setText(line);
    QTest::keyClick(w->scriptEditor(), Qt::Key_F5);
    QTRY_VERIFY_WITH_TIMEOUT(!w->codeLog()->toPlainText().isEmpty(), 20000);
    QCOMPARE(w->codeLog()->toPlainText(), entry + "\n");
    const QString tip = toolTipOn(0);
    if (reason.isEmpty()) {
        QCOMPARE(tip, entry);
    } else {
        QVERIFY2(tip.startsWith(entry + "\n" + reason), qPrintable(tip));
        QCOMPARE(tip.count('\n'), 1);
    }
}

// Edits made with keys: each row gives the lines as they stand after the
// edit, by the line each came from (-1: a new or edited line). A marker stays
// with its line's text and goes only with an edit of that line.
void TestToolDebug::markersFollowTheirLines_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QList<int>>("origins");
    QTest::newRow("Enter at a line's end opens a line below it")
        << "caret 1 end; key Return" << QList<int>{0, 1, -1, 2, 3, 4, 5, 6, 7};
    QTest::newRow("Enter at a line's start opens a line above it")
        << "caret 1 0; key Return" << QList<int>{0, -1, 1, 2, 3, 4, 5, 6, 7};
    QTest::newRow("typing on a line clears only its marker")
        << "caret 2 0; type x" << QList<int>{0, 1, -1, 3, 4, 5, 6, 7};
    QTest::newRow("a deleted line above")
        << "select 3 0 4 0; key Delete" << QList<int>{0, 1, 2, 4, 5, 6, 7};
    QTest::newRow("a deleted line below")
        << "select 3 end 4 end; key Delete" << QList<int>{0, 1, 2, 3, 5, 6, 7};
    QTest::newRow("two lines joined")
        << "caret 4 0; key Backspace" << QList<int>{0, 1, 2, -1, 5, 6, 7};
    QTest::newRow("lines pasted above")
        << "select 0 0 2 0; key Ctrl+C; caret 0 0; key Ctrl+V" << QList<int>{-1, -1, 0, 1, 2, 3, 4, 5, 6, 7};
    QTest::newRow("a deletion undone")
        << "select 3 0 5 0; key Delete; key Ctrl+Z" << QList<int>{0, 1, 2, -1, -1, 5, 6, 7};
}

void TestToolDebug::markersFollowTheirLines()
{
    QFETCH(QString, edit);
    QFETCH(QList<int>, origins);
    w->runWholeScript();
    using B = QsciScintillaBase;
    ScriptEditor* e = w->scriptEditor();
    // A line's start, its end, or a byte column in it.
    const auto position = [e](const QString& line, const QString& c) {
        const auto l = (unsigned long)line.toInt();
        return c == "end" ? e->SendScintilla(B::SCI_GETLINEENDPOSITION, l)
                          : e->SendScintilla(B::SCI_POSITIONFROMLINE, l) + c.toLong();
    };
    for (const QString& step : edit.split("; ")) {
        const QStringList a = step.split(' ');
        if (a[0] == "caret") {
            e->SendScintilla(B::SCI_GOTOPOS, (unsigned long)position(a[1], a[2]));
        } else if (a[0] == "select") {
            e->SendScintilla(B::SCI_SETSEL, (unsigned long)position(a[1], a[2]), position(a[3], a[4]));
        } else if (a[0] == "type") {
            QTest::keyClicks(e, a[1]);
        } else {
            QTest::keyClick(e, QKeySequence(a[1])[0].key(), QKeySequence(a[1])[0].keyboardModifiers());
        }
    }
    QCOMPARE(e->lines(), origins.size());
    for (int line = 0; line < origins.size(); ++line) {
        const int from = origins[line];
        QCOMPARE(w->runMarkers().entryAt(line), from < 0 ? QString() : fullRun[from]);
        if (from >= 0)
            QCOMPARE(e->text(line).trimmed(), kScript[from]);
    }
}

// While a line runs the pointer stands on it; Shift+F5 turns it into the
// stopping pointer, and both show in the state label.
void TestToolDebug::pointerShowsTheRunningLine()
{
    using P = RunMarkers::Pointer;
    QList<std::pair<int, int>> seen;  // pointer line, kind
    QStringList labels;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] {
        seen.append({w->runMarkers().pointerLine(), int(w->runMarkers().pointer())});
        labels.append(w->runStateLabel()->text());
        // Once on line 7, which waits 1.5 s for an element.
        if (seen.count(std::pair(6, int(P::Running))) == 2)
            QTest::keyClick(w->scriptEditor(), Qt::Key_F5, Qt::ShiftModifier);
    });
    watch.start(100);
    w->runWholeScript();
    watch.stop();
    QVERIFY(seen.contains(std::pair(6, int(P::Running))));
    QVERIFY(seen.contains(std::pair(6, int(P::Stopping))));
    QVERIFY(labels.contains(QStringLiteral("正在运行第7行")));
    QVERIFY(labels.contains(QStringLiteral("正在停止：第7行运行完后停止")));
    // The pointer never went back to running once stopping.
    const int firstStop = int(seen.indexOf(std::pair(6, int(P::Stopping))));
    for (int k = firstStop; k < seen.size(); ++k)
        QCOMPARE(seen[k], std::pair(6, int(P::Stopping)));
    QCOMPARE(w->runMarkers().pointer(), P::None);
    QCOMPARE(w->runMarkers().pointerLine(), -1);
    QCOMPARE(w->runStateLabel()->text(), QString());
    QVERIFY(!w->runMarkers().outcomeAt(7));
}

// After a step the pointer shows the line the next step runs, the caret's;
// a full run takes it away.
void TestToolDebug::stepPointerFollowsTheCaret()
{
    using P = RunMarkers::Pointer;
    QCOMPARE(w->runMarkers().pointer(), P::None);
    placeCaret(0);
    QTest::keyClick(w->scriptEditor(), Qt::Key_F10);
    QTRY_COMPARE(w->runMarkers().pointerLine(), 1);
    QCOMPARE(w->runMarkers().pointer(), P::Next);
    QTest::keyClick(w->scriptEditor(), Qt::Key_Down);
    QTest::keyClick(w->scriptEditor(), Qt::Key_Down);
    QTRY_COMPARE(w->runMarkers().pointerLine(), 3);
    placeCaret(0);
    QTRY_COMPARE(w->runMarkers().pointerLine(), 0);
    QTest::keyClick(w->scriptEditor(), Qt::Key_F10);
    QTRY_COMPARE(w->runMarkers().pointerLine(), 1);
    QTest::keyClick(w->scriptEditor(), Qt::Key_F5);
    QTRY_COMPARE(w->codeLog()->toPlainText().count('\n'), 2 + kScript.size());
    QCOMPARE(w->runMarkers().pointer(), P::None);
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
    w->runWholeScript();
    QCOMPARE(w->codeLog()->toPlainText().split('\n', Qt::SkipEmptyParts), fullRun.mid(0, 7));
    QVERIFY(!w->stopButton()->isEnabled());
    QVERIFY(!w->runMarkers().outcomeAt(7));
}

// Closing the window that shows the page during a run stops the run after
// its line, as closing the tool does; with both closed no window is left
// for the program to wait on.
void TestToolDebug::closingThePageWindowStopsTheRun()
{
    QWidget* pageWindow = page->host.window();
    w->setPageWindow(pageWindow);
    // Closed while line 7 waits for its element.
    QTimer watch;
    connect(&watch, &QTimer::timeout, pageWindow, [&] {
        if (w->runMarkers().pointerLine() == 6 && pageWindow->isVisible())
            pageWindow->close();
    });
    watch.start(100);
    w->runWholeScript();
    watch.stop();
    QCOMPARE(w->codeLog()->toPlainText().split('\n', Qt::SkipEmptyParts), fullRun.mid(0, 7));
    QVERIFY(!pageWindow->isVisible());
    w->close();
    QVERIFY(!w->isVisible());
    for (const QWidget* top : QApplication::topLevelWidgets())
        QVERIFY2(!top->isVisible(), qPrintable(top->objectName()));
    pageWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(pageWindow));
}

QTEST_MAIN(TestToolDebug)
#include "test_tooldebug.moc"
