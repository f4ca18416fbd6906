// Script lines run through the real engine against a local page served from
// 127.0.0.1: each command's operation, argument conversions and the logged
// results, including the four commands that call waitForElement,
// listOptions, listElements and buildLocatorScript.
#include "pagetest.h"

#include "fillscript/catalogue.h"
#include "fillscript/executor.h"
#include "fillscript/opentool.h"
#include "fillscript/scriptrun.h"
#include "fillscript/scripttoolwindow.h"
#include "runtime/textcodec.h"
#include "webview/webview.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>
#include <QtTest>

using namespace fillscript;
using fill_test::PageServer;

class TestExecutor : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void commands_data();
    void commands();
    void integerArguments();
    void onlyZhenIsTrue();
    void pageReads();
    void toolWindowRunsOnTheView();
    void closingTheToolDuringARun();
    void navigateLoadsAnotherPage();

private:
    QString run(const QString& script);
    static QString logOf(const QStringList& results);

    std::unique_ptr<PageServer> server;
    std::unique_ptr<QWidget> host;
    std::unique_ptr<webview::WebView> view;
    std::unique_ptr<WebViewExecutor> exec;
};

void TestExecutor::initTestCase()
{
    server = std::make_unique<PageServer>(fill_test::servePageFiles);
    host = std::make_unique<QWidget>();
    host->resize(800, 600);
    host->show();
    view = std::make_unique<webview::WebView>();
    view->create(host.get(), std::string(), rt::qstringToGb(server->origin() + "/form.html"), {});
    QVERIFY(fill_test::waitUntil([&] { return view->isLoadingCompleted(); }));
    QVERIFY(view->isLoadingSucceeded());
    exec = std::make_unique<WebViewExecutor>(*view);
}

void TestExecutor::cleanupTestCase()
{
    exec.reset();
    view.reset();
    host.reset();
}

QString TestExecutor::run(const QString& script)
{
    std::string log;
    runScriptToLog(scriptLines(rt::qstringToGb(script)), *exec,
                  [&](const std::string& entry) { log += entry; });
    return rt::gbToQString(log);
}

QString TestExecutor::logOf(const QStringList& results)
{
    QString log;
    for (int i = 0; i < results.size(); ++i)
        log += QStringLiteral("第%1行：").arg(i + 1) + results[i] + "\r\n";
    return log;
}

void TestExecutor::commands_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("results");
    const auto row = [](const char* name, QStringList lines, QStringList results) {
        QTest::newRow(name) << lines.join("\r\n") << results;
    };
    row("read a value", {"填表操作_取内容(input,name,0,,,,假)"}, {"张三"});
    row("write then read",
        {"填表操作_写内容(input,email,a@b.cn,0,,,,假)", "填表操作_取内容(input,email,0,,,,假)"},
        {"success", "a@b.cn"});
    row("no such element", {"填表操作_取内容(input,nothing,0,,,,假)"}, {"undefined"});
    row("skip count", {"填表操作_取属性(input,dup,value,1,,,,假)"}, {"second"});
    row("key as index", {"填表操作_取内容(input,3,0,,,,假)"}, {"second"});
    row("attribute locator", {"填表操作_取内容(input,x1,0,,data-role,,假)"}, {"by attribute"});
    row("member step", {"填表操作_取属性(option,上海,value,0,,,parentNode,假)"}, {"bj"});
    row("checkbox", {"填表操作_置选中状态(input,agree,真,0,,,,假)", "填表操作_取选中状态(input,agree,0,,,,假)",
                     "填表操作_置选中状态(input,agree,假,0,,,,假)", "填表操作_取选中状态(input,agree,0,,,,假)"},
        {"success", "true", "success", "false"});
    row("select by index and read the option",
        {"填表操作_置组合框索引(select,city,2,0,,,,假)", "填表操作_取内容(select,city,0,,,,假)",
         "填表操作_取组合框索引信息(select,city, , , ,0,,,,假)"},
        {"success", "gz", "success"});
    row("select by value and by text",
        {"填表操作_置组合框内容(select,city,sh,0,,,,假)", "填表操作_取内容(select,city,0,,,,假)",
         "填表操作_置组合框按内容选中(select,city,北京,0,,,,假)", "填表操作_取内容(select,city,0,,,,假)",
         "填表操作_置组合框按内容选中(select,city,深圳,0,,,,假)"},
        {"success", "sh", "success", "bj", "undefined"});
    row("list options",
        {"填表操作_枚举组合框内容(select,city, , ,0,,,,假)", "填表操作_枚举组合框内容(select,none, , ,0,,,,假)"},
        {"北京|bj,上海|sh,广州|gz", "undefined"});
    row("element exists",
        {"填表操作_判断元素是否存在(input,name,1,0,,,,假)", "填表操作_判断元素是否存在(input,nothing,1,0,,,,假)",
         "填表操作_判断元素是否存在(input,name,0,0,,,,假)"},
        {"true", "false", "false"});
    row("count elements",
        {"填表_遍历元素(input,,假,假)", "填表_遍历元素(input,dup,假,假)"}, {"6", "2"});
    row("locator script", {"内部_构造对象代码(input,kw,2,,, )"},
        {"var dom = finds(\"input==kw\",2,\"\");"});
    row("inner html", {"填表操作_写源码(div,out,<b>粗</b>,0,,,,假)", "填表操作_取源码(div,out,0,,,,假)"},
        {"success", "<b>粗</b>"});
    row("property", {"填表操作_写属性(input,name,title,标题,0,,,,假)", "填表操作_取属性(input,name,title,0,,,,假)"},
        {"success", "标题"});
    row("custom attribute",
        {"填表操作_写自定义属性(div,target,data-k,v1,0,,,,假)", "填表操作_取自定义属性(div,target,data-k,0,,,,假)"},
        {"success", "v1"});
    row("statement on the element", {"填表操作_执行自定义代码_返回值(input,name,value.length,0,,,,假)"}, {"2"});
    row("click", {"填表事件_点击(button,go,0,,,,假)", "填表操作_取源码(div,out,0,,,,假)"}, {"success", "clicked"});
    row("change event",
        {"填表事件_改变内容(input,email,0,,,,假)", "填表_执行自定义JS代码(text = changes;,假)"}, {"success", "1"});
    row("focus via method", {"填表事件_方法(input,email,focus,0,,,,假)", "填表_取页面属性(activeElement.id)"},
        {"success", "email"});
    row("plain event", {"填表事件_普通事件(div,target,custom1,0,,,,假)", "填表操作_取自定义属性(div,target,data-seen,0,,,,假)"},
        {"success", "custom1"});
    row("mouse event with client point",
        {"填表事件_鼠标事件(div,target,mousedown,真,真,1,2,30,40,0,,,,假)",
         "填表操作_取自定义属性(div,target,data-at,0,,,,假)"},
        {"success", "30,40"});
    row("drag", {"填表事件_滑动(div,target,5,6,70,80,0,,,,假)", "填表操作_取自定义属性(div,target,data-at,0,,,,假)"},
        {"success", "5,6"});
    row("drag without element", {"填表事件_滑动(div,none,5,6,70,80,0,,,,假)"}, {"undefined"});
    row("element position", {"填表操作_取元素绝对位置(div,right,0,,,,假)"}, {"11,0"});
    row("frame script", {"填表_执行框架内JS代码(fr,text = document.getElementById('deep').value)"}, {"框架内"});
    row("page title", {"填表_取页面属性(title)"}, {"填表测试"});
    row("script text, quotes removed", {"填表_执行自定义JS代码(text = 1+2;,假)", "填表_执行自定义JS代码(text = typeof \"x\";,假)"},
        {"3", "undefined"});
    row("scroll with blanks scrolls to 0", {"填表_控制滚动条( , )", "填表_取滚动条位置( , )"}, {"success", "success"});
    row("alerts blocked", {"填表_屏蔽信息框()", "填表_执行自定义JS代码(alert(1); text = 'ok';,假)"}, {"success", "ok"});
    row("referrer", {"填表_取网页来路()"}, {""});
    row("move to element",
        {"填表操作_移动到目标元素(button,go,0,假,0,,,,假)", "填表操作_移动到目标元素(button,none,0,假,0,,,,假)"},
        {"success", "error"});
}

void TestExecutor::commands()
{
    QFETCH(QString, script);
    QFETCH(QStringList, results);
    QCOMPARE(run(script), logOf(results));
}

// Truncation toward zero and full-width digits, seen in the page through the
// index of the selected option.
void TestExecutor::integerArguments()
{
    const auto selectAndRead = [this](const QString& index) {
        return run("填表操作_置组合框索引(select,city," + index + ",0,,,,假)\r\n"
                   "填表操作_取内容(select,city,0,,,,假)");
    };
    QCOMPARE(selectAndRead("1.9"), logOf({"success", "sh"}));
    QCOMPARE(selectAndRead("２"), logOf({"success", "gz"}));
    QCOMPARE(selectAndRead("　０．９９"), logOf({"success", "bj"}));
    QCOMPARE(selectAndRead("1e0"), logOf({"success", "sh"}));
    // No number reads as 0.
    QCOMPARE(selectAndRead("二"), logOf({"success", "bj"}));
}

void TestExecutor::onlyZhenIsTrue()
{
    for (const char* flag : {"true", "TRUE", "1", "是", " "}) {
        QCOMPARE(run(QStringLiteral("填表操作_置选中状态(input,agree,真,0,,,,假)\r\n"
                                    "填表操作_置选中状态(input,agree,%1,0,,,,假)\r\n"
                                    "填表操作_取选中状态(input,agree,0,,,,假)").arg(flag)),
                 logOf({"success", "success", "false"}));
    }
}

void TestExecutor::pageReads()
{
    const QString url = server->origin() + "/form.html";
    QCOMPARE(run("填表_取网址( , , , , , )"), logOf({url}));
    QCOMPARE(run("填表_取网址(fr, , , , , )"), logOf({server->origin() + "/inner.html"}));
    QVERIFY(run("填表_取页面文本()").contains("提交"));
    QVERIFY(run("填表_取页面源码()").contains("<input id=\"name\""));
    QVERIFY(run("填表操作_取canvas图片(canvas,cv,0,,,,假)").startsWith("第1行：data:image/png;base64,"));
    QCOMPARE(run("填表操作_取图片地址(img,pic,0,,,,假)"), logOf({server->origin() + "/pic.png"}));
}

// The window's run button on a tool opened for the view: the same page, the
// same results, in the log.
void TestExecutor::toolWindowRunsOnTheView()
{
    ScriptToolWindow* w = openScriptTool(*view);
    QVERIFY(w);
    QVERIFY(toolView());
    w->scriptEditor()->setText(QStringLiteral("填表操作_取内容(input,name,0,,,,假)\r\nx"));
    w->runButton()->click();
    QCOMPARE(rt::gbToQString(w->logText()), QStringLiteral("第1行：张三\r\n第2行：错误，不存在的命令\r\n"));
    // Opening again brings back the same window, keeping its log.
    QCOMPARE(openScriptTool(*view), w);
    QVERIFY(!w->logText().empty());
    // A hidden window comes back on opening.
    w->hide();
    openScriptTool(*view);
    QVERIFY(w->isVisible());
    w->close();
    QVERIFY(toolView());  // the copy outlives the window
}

// The window closed while a line waits: the run stops after that line and
// touches nothing of the window, which goes once the run is over.
void TestExecutor::closingTheToolDuringARun()
{
    QPointer<ScriptToolWindow> w = openScriptTool(*view);
    w->scriptEditor()->setText(QStringLiteral("填表操作_判断元素是否存在(input,missing,4,0,,,,假)\r\n"
                                              "填表操作_写内容(input,name,“changed”,0,,,,假)"));
    QTimer::singleShot(300, w, [w] { w->close(); });
    w->runButton()->click();  // returns when the run is over
    QTRY_VERIFY(w.isNull());
    QCOMPARE(run("填表操作_取内容(input,name,0,,,,假)"), logOf({"张三"}));
    // A fresh window runs again.
    w = openScriptTool(*view);
    w->scriptEditor()->setText(QStringLiteral("填表操作_取内容(input,name,0,,,,假)"));
    w->runButton()->click();
    QCOMPARE(rt::gbToQString(w->logText()), QStringLiteral("第1行：张三\r\n"));
    w->close();
}

void TestExecutor::navigateLoadsAnotherPage()
{
    QCOMPARE(run("填表_跳转地址(" + server->origin() + "/inner.html)"), logOf({"success"}));
    QVERIFY(fill_test::waitUntil([&] {
        return run("填表操作_取内容(input,deep,0,,,,假)") == logOf({"框架内"});
    }));
}

QTEST_MAIN(TestExecutor)
#include "test_executor.moc"
