// tolvane-fill --run: a script file against a page served from 127.0.0.1, its
// log on standard output and its exit statuses.
#include "pagetest.h"

#include "runtime/textcodec.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>

#include <csignal>
#include <QTemporaryDir>
#include <QtTest>

using fill_test::PageServer;

using fill_test::Outcome;
using fill_test::runFill;
using fill_test::waitUntil;

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
    void dialogsAreAnswered_data();
    void dialogsAreAnswered();
    void interruptEndsTheRun_data();
    void interruptEndsTheRun();
    void strictFailsWhatThePageNeverAnswered_data();
    void strictFailsWhatThePageNeverAnswered();
    void startPageWithAnErrorStatus_data();
    void startPageWithAnErrorStatus();
    void uploadTakesPathsFromTheScriptFolder();

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

// Pages that open dialogs: at load, and from a click's handler (the answer
// goes into #r).
QByteArray dialogPage(const QByteArray& path)
{
    const QByteArray head = "<!doctype html><html><head><meta charset='utf-8'><title>" +
                            path.mid(1) + "</title></head><body><input id='r' value='none'>";
    if (path == "/load")
        return head + "<script>alert('加载中');document.getElementById('r').value='loaded';</script></body></html>";
    if (path == "/click")
        return head +
               "<button id='a' onclick=\"alert('提交成功');r.value='after alert'\">a</button>"
               "<button id='c' onclick=\"r.value=String(confirm('确定吗'))\">c</button>"
               "<button id='p' onclick=\"r.value=String(prompt('名字','默认'))\">p</button>"
               "<button id='e' onclick=\"r.value=JSON.stringify(prompt('空'))\">e</button>"
               "</body></html>";
    return {};
}

void TestRunner::dialogsAreAnswered_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("note");  // on standard error (a pattern)
    const QStringList accept, dismiss{"--dialogs", "dismiss"};
    const QByteArray read = "填表操作_取内容(input,r,0,,,,假)\n";
    QTest::newRow("load alert, accept") << "/load" << accept << read << "第1行：loaded\r\n"
                                        << "page load: answered alert: 加载中";
    QTest::newRow("load alert, dismiss") << "/load" << dismiss << read << "第1行：loaded\r\n"
                                         << "page load: answered alert: 加载中";
    for (const auto& [mode, options] : {std::pair{QString("accept"), accept}, std::pair{QString("dismiss"), dismiss}}) {
        const bool ok = mode == "accept";
        QTest::addRow("click alert, %s", qPrintable(mode))
            << "/click" << options << "填表事件_点击(button,a,0,,,,假)\n" + read
            << "第1行：success\r\n第2行：after alert\r\n" << "line 1: answered alert: 提交成功";
        QTest::addRow("click confirm, %s", qPrintable(mode))
            << "/click" << options << "填表事件_点击(button,c,0,,,,假)\n" + read
            << QString("第1行：success\r\n第2行：%1\r\n").arg(ok ? "true" : "false")
            << "line 1: answered confirm: 确定吗";
        QTest::addRow("click prompt, %s", qPrintable(mode))
            << "/click" << options << "填表事件_点击(button,p,0,,,,假)\n" + read
            << QString("第1行：success\r\n第2行：%1\r\n").arg(ok ? "默认" : "null")
            << "line 1: answered prompt: 名字";
        QTest::addRow("prompt without default, %s", qPrintable(mode))
            << "/click" << options << "填表事件_点击(button,e,0,,,,假)\n" + read
            << QString("第1行：success\r\n第2行：%1\r\n").arg(ok ? "\"\"" : "null")
            << "line 1: answered prompt: 空";
    }
}

// An unattended run answers every dialog itself, notes each on standard
// error, and logs the line as it would without it.
void TestRunner::dialogsAreAnswered()
{
    QFETCH(QString, page);
    QFETCH(QStringList, options);
    QFETCH(QByteArray, script);
    QFETCH(QString, out);
    QFETCH(QString, note);
    PageServer server(dialogPage);
    const QString file = writeScript("dialogs.txt", script);
    const Outcome o = runFill(QStringList{"--run", file, server.origin() + page} + options);
    QCOMPARE(o.out, out);
    QVERIFY2(o.err.contains(QRegularExpression("(^|\n)tolvane-fill: " + note)), qPrintable(o.err));
    QCOMPARE(o.exitCode, 0);
}

void TestRunner::interruptEndsTheRun_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("duringLoad");
    QTest::newRow("SIGTERM in an endless page script") << int(SIGTERM) << false;
    QTest::newRow("SIGINT in an endless page script") << int(SIGINT) << false;
    QTest::newRow("SIGTERM while the page loads") << int(SIGTERM) << true;
    QTest::newRow("SIGINT while the page loads") << int(SIGINT) << true;
}

// A signal ends the run in any state, at once and not after the engine's
// time-outs, with the lines done already on standard output.
void TestRunner::interruptEndsTheRun()
{
    QFETCH(int, signal);
    QFETCH(bool, duringLoad);
    PageServer page([](const QByteArray&) {
        return QByteArray("<!doctype html><html><body><input id='kw' value='v'>"
                          "<button id='spin' onclick='for(;;){}'>spin</button></body></html>");
    });
    QTcpServer silent;  // accepts and never answers
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    const QString script = writeScript("spin.txt",
        "填表操作_取内容(input,kw,0,,,,假)\n填表事件_点击(button,spin,0,,,,假)\n填表操作_取内容(input,kw,0,,,,假)\n");
    const QString report = dir.filePath("spin.jsonl");
    QProcess p;
    p.setProgram(QCoreApplication::applicationDirPath() + "/tolvane-fill");
    p.setArguments({"--run", script,
                    duringLoad ? QStringLiteral("http://127.0.0.1:%1/").arg(silent.serverPort())
                               : page.origin() + "/spin.html",
                    "--report", report});
    p.start();
    QVERIFY(p.waitForStarted(10000));
    QByteArray out;
    if (duringLoad) {
        QVERIFY(waitUntil([&] { return silent.hasPendingConnections(); }, 30000));
    } else {
        // The first line's entry arrives while the second line still runs.
        QVERIFY(waitUntil([&] { out += p.readAllStandardOutput(); return out.contains("\r\n"); }, 30000));
        QCOMPARE(QString::fromUtf8(out), QStringLiteral("第1行：v\r\n"));
        QTest::qWait(300);  // the click is in the page's endless loop now
    }
    QElapsedTimer sinceSignal;
    sinceSignal.start();
    ::kill(pid_t(p.processId()), signal);
    QVERIFY(waitUntil([&] { return p.state() == QProcess::NotRunning; }, 8000));
    // Well under the engine's 10-second wait for an answer and its 60-second load time-out.
    QVERIFY2(sinceSignal.elapsed() < 8000, qPrintable(QString::number(sinceSignal.elapsed())));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 1);
    QVERIFY(QString::fromUtf8(p.readAllStandardError()).contains("tolvane-fill: interrupted: 0 of 1 rows done"));
    QVERIFY(QFileInfo::exists(report));
}

void TestRunner::strictFailsWhatThePageNeverAnswered_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("strict") << QStringList{"--strict"} << 1;
    QTest::newRow("not strict") << QStringList{} << 0;
}

void TestRunner::strictFailsWhatThePageNeverAnswered()
{
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    const QString script = writeScript("endless.txt", "填表_执行自定义JS代码(for(;;){},假)\n");
    const QString report = dir.filePath("endless.jsonl");
    const Outcome o = runFill(QStringList{"--run", script, pageUrl, "--report", report} + options);
    // The log stays as it was: the page gave no text.
    QCOMPARE(o.out, QStringLiteral("第1行：\r\n"));
    QCOMPARE(o.exitCode, exitCode);
    QFile f(report);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QJsonObject line = QJsonDocument::fromJson(f.readLine()).object();
    QCOMPARE(line.value("unanswered").toBool(), true);
    QCOMPARE(line.value("status").toString(), exitCode ? QString("failed") : QString("passed"));
}

void TestRunner::startPageWithAnErrorStatus_data()
{
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<bool>("allow");
    QTest::newRow("404") << QByteArray("404 Not Found") << false;
    QTest::newRow("500") << QByteArray("500 Internal Server Error") << false;
    QTest::newRow("404, allowed") << QByteArray("404 Not Found") << true;
    QTest::newRow("500, allowed") << QByteArray("500 Internal Server Error") << true;
}

void TestRunner::startPageWithAnErrorStatus()
{
    QFETCH(QByteArray, status);
    QFETCH(bool, allow);
    webview_test::HttpServer server([status](const QByteArray&) {
        return webview_test::httpAnswer("<!doctype html><title>app</title><input id='kw' value='shell'>", {}, status);
    });
    const QString script = writeScript("status.txt", "填表操作_取内容(input,kw,0,,,,假)\n");
    QStringList args{"--run", script, server.origin() + "/route"};
    if (allow)
        args << "--allow-http-errors";
    const Outcome o = runFill(args);
    if (allow) {
        QCOMPARE(o.out, QStringLiteral("第1行：shell\r\n"));
        QCOMPARE(o.exitCode, 0);
        return;
    }
    QCOMPARE(o.exitCode, 2);
    QVERIFY(o.out.isEmpty());
    const QString code = QString::fromLatin1(status.left(3));
    QVERIFY2(o.err.startsWith("tolvane-fill: the page failed to load") && o.err.contains("HTTP " + code),
             qPrintable(o.err));
}

// A relative upload path is taken from the script's folder, not the working
// folder.
void TestRunner::uploadTakesPathsFromTheScriptFolder()
{
    PageServer page([](const QByteArray&) {
        return QByteArray("<!doctype html><html><body><input type='file' id='f'>"
                          "<script>f.onchange=function(){f.dataset.got=f.files[0].name+':'+f.files[0].size;};"
                          "</script></body></html>");
    });
    QTemporaryDir scripts;
    QVERIFY(scripts.isValid());
    fill_test::writeTestFile(scripts, "附件.txt", "12345");
    const QString script = fill_test::writeTestFile(scripts, "upload.txt",
        "填表操作_上传文件(input,f,附件.txt,0,,,,假)\n填表操作_取自定义属性(input,f,data-got,0,,,,假)\n");
    const Outcome o = runFill({"--run", script, page.origin() + "/upload.html"});
    QCOMPARE(o.out, QStringLiteral("第1行：success\r\n第2行：附件.txt:5\r\n"));
    QCOMPARE(o.exitCode, 0);
}

QTEST_MAIN(TestRunner)
#include "test_runner.moc"
