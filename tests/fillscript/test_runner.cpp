// tolvane-fill --run: a script file against a page served from 127.0.0.1, its
// log on standard output and its exit statuses.
#include "pagetest.h"

#include "runtime/textcodec.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using fill_test::PageServer;

using fill_test::Outcome;
using fill_test::runFill;

class TestRunner : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void passingScript();
    void failedCheckKeepsRunning();
    void gbScriptFile();
    void usageErrors_data();
    void usageErrors();
    void unreadableScript();
    void pageThatFailsToLoad();
    void focusAndBlurReachThePage();

private:
    QString writeScript(const QString& name, const QByteArray& bytes);

    std::unique_ptr<PageServer> server;
    QTemporaryDir dir;
    QString pageUrl;
};

void TestRunner::initTestCase()
{
    QVERIFY(dir.isValid());
    server = std::make_unique<PageServer>([](const QByteArray&) {
        return QByteArray(
            "<!doctype html><html><head><meta charset='utf-8'><title>runner</title></head><body>"
            "<input id='kw' value='起点'><select id='s'><option value='a'>甲</option></select></body></html>");
    });
    pageUrl = server->origin() + "/page.html";
}

QString TestRunner::writeScript(const QString& name, const QByteArray& bytes)
{
    return fill_test::writeTestFile(dir, name, bytes);
}

void TestRunner::passingScript()
{
    // UTF-8 with LF line ends; the final line break ends the last line.
    const QString script = writeScript("ok.txt",
        "填表操作_取内容(input,kw,0,,,,假)\n"
        "填表操作_写内容（input，kw，“终点”，0,,,,假）\n"
        "填表操作_取内容(input,kw,0,,,,假)\n"
        "填表操作_枚举组合框内容(select,s, , ,0,,,,假)\n");
    const Outcome o = runFill({"--run", script, pageUrl});
    QCOMPARE(o.out, QStringLiteral("第1行：起点\r\n第2行：success\r\n第3行：终点\r\n第4行：甲|a\r\n"));
    QCOMPARE(o.exitCode, 0);
    // The engine's own reports stay out of the program's output.
    QVERIFY2(o.err.isEmpty(), qPrintable(o.err));
}

void TestRunner::failedCheckKeepsRunning()
{
    const QString script = writeScript("bad.txt",
        "填表操作_取内容(input,kw,0,,,,假)\r\n"
        "\r\n"
        "填表_坐标点击(1)\r\n"
        "填表操作_取内容(input,nothing,0,,,,假)");
    const Outcome o = runFill({"--run", script, pageUrl});
    QCOMPARE(o.out, QStringLiteral("第1行：起点\r\n第2行：错误，不存在的命令\r\n"
                                   "第3行：错误，参数不对，实际需要2个参数，你只提供1个参数\r\n"
                                   "第4行：undefined\r\n"));
    QCOMPARE(o.exitCode, 1);
}

void TestRunner::gbScriptFile()
{
    // Not valid UTF-8: read as GB18030.
    const std::string gb = rt::gb("填表_取页面属性(title)\r\n填表操作_取内容(input,kw,0,,,,假)");
    const QString script = writeScript("gb.txt", QByteArray(gb.data(), qsizetype(gb.size())));
    const Outcome o = runFill({"--run", script, pageUrl});
    QCOMPARE(o.out, QStringLiteral("第1行：runner\r\n第2行：起点\r\n"));
    QCOMPARE(o.exitCode, 0);
}

void TestRunner::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("nothing") << QStringList{};
    QTest::newRow("run without url") << QStringList{"--run", "x.txt"};
    QTest::newRow("too many") << QStringList{"--run", "x.txt", "http://127.0.0.1/", "more"};
    QTest::newRow("unknown option") << QStringList{"--walk"};
}

void TestRunner::usageErrors()
{
    QFETCH(QStringList, args);
    const Outcome o = runFill(args);
    QCOMPARE(o.exitCode, 2);
    QVERIFY(o.out.isEmpty());
    QCOMPARE(o.err.count('\n'), 1);
    QVERIFY(o.err.startsWith("tolvane-fill: usage:"));
}

void TestRunner::unreadableScript()
{
    const Outcome o = runFill({"--run", dir.filePath("missing.txt"), pageUrl});
    QCOMPARE(o.exitCode, 2);
    QVERIFY(o.out.isEmpty());
    QVERIFY2(o.err.startsWith("tolvane-fill: cannot read the script file"), qPrintable(o.err));
    QCOMPARE(o.err.count('\n'), 1);
}

void TestRunner::pageThatFailsToLoad()
{
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        closedPort = probe.serverPort();
    }
    const QString script = writeScript("one.txt", "填表_取页面文本()");
    const Outcome o = runFill({"--run", script, QStringLiteral("http://127.0.0.1:%1/").arg(closedPort)});
    QCOMPARE(o.exitCode, 2);
    QVERIFY(o.out.isEmpty());
    QVERIFY2(o.err.startsWith("tolvane-fill: the page failed to load"), qPrintable(o.err));
    QCOMPARE(o.err.count('\n'), 1);
}

// A run has no active window: the page's focus and blur listeners still run
// and the page has focus, as for a form that validates on blur.
void TestRunner::focusAndBlurReachThePage()
{
    PageServer page([](const QByteArray&) {
        return QByteArray(
            "<!doctype html><html><head><meta charset='utf-8'><title>focus</title></head><body>"
            "<input id='kw'><script>var log = []; var kw = document.getElementById('kw');"
            "kw.addEventListener('focus', function () { log.push('focus'); });"
            "kw.addEventListener('blur', function () { log.push('blur'); });</script></body></html>");
    });
    const QString script = writeScript("focus.txt",
        "填表事件_置焦点(input,kw,0,,,,假)\n"
        "填表_执行自定义JS代码(text=document.hasFocus(),假)\n"
        "填表事件_失去焦点(input,kw,0,,,,假)\n"
        "填表_执行自定义JS代码(text=log.join('+'),假)\n");
    const Outcome o = runFill({"--run", script, page.origin() + "/focus.html"});
    QCOMPARE(o.out, QStringLiteral("第1行：success\r\n第2行：true\r\n第3行：success\r\n第4行：focus+blur\r\n"));
    QCOMPARE(o.exitCode, 0);
}

QTEST_MAIN(TestRunner)
#include "test_runner.moc"
