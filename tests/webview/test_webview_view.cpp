// The real engine in host widgets, offscreen: rendering, following the host's
// size, teardown with the host, focus and input.
#include "enginetest.h"

#include "webview/engineloader.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QVariant>

using namespace webview_test;

class TestWebViewView : public QObject {
    Q_OBJECT

private slots:
    void rendersPageInHost();
    void followsHostSize();
    void hostDestructionTearsDownAndNewHostWorks();
    void tabMovesBetweenInputs();
    void reportsLoadState_data();
    void reportsLoadState();
    void firedInputReachesPage();
    void inputPostedToHostReachesPage();

private:
    Pages m_pages;
};

void TestWebViewView::rendersPageInHost()
{
    QWidget host;
    host.resize(320, 240);
    host.show();
    webview::WebView web;
    web.create(&host, "view", m_pages.write("box.html", boxPage("#ffffff", "#ff0000")), "");
    QVERIFY(loads(web));
    QVERIFY(web.isLoadingSucceeded());
    QVERIFY(showsColour(&host, {70, 50}, QColor(255, 0, 0)));
    QCOMPARE(pixelAt(&host, {200, 150}), QColor(255, 255, 255));
    QCOMPARE(pixelAt(&host, {19, 50}), QColor(255, 255, 255));
    QCOMPARE(pixelAt(&host, {120, 50}), QColor(255, 255, 255));
}

void TestWebViewView::followsHostSize()
{
    QWidget host;
    host.resize(200, 150);
    host.show();
    webview::WebView web;
    web.create(&host, "view", m_pages.write("blue.html", boxPage("#0000ff", "#00ff00")), "");
    QVERIFY(loads(web));
    QCOMPARE(web.engine().getWidth(), 200);
    QCOMPARE(web.engine().getHeight(), 150);

    host.resize(500, 400);
    QVERIFY(waitUntil([&] { return web.engine().getWidth() == 500; }));
    QCOMPARE(web.engine().getHeight(), 400);
    QCOMPARE(web.engine().getWindowHandle()->geometry(), QRect(0, 0, 500, 400));
    // The page really fills the larger area.
    QVERIFY(showsColour(&host, {490, 390}, QColor(0, 0, 255)));
}

void TestWebViewView::hostDestructionTearsDownAndNewHostWorks()
{
    webview::WebView web;
    auto* first = new QWidget;
    first->resize(240, 160);
    first->show();
    web.create(first, "view", m_pages.write("green.html", boxPage("#ffffff", "#00ff00")), "");
    QVERIFY(loads(web));
    QPointer<QWidget> engineWidget = web.engine().getWindowHandle();
    QVERIFY(engineWidget);
    QCOMPARE(engineWidget->parentWidget(), first);

    delete first;
    QVERIFY(!web.engine().getViewHandle());
    QVERIFY(!web.engine().hostWindow());
    QVERIFY(engineWidget.isNull());  // the engine's widgets went with the view

    QWidget second;
    second.resize(240, 160);
    second.show();
    web.create(&second, "view", m_pages.write("red.html", boxPage("#ffffff", "#ff0000")), "");
    QVERIFY(web.engine().getViewHandle());
    QVERIFY(loads(web));
    QVERIFY(showsColour(&second, {70, 50}, QColor(255, 0, 0)));

    // Destroying the WebView gives the host back as it was.
    {
        QWidget third;
        webview::WebView other;
        other.create(&third, "view", "", "");
        QVERIFY(third.property("wkeEThis").isValid());
        QVERIFY(third.focusProxy());
        QCOMPARE(third.children().size(), 1);
    }
}

void TestWebViewView::tabMovesBetweenInputs()
{
    QWidget host;
    host.resize(400, 200);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    host.activateWindow();
    webview::WebView web;
    web.create(&host, "view",
               m_pages.write("inputs.html",
                             "<!doctype html><html><head><title>none</title></head><body>"
                             "<input id=a onfocus=\"document.title='a'\" style='position:absolute;left:10px;top:10px'>"
                             "<input id=b onfocus=\"document.title='b'\" style='position:absolute;left:10px;top:60px'>"
                             "</body></html>"),
               "");
    QVERIFY(loads(web));
    QVERIFY(titleBecomes(web, "none"));
    host.setFocus();
    QVERIFY(waitUntil([] { return QApplication::focusWidget() != nullptr; }));
    // Click into the first field, then Tab.
    web.fireMouseEvent(WKE_MSG_LBUTTONDOWN, 20, 20, WKE_LBUTTON);
    web.fireMouseEvent(WKE_MSG_LBUTTONUP, 20, 20, 0);
    QVERIFY(titleBecomes(web, "a"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QVERIFY(titleBecomes(web, "b"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    QVERIFY(titleBecomes(web, "a"));
}

void TestWebViewView::reportsLoadState_data()
{
    QTest::addColumn<bool>("exists");
    QTest::newRow("page") << true;
    QTest::newRow("missing file") << false;
}

void TestWebViewView::reportsLoadState()
{
    QFETCH(bool, exists);
    QWidget host;
    host.resize(200, 100);
    host.show();
    const std::string path = exists ? m_pages.write("titled.html",
                                                    "<html><head><title>标题</title></head><body>x</body></html>")
                                    : rt::qstringToGb(m_pages.folder() + "/missing.html");
    webview::WebView web;
    web.create(&host, "view", path, "");
    QVERIFY(loads(web));
    QCOMPARE(web.isLoadingSucceeded(), exists);
    QCOMPARE(web.isLoadingFailed(), !exists);
    QCOMPARE(web.engine().isLoading(), false);
    QCOMPARE(web.getUrl(), "file://" + path);
    if (exists) {
        QVERIFY(web.engine().isDocumentReady());
        QCOMPARE(web.engine().getTitle(), rt::gb("标题"));
        QCOMPARE(web.engine().getTitleWide().size(), 6);
    }
}

void TestWebViewView::firedInputReachesPage()
{
    QWidget host;
    host.resize(400, 200);
    host.show();
    webview::WebView web;
    web.create(&host, "view",
               m_pages.write("typing.html",
                             "<!doctype html><html><head><title>none</title></head><body style='margin:0'>"
                             "<input id=f style='position:absolute;left:0;top:0;width:200px;height:30px'"
                             " oninput=\"document.title='v:'+this.value\""
                             " onmousedown=\"document.title='down'\">"
                             "</body></html>"),
               "");
    QVERIFY(loads(web));
    web.engine().setFocus();
    QVERIFY(web.fireMouseEvent(WKE_MSG_LBUTTONDOWN, 50, 10, WKE_LBUTTON));
    QVERIFY(titleBecomes(web, "down"));
    web.fireMouseEvent(WKE_MSG_LBUTTONUP, 50, 10, 0);
    // Key down then its character, as a keyboard gives them: one letter each.
    const auto type = [&](unsigned code, char16_t ch) {
        WKE_CALL(wkeFireKeyDownEvent)(web.engine().getViewHandle(), code, 0, false);
        WKE_CALL(wkeFireKeyPressEvent)(web.engine().getViewHandle(), ch, 0, false);
        WKE_CALL(wkeFireKeyUpEvent)(web.engine().getViewHandle(), code, 0, false);
    };
    type(0x48, u'h');
    type(0x49, u'i');
    QVERIFY(titleBecomes(web, "v:hi"));
    // Backspace alone.
    WKE_CALL(wkeFireKeyDownEvent)(web.engine().getViewHandle(), 0x08, 0, false);
    WKE_CALL(wkeFireKeyUpEvent)(web.engine().getViewHandle(), 0x08, 0, false);
    QVERIFY(titleBecomes(web, "v:h"));
}

void TestWebViewView::inputPostedToHostReachesPage()
{
    QWidget host;
    host.resize(300, 200);
    host.show();
    webview::WebView web;
    web.create(&host, "view",
               m_pages.write("click.html",
                             "<!doctype html><html><head><title>none</title></head><body style='margin:0'>"
                             "<div style='position:absolute;left:100px;top:50px;width:50px;height:50px'"
                             " onclick=\"document.title='clicked '+event.clientX+','+event.clientY\"></div>"
                             "</body></html>"),
               "");
    QVERIFY(loads(web));
    const QPointF at(120, 70);
    for (QEvent::Type type : {QEvent::MouseMove, QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        const Qt::MouseButtons buttons = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
        QCoreApplication::postEvent(&host, new QMouseEvent(type, at, host.mapToGlobal(at), button,
                                                           buttons, Qt::NoModifier));
    }
    QVERIFY(titleBecomes(web, "clicked 120,70"));
}

QTEST_MAIN(TestWebViewView)
#include "test_webview_view.moc"
