// Recording and picking in a real page served from 127.0.0.1, through the
// view's own input path (posted mouse messages, key events to the host):
// a recording replayed on a fresh load, whose element ids are new, leaves
// the same form state; the picker's arguments find the picked element; and
// the lines a recorded action becomes.
#include "pagetest.h"

#include "fillscript/catalogue.h"
#include "fillscript/executor.h"
#include "fillscript/linecheck.h"
#include "fillscript/opentool.h"
#include "fillscript/recorder.h"
#include "fillscript/recordlines.h"
#include "fillscript/scriptrun.h"
#include "fillscript/scripttoolwindow.h"
#include "runtime/textcodec.h"
#include "webview/engine/qtfeatures.h"
#include "webview/webview.h"

#include <QAbstractButton>
#include <QHostAddress>
#include <QApplication>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRandomGenerator>
#include <QtTest>

using namespace fillscript;
using fill_test::PageServer;

namespace {

// Ids as pages generate them: new digits on every load.
QByteArray freshId()
{
    return "f" + QByteArray::number(QRandomGenerator::global()->bounded(100000, 999999));
}

QByteArray recordPage(const QByteArray& path)
{
    if (path == "/rec.html")
        return "<!DOCTYPE html><html><head><meta charset=utf-8><title>rec</title><style>"
               "body{margin:0;font:14px sans-serif} input,select,textarea,button{display:block;"
               "margin:4px;height:24px;width:200px} input[type=checkbox],input[type=radio]{width:20px}"
               "iframe{width:300px;height:60px;border:0}</style></head><body>"
               "<form onsubmit='return false'>"
               "<input id=" + freshId() + " name=user>"
               "<input id=" + freshId() + " data-testid=email-field>"
               "<textarea id=" + freshId() + "></textarea>"
               "<input class=comma-attr data-a,b=v1>"
               "<input id=city-box>"
               "<select id=" + freshId() + " name=city><option>北京</option><option>上海</option>"
               "<option>广州</option></select>"
               "<input type=checkbox id=" + freshId() + " name=agree>"
               "<input type=radio name=size value=s id=" + freshId() + ">"
               "<input type=radio name=size value=m id=" + freshId() + ">"
               "<button type=button id=" + freshId() +
               " onclick=\"document.getElementById('out').textContent='已提交'\">提交</button>"
               "<div id=out></div></form>"
               "<iframe id=" + freshId() + " name=inner src=/inner.html></iframe>"
               // A frame its page writes (and rewrites) by script, and one
               // from srcdoc.
               "<iframe name=written></iframe>"
               "<iframe name=sd srcdoc='<input name=sdin style=\"display:block;height:24px\">'></iframe>"
               "<script>window.rewrite = function () { var d = frames[1].document; d.open();"
               " d.write('<input name=win style=\"display:block;height:24px\">'); d.close(); };"
               " rewrite();</script></body></html>";
    if (path == "/inner.html")
        return "<!DOCTYPE html><html><head><meta charset=utf-8></head><body style='margin:0'>"
               "<input id=" + freshId() + " name=deep style='display:block;height:24px'>"
               "<input type=checkbox id=" + freshId() + " class=remember></body></html>";
    return {};
}

// Every field's state, the frame's included, and the result text.
const char* kFormState =
    "var f = function (d) { return Array.prototype.map.call(d.querySelectorAll('input,select,textarea'),"
    " function (e) { return /checkbox|radio/.test(e.type) ? e.checked : e.value; }); };"
    "text = JSON.stringify([f(document), f(frames[0].document), document.getElementById('out').textContent]);";

// Frames of other origins, nested: the page on 127.0.0.1 frames one of
// 127.0.0.2 (name "outer"), which frames a form of 127.0.0.3 ("leaf"). Fixed
// places, so the test knows where the form stands in the view.
QByteArray crossPage(const QByteArray& path, const QString& second, const QString& third)
{
    const QByteArray frameStyle = "position:absolute;left:0;top:40px;width:400px;height:300px;border:0";
    if (path == "/cross.html")
        return "<!DOCTYPE html><html><body style='margin:0'><input name=top style='width:200px;height:24px'>"
               "<iframe name=outer style='" + frameStyle + "' src='" + second.toUtf8() + "/mid.html'></iframe>"
               "</body></html>";
    if (path == "/mid.html")
        return "<!DOCTYPE html><html><body style='margin:0'><input name=mid style='width:200px;height:24px'>"
               "<iframe name=leaf style='" + frameStyle + "' src='" + third.toUtf8() + "/leaf.html'></iframe>"
               "</body></html>";
    if (path == "/leaf.html")
        return "<!DOCTYPE html><html><head><meta charset=utf-8></head><body style='margin:0'>"
               "<input id=" + freshId() + " name=far style='position:absolute;left:0;top:0;width:200px;height:24px'>"
               "<button type=button id=" + freshId() + " style='position:absolute;left:0;top:40px;width:100px;"
               "height:24px' onclick=\"document.getElementById('out').textContent='按了'\">go</button>"
               "<div id=out style='position:absolute;top:80px'></div></body></html>";
    return {};
}

// Where the fields of crossPage's innermost form stand in the view.
const QPoint kFarField(100, 92);
const QPoint kGoButton(50, 132);

}  // namespace

class TestRecorder : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void replayGivesTheSameForm();
    void addressChangedByHand();
    void openedToolRecords();
    void crossOriginFrames();
    void pickerArgumentsFindTheElement_data();
    void pickerArgumentsFindTheElement();
    void actionLines_data();
    void actionLines();

private:
    bool load();
    // frame: the index of the iframe holding the element, -1 for the page.
    QPoint centreOf(const QString& selector, int frame);
    void clickAt(const QString& selector, bool inFrame = false);
    void pressKeys(const QString& text);
    void key(Qt::Key k);
    QString editorText() const { return w->scriptEditor()->text(); }

    std::unique_ptr<PageServer> server;
    std::unique_ptr<QWidget> host;
    std::unique_ptr<webview::WebView> view;
    std::unique_ptr<ScriptToolWindow> w;
};

void TestRecorder::initTestCase()
{
    server = std::make_unique<PageServer>(recordPage);
    host = std::make_unique<QWidget>();
    host->resize(640, 560);
    host->move(0, 0);
    host->show();
    QVERIFY(QTest::qWaitForWindowExposed(host.get()));
    view = std::make_unique<webview::WebView>();
    view->create(host.get(), std::string(), rt::qstringToGb(server->origin() + "/rec.html"), {});
    QVERIFY(fill_test::waitUntil([&] { return view->isLoadingCompleted(); }));
}

void TestRecorder::cleanupTestCase()
{
    w.reset();
    view.reset();
    host.reset();
}

void TestRecorder::init()
{
    QVERIFY(load());
    w = std::make_unique<ScriptToolWindow>();
    w->setExecutor(std::make_shared<WebViewExecutor>(*view));
    w->setRecorder(std::make_shared<WebViewRecorder>(*view));
    w->move(660, 0);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    host->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(host.get()));
}

void TestRecorder::cleanup()
{
    w.reset();
}

// A fresh load of the page, with new ids, its frame loaded too.
bool TestRecorder::load()
{
    // The old document answers until the new one replaces it.
    view->runScriptText("window.stale_page = 1; text = '';");
    view->loadUrl(rt::qstringToGb(server->origin() + "/rec.html"));
    return fill_test::waitUntil([&] {
        return view->isLoadingCompleted() &&
               view->runScriptText("text = !window.stale_page && frames.length &&"
                                   " frames[0].document.readyState == 'complete' &&"
                                   " frames[0].document.querySelector('input') ? 'yes' : 'no';") == "yes";
    });
}

QPoint TestRecorder::centreOf(const QString& selector, int frame)
{
    const QString doc = frame >= 0 ? QStringLiteral("frames[%1].document").arg(frame) : QStringLiteral("document");
    const QString script =
        QStringLiteral("var r = %1.querySelector(\"%2\").getBoundingClientRect();"
                       "var o = %3;"
                       "text = Math.round(r.left + o.left + r.width / 2) + ',' + Math.round(r.top + o.top + r.height / 2);")
            .arg(doc, selector,
                 frame >= 0 ? QStringLiteral("document.querySelectorAll('iframe')[%1].getBoundingClientRect()").arg(frame)
                            : QStringLiteral("{left: 0, top: 0}"));
    const QStringList xy = rt::gbToQString(view->runScriptText(rt::qstringToGb(script))).split(',');
    return xy.size() == 2 ? QPoint(xy[0].toInt(), xy[1].toInt()) : QPoint();
}

// Clicks the element and waits until it has the focus, as a click gives it.
void TestRecorder::clickAt(const QString& selector, bool inFrame)
{
    const QPoint p = centreOf(selector, inFrame ? 0 : -1);
    QVERIFY2(!p.isNull(), qPrintable(selector));
    QCOMPARE(view->postMouseMessages(host.get(), p.x(), p.y(), 0, 0), 1);
    const QString doc = inFrame ? QStringLiteral("frames[0].document") : QStringLiteral("document");
    const std::string focused = rt::qstringToGb(
        QStringLiteral("text = %1.activeElement === %1.querySelector(\"%2\") ? 'yes' : 'no';").arg(doc, selector));
    QVERIFY2(fill_test::waitUntil([&] { return view->runScriptText(focused) == "yes"; }), qPrintable(selector));
}

// Key events to the widget that takes the page's keyboard input.
void TestRecorder::pressKeys(const QString& text)
{
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : host.get();
    QTest::keyClicks(target, text);
    QTest::qWait(50);
}

void TestRecorder::key(Qt::Key k)
{
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : host.get();
    QTest::keyClick(target, k);
    QTest::qWait(100);
}

void TestRecorder::replayGivesTheSameForm()
{
    const QString firstPageIds = rt::gbToQString(view->runScriptText(
        "text = Array.prototype.map.call(document.querySelectorAll('[id]'), function (e) { return e.id; }).join(' ');"));
    w->recordButton()->click();
    QVERIFY(w->recordButton()->isChecked());
    QTest::qWait(300);

    clickAt("[name=user]");
    pressKeys("alice");
    clickAt("[data-testid=email-field]");
    pressKeys("a@b.cn");
    clickAt("textarea");
    pressKeys("hello world");
    clickAt("#city-box");
    pressKeys("x{{{{}}1");
    key(Qt::Key_Tab);  // to the list, which Down changes while closed
    key(Qt::Key_Down);
    key(Qt::Key_Down);
    QVERIFY(fill_test::waitUntil(
        [&] { return view->runScriptText("text = document.querySelector('select').selectedIndex;") == "2"; }));
    clickAt("[name=agree]");
    clickAt("[value=m]");
    clickAt("[name=deep]", true);
    pressKeys("deep");
    clickAt(".remember", true);
    clickAt("button");
    QVERIFY(fill_test::waitUntil([&] { return editorText().contains(QStringLiteral("填表事件_点击(button")); }));
    w->recordButton()->click();
    QVERIFY(!w->recordButton()->isChecked());
    QTest::qWait(300);

    const std::string recordedState = view->runScriptText(kFormState);
    const QString script = editorText();
    QVERIFY2(script.contains(QStringLiteral("填表操作_写内容(input,user,alice,0,,,,假)")), qPrintable(script));
    QVERIFY2(script.contains(QStringLiteral("填表操作_置组合框按内容选中(select,city,广州,0,,,,假)")), qPrintable(script));
    QVERIFY2(script.contains(QStringLiteral("填表操作_写内容(input,deep,deep,0,inner,,,假)")), qPrintable(script));
    QVERIFY2(script.contains(QStringLiteral("填表事件_点击(button,提交,0,,,,假)")), qPrintable(script));
    QVERIFY2(script.contains(QStringLiteral("填表操作_写内容(input,city-box,x{{{{}}{{{{}}}}1,0,,,,假)")), qPrintable(script));
    for (const QString& id : firstPageIds.split(' ', Qt::SkipEmptyParts))
        if (id != QLatin1String("city-box") && id != QLatin1String("out"))
            QVERIFY2(!script.contains(id), qPrintable(id + " in\n" + script));

    QVERIFY(load());
    QVERIFY(view->runScriptText(kFormState) != recordedState);
    w->runWholeScript();
    const QString log = w->codeLog()->toPlainText();
    QVERIFY2(!log.contains(QStringLiteral("undefined")) && !log.contains(QStringLiteral("error")) &&
                 !log.contains(QStringLiteral("错误")),
             qPrintable(script + "\n" + log));
    QCOMPARE(rt::gbToQString(view->runScriptText(kFormState)), rt::gbToQString(recordedState));
}

void TestRecorder::addressChangedByHand()
{
    w->recordButton()->click();
    QTest::qWait(300);
    const QString url = server->origin() + "/inner.html";
    view->loadUrl(rt::qstringToGb(url));
    QVERIFY(fill_test::waitUntil([&] { return !editorText().isEmpty(); }));
    QCOMPARE(editorText(), QStringLiteral("填表_跳转地址(%1)").arg(url));
    // The new document is watched too.
    QTest::qWait(1000);
    clickAt("[name=deep]");
    pressKeys("new page");
    clickAt(".remember");
    QVERIFY(fill_test::waitUntil([&] { return editorText().count('\n') == 3; }));
    w->recordButton()->click();
    QCOMPARE(editorText().section('\n', 1).split('\n'),
             QStringList({QStringLiteral("填表操作_写内容(input,deep,new page,0,,,,假)\r"),
                          QStringLiteral("填表事件_改变内容(input,deep,0,,,,假)\r"),
                          QStringLiteral("填表操作_置选中状态(input,remember,真,0,,,,假)")}));
}

// The tool as the web view opens it records in that view's page.
void TestRecorder::openedToolRecords()
{
    QPointer<ScriptToolWindow> tool = openScriptTool(*view);
    QVERIFY(tool->recordButton()->isEnabled());
    QVERIFY(tool->pickButton()->isEnabled());
    tool->recordButton()->click();
    QTest::qWait(300);
    host->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(host.get()));
    clickAt("[name=agree]");
    QVERIFY(fill_test::waitUntil([&] { return !tool->scriptEditor()->text().isEmpty(); }));
    QCOMPARE(tool->scriptEditor()->text(), QStringLiteral("填表操作_置选中状态(input,agree,真,0,,,,假)"));
    tool->close();
    QTRY_VERIFY(tool.isNull());
}

// Recording and picking in a frame of a third origin inside one of a second:
// the lines carry the frame path through both, and replay on a fresh load.
void TestRecorder::crossOriginFrames()
{
    if (!engine::kFrameScripts)
        QSKIP("this Qt WebEngine runs scripts in the main frame only: recording and the picker do not "
              "reach frames of another origin");
    QString second;
    QString third;
    const auto pages = [&](const QByteArray& path) { return crossPage(path, second, third); };
    PageServer one(pages);
    PageServer two(pages, QHostAddress(QStringLiteral("127.0.0.2")));
    PageServer three(pages, QHostAddress(QStringLiteral("127.0.0.3")));
    second = two.origin();
    third = three.origin();
    const auto loadCross = [&] {
        view->runScriptText("window.stale_page = 1; text = '';");
        view->loadUrl(rt::qstringToGb(one.origin() + "/cross.html"));
        return fill_test::waitUntil([&] {
            return view->isLoadingCompleted() && view->runScriptText("text = window.stale_page ? 'old' : 'new';") == "new" &&
                   view->runFrameScript("outer|leaf", "text = document.readyState + !!document.getElementById('out')") ==
                       "completetrue";
        });
    };
    const auto leaf = [&](const char* code) { return rt::gbToQString(view->runFrameScript("outer|leaf", code)); };
    const auto clickAtPoint = [&](QPoint p) {
        QCOMPARE(view->postMouseMessages(host.get(), p.x(), p.y(), 0, 0), 1);
    };

    QVERIFY(loadCross());
    w->recordButton()->click();
    QTest::qWait(500);  // the listeners stand in every frame
    clickAtPoint(kFarField);
    QVERIFY(fill_test::waitUntil([&] { return leaf("text = document.activeElement.name") == "far"; }));
    pressKeys("hello");
    clickAtPoint(kGoButton);
    QVERIFY(fill_test::waitUntil([&] { return leaf("text = document.getElementById('out').textContent") == "按了"; }));
    QVERIFY(fill_test::waitUntil([&] { return editorText().count('\n') == 2; }));
    w->recordButton()->click();
    QCOMPARE(editorText().split('\n'),
             QStringList({QStringLiteral("填表操作_写内容(input,far,hello,0,outer|leaf,,,假)\r"),
                          QStringLiteral("填表事件_改变内容(input,far,0,outer|leaf,,,假)\r"),
                          QStringLiteral("填表事件_点击(button,go,0,outer|leaf,,,假)")}));

    QVERIFY(loadCross());
    QCOMPARE(leaf("text = document.getElementsByName('far')[0].value + '/' + document.getElementById('out').textContent"),
             QStringLiteral("/"));
    w->runWholeScript();
    QCOMPARE(leaf("text = document.getElementsByName('far')[0].value + '/' + document.getElementById('out').textContent"),
             QStringLiteral("hello/按了"));

    // The picker: the element is framed where it stands, and the click picks
    // it with its frame path instead of reaching it.
    QVERIFY(loadCross());
    leaf("document.getElementsByName('far')[0].picked_mark = 'mark-41'; text = ''");
    w->scriptEditor()->setText(QStringLiteral("填表操作_执行自定义代码_返回值(,,picked_mark,0,,,,假)"));
    w->scriptEditor()->setCursorPosition(0, 5);
    w->pickButton()->click();
    QTest::qWait(500);
    for (int k = 0; k <= 5; ++k)
        view->postMouseMessages(host.get(), 300 - (300 - kFarField.x()) * k / 5, kFarField.y(), 0, 3);
    const char* framed = "text = Array.prototype.filter.call(document.querySelectorAll('div'), function (d)"
                         " { return d.style.zIndex == '2147483647'; }).length";
    QVERIFY(fill_test::waitUntil([&] { return leaf(framed) == "1"; }));
    view->postMouseMessages(host.get(), kFarField.x(), kFarField.y(), 0, 4);
    QVERIFY(fill_test::waitUntil([&] { return !w->pickButton()->isChecked(); }));
    QCOMPARE(editorText(), QStringLiteral("填表操作_执行自定义代码_返回值(input,far,picked_mark,0,outer|leaf,,,假)"));
    QCOMPARE(leaf(framed), QStringLiteral("0"));
    // Neither frame around it framed anything.
    QCOMPARE(view->runScriptText(std::string(framed) + ";"), std::string("0"));
    w->codeLog()->clear();
    w->runCurrentLine();
    QCOMPARE(w->codeLog()->toPlainText(), QStringLiteral("第1行：mark-41\n"));
}

void TestRecorder::pickerArgumentsFindTheElement_data()
{
    QTest::addColumn<QString>("selector");
    QTest::addColumn<int>("frame");
    QTest::addColumn<bool>("rewrite");  // the page rewrites its frame once picking is on
    QTest::addColumn<QString>("locator");  // the arguments the pick writes
    QTest::newRow("stable id") << "#city-box" << -1 << false << "input,city-box,0,,";
    QTest::newRow("name") << "[name=user]" << -1 << false << "input,user,0,,";
    QTest::newRow("another attribute") << "[data-testid=email-field]" << -1 << false
                                       << "input,email-field,0,,data-testid";
    QTest::newRow("text") << "button" << -1 << false << "button,提交,0,,";
    QTest::newRow("only its place") << "textarea" << -1 << false << "textarea,0,0,,";
    QTest::newRow("radio of a group") << "[value=m]" << -1 << false << "input,m,0,,";
    QTest::newRow("in a frame") << "[name=deep]" << 0 << false << "input,deep,0,inner,";
    QTest::newRow("by class in a frame") << ".remember" << 0 << false << "input,remember,0,inner,";
    QTest::newRow("in a frame written by script") << "[name=win]" << 1 << false << "input,win,0,written,";
    QTest::newRow("in a frame rewritten while picking") << "[name=win]" << 1 << true << "input,win,0,written,";
    QTest::newRow("in a srcdoc frame") << "[name=sdin]" << 2 << false << "input,sdin,0,sd,";
    QTest::newRow("attribute name with a comma") << ".comma-attr" << -1 << false << "input,comma-attr,0,,";
}

void TestRecorder::pickerArgumentsFindTheElement()
{
    QFETCH(QString, selector);
    QFETCH(int, frame);
    QFETCH(bool, rewrite);
    QFETCH(QString, locator);
    w->scriptEditor()->setText(QStringLiteral("填表操作_执行自定义代码_返回值(,,picked_mark,0,,,,假)"));
    w->scriptEditor()->setCursorPosition(0, 5);
    w->pickButton()->click();
    QVERIFY(w->pickButton()->isChecked());
    QTest::qWait(300);
    if (rewrite) {
        view->runScriptText("rewrite(); text = '';");
        QTest::qWait(300);
    }
    // Each element carries a number the recorder cannot see (the page's own
    // world); reading it back through the picked locator proves the element.
    const QString doc = frame >= 0 ? QStringLiteral("frames[%1].document").arg(frame) : QStringLiteral("document");
    view->runScriptText(rt::qstringToGb(
        QStringLiteral("%1.querySelector(\"%2\").picked_mark = 'mark-41'; text = '';").arg(doc, selector)));

    // The pointer comes from the page's own element before reaching the
    // element; pressed, the element is framed while the pointer is on it.
    const QPoint p = centreOf(selector, frame);
    const QPoint from = centreOf("#city-box", -1);
    for (int k = 0; k < 5; ++k)
        view->postMouseMessages(host.get(), from.x() + (p.x() - from.x()) * k / 5,
                                from.y() + (p.y() - from.y()) * k / 5, 0, 3);
    view->postMouseMessages(host.get(), p.x(), p.y(), 0, 3);
    const std::string framed =
        rt::qstringToGb(QStringLiteral("var b = Array.prototype.filter.call(%1.querySelectorAll('div'), function (d)"
                                       " { return d.style.zIndex == '2147483647'; }); text = b.length;").arg(doc));
    QVERIFY(fill_test::waitUntil([&] { return view->runScriptText(framed) == "1"; }));
    view->postMouseMessages(host.get(), p.x(), p.y(), 0, 4);
    QVERIFY(fill_test::waitUntil([&] { return !w->pickButton()->isChecked(); }));
    QCOMPARE(editorText(), QStringLiteral("填表操作_执行自定义代码_返回值(%1,picked_mark,%2,,假)")
                               .arg(locator.section(',', 0, 1), locator.section(',', 2)));
    QCOMPARE(view->runScriptText(framed), std::string("0"));
    // The click was the pick's: the button did not act.
    QCOMPARE(view->runScriptText("text = document.getElementById('out').textContent;"), std::string());

    w->runCurrentLine();
    QCOMPARE(w->codeLog()->toPlainText(), QStringLiteral("第1行：mark-41\n"));
}

void TestRecorder::actionLines_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("write") << int(RecordedAction::Write) << "abc"
        << QStringList{"填表操作_写内容(input,kw,abc,1,main|0,data-x,,假)", "填表事件_改变内容(input,kw,1,main|0,data-x,,假)"};
    QTest::newRow("write, empty") << int(RecordedAction::Write) << ""
        << QStringList{"填表操作_写内容(input,kw,,1,main|0,data-x,,假)", "填表事件_改变内容(input,kw,1,main|0,data-x,,假)"};
    QTest::newRow("write with commas and quotes") << int(RecordedAction::Write) << "a,b \"c\"\\n"
        << QStringList{"填表操作_执行自定义代码_返回值(input,kw,value='a'+String.fromCharCode(44)+'b'+"
                       "String.fromCharCode(32)+String.fromCharCode(34)+'c'+String.fromCharCode(34)+"
                       "String.fromCharCode(92)+'n',1,main|0,data-x,,假)",
                       "填表事件_改变内容(input,kw,1,main|0,data-x,,假)"};
    QTest::newRow("write, full-width comma and outer space") << int(RecordedAction::Write) << " 你好，世界"
        << QStringList{"填表操作_执行自定义代码_返回值(input,kw,value=String.fromCharCode(32)+'你好'+"
                       "String.fromCharCode(65292)+'世界',1,main|0,data-x,,假)",
                       "填表事件_改变内容(input,kw,1,main|0,data-x,,假)"};
    QTest::newRow("select") << int(RecordedAction::Select) << "上海"
        << QStringList{"填表操作_置组合框按内容选中(input,kw,上海,1,main|0,data-x,,假)"};
    QTest::newRow("select, text with a comma") << int(RecordedAction::Select) << "a,b"
        << QStringList{"填表操作_置组合框索引(input,kw,2,1,main|0,data-x,,假)"};
    QTest::newRow("tick") << int(RecordedAction::Check) << "1"
        << QStringList{"填表操作_置选中状态(input,kw,真,1,main|0,data-x,,假)"};
    QTest::newRow("untick") << int(RecordedAction::Check) << ""
        << QStringList{"填表操作_置选中状态(input,kw,假,1,main|0,data-x,,假)"};
    QTest::newRow("click") << int(RecordedAction::Click) << ""
        << QStringList{"填表事件_点击(input,kw,1,main|0,data-x,,假)"};
    QTest::newRow("navigate") << int(RecordedAction::Navigate) << "http://127.0.0.1/a?x=1,2"
        << QStringList{"填表_跳转地址(http://127.0.0.1/a?x=1%2C2)"};
    QTest::newRow("write, the literal-brace form") << int(RecordedAction::Write) << "{{{{}}"
        << QStringList{"填表操作_写内容(input,kw,{{{{}}{{{{}}}},1,main|0,data-x,,假)",
                       "填表事件_改变内容(input,kw,1,main|0,data-x,,假)"};
    QTest::newRow("write, a data column's form") << int(RecordedAction::Write) << "{{col}} and {{{"
        << QStringList{"填表操作_写内容(input,kw,{{{{}}col}} and {{{{}}{,1,main|0,data-x,,假)",
                       "填表事件_改变内容(input,kw,1,main|0,data-x,,假)"};
    QTest::newRow("write, braces and a comma") << int(RecordedAction::Write) << "{{col}},x"
        << QStringList{"填表操作_执行自定义代码_返回值(input,kw,value='{{{{}}col}}'+String.fromCharCode(44)+'x',"
                       "1,main|0,data-x,,假)",
                       "填表事件_改变内容(input,kw,1,main|0,data-x,,假)"};
    QTest::newRow("select, braces") << int(RecordedAction::Select) << "{{col}}"
        << QStringList{"填表操作_置组合框按内容选中(input,kw,{{{{}}col}},1,main|0,data-x,,假)"};
}

// Each line passes the run's checks, and a value written as an expression
// gives back the very text in the page.
void TestRecorder::actionLines()
{
    QFETCH(int, kind);
    QFETCH(QString, value);
    QFETCH(QStringList, lines);
    RecordedAction a;
    a.kind = RecordedAction::Kind(kind);
    a.locator = {"input", "kw", 1, "main|0", "data-x"};
    a.value = rt::qstringToGb(value);
    a.index = 2;
    a.checked = !value.isEmpty();
    QStringList got;
    for (const std::string& l : linesForAction(a)) {
        got << rt::gbToQString(l);
        QCOMPARE(int(checkScriptLine(l).check), int(LineCheck::Ok));
    }
    QCOMPARE(got, lines);
    // The arguments as a plain run and a data run (a column "col") hand them
    // on: the typed text, the locator as it was.
    const std::vector<std::string> args = parseLine(normaliseLine(linesForAction(a)[0], true)).args;
    for (const std::map<std::string, std::string>& values :
         {std::map<std::string, std::string>{}, std::map<std::string, std::string>{{"col", "CELL"}}}) {
        std::set<std::string> unknown;
        std::vector<std::string> given;
        for (const std::string& arg : args)
            given.push_back(substitute(arg, values, unknown));
        if (kind == int(RecordedAction::Navigate))
            continue;
        QCOMPARE(given[0], std::string("input"));
        QCOMPARE(given[1], std::string("kw"));
        QVERIFY(unknown.empty());
        if (kind == int(RecordedAction::Write) || kind == int(RecordedAction::Select)) {
            const QString written = rt::gbToQString(given[2]);
            if (written.startsWith("value=")) {
                const QString expr = written.mid(6);
                QCOMPARE(rt::gbToQString(view->runScriptText(rt::qstringToGb("text = " + expr + ";"))), value);
            } else if (kind == int(RecordedAction::Write) || lines[0].startsWith("填表操作_置组合框按内容选中")) {
                QCOMPARE(written, value);
            }
        }
    }
}

QTEST_MAIN(TestRecorder)
#include "test_recorder.moc"
