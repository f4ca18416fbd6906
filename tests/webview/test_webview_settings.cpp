// View settings with the real engine, each checked by what the page or the
// screen shows.
#include "enginetest.h"

#include "webview/engineloader.h"

#include <QApplication>

using namespace webview_test;

namespace {

// Visible top-level windows that were not in before.
QWidgetList newWindows(const QWidgetList& before)
{
    QWidgetList added;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!before.contains(w) && w->isVisible())
            added << w;
    }
    return added;
}

QByteArray titleScript(const QByteArray& expression)
{
    return "<!doctype html><html><head><title>none</title></head><body><script>document.title=String(" +
           expression + ")</script></body></html>";
}

}  // namespace

class TestWebViewSettings : public QObject {
    Q_OBJECT

private slots:
    void zoomScalesPage();
    void deviceParameters_data();
    void deviceParameters();
    void newWindowNavigation_data();
    void newWindowNavigation();
    void localPagesReachRemoteOnlyWithChecksOff_data();
    void localPagesReachRemoteOnlyWithChecksOff();
    void editableMakesDocumentEditable();
    void mouseCanBeTurnedOff();
    void touchEmulationGivesTouchEvents();
    void headlessAndSleepHideTheView();
    void devToolsOpenOnce();
    void transparentViewShowsWhatIsBehind();
    void reloadSkipsCacheWhenCacheIsOff();

private:
    std::string page(const QByteArray& html)
    {
        return m_pages.write(QStringLiteral("page%1.html").arg(++m_pageCount), html);
    }

    Pages m_pages;
    int m_pageCount = 0;
};

void TestWebViewSettings::zoomScalesPage()
{
    HostedView h({320, 240}, page(boxPage("#ffffff", "#ff0000")), "settings");
    QVERIFY(loads(h.web));
    QVERIFY(showsColour(&h.host, {70, 50}, QColor(255, 0, 0)));
    QCOMPARE(pixelAt(&h.host, {200, 120}), QColor(255, 255, 255));
    h.web.setZoomFactor(2.0f);
    QCOMPARE(h.web.engine().getZoomFactor(), 2.0f);
    // The 100 x 60 box at (20, 20) now covers (40, 40) to (240, 160).
    QVERIFY(showsColour(&h.host, {200, 120}, QColor(255, 0, 0)));
    QCOMPARE(pixelAt(&h.host, {250, 120}), QColor(255, 255, 255));
}

void TestWebViewSettings::deviceParameters_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("integer");
    QTest::addColumn<QByteArray>("expression");
    QTest::addColumn<QString>("expected");
    QTest::newRow("integer") << "navigator.hardwareConcurrency" << "" << 3
                             << QByteArray("navigator.hardwareConcurrency") << "3";
    QTest::newRow("text") << "navigator.platform" << "Tolvane \"OS\" 平台" << 0
                          << QByteArray("navigator.platform") << "Tolvane \"OS\" 平台";
    QTest::newRow("screen") << "screen.width" << "" << 1234 << QByteArray("screen.width") << "1234";
    QTest::newRow("not a device property") << "document.title" << "x" << 0
                                           << QByteArray("'kept'") << "kept";
}

void TestWebViewSettings::deviceParameters()
{
    QFETCH(QString, device);
    QFETCH(QString, text);
    QFETCH(int, integer);
    QFETCH(QByteArray, expression);
    QFETCH(QString, expected);
    HostedView h({320, 240}, page("<html><body></body></html>"), "settings");
    QVERIFY(loads(h.web));
    h.web.setDeviceParameter(rt::qstringToGb(device), rt::qstringToGb(text), integer, 0.0f);
    // Pages loaded afterwards see it from their first script on.
    h.web.loadUrl(m_pages.write("device.html", titleScript(expression)));
    QVERIFY(titleBecomes(h.web, rt::qstringToGb(expected)));
}

void TestWebViewSettings::newWindowNavigation_data()
{
    QTest::addColumn<bool>("openInNewWindow");
    QTest::newRow("off (as create sets it)") << false;
    QTest::newRow("on") << true;
}

void TestWebViewSettings::newWindowNavigation()
{
    QFETCH(bool, openInNewWindow);
    const std::string target = m_pages.write("target.html", "<html><head><title>target</title></head></html>");
    HostedView h({320, 240}, page("<html><head><title>opener</title></head><body style='margin:0'>"
                      "<a target=_blank href='target.html' style='display:block;width:300px;height:200px'>go</a>" +
                      kReadyScript + "</body></html>"), "settings");
    QVERIFY(titleBecomes(h.web, "ready"));
    h.web.setNavigationToNewWindowEnable(openInNewWindow);
    const QWidgetList before = QApplication::topLevelWidgets();
    h.web.fireMouseEvent(WKE_MSG_LBUTTONDOWN, 50, 50, WKE_LBUTTON);
    h.web.fireMouseEvent(WKE_MSG_LBUTTONUP, 50, 50, 0);
    if (openInNewWindow) {
        QVERIFY(waitUntil([&] { return newWindows(before).size() == 1; }));
        QCOMPARE(h.web.engine().getTitle(), "ready");
    } else {
        QVERIFY(titleBecomes(h.web, "target"));
        QCOMPARE(newWindows(before).size(), 0);
    }
}

void TestWebViewSettings::localPagesReachRemoteOnlyWithChecksOff_data()
{
    QTest::addColumn<bool>("checks");
    QTest::newRow("checks off (as create sets them)") << false;
    QTest::newRow("checks on") << true;
}

// Qt WebEngine has no switch for content-security checks; turning them off
// lets local pages reach remote addresses (which answer as CORS allows).
void TestWebViewSettings::localPagesReachRemoteOnlyWithChecksOff()
{
    QFETCH(bool, checks);
    HttpServer server([](const QByteArray&) {
        return httpAnswer("remote data", "Access-Control-Allow-Origin: *\r\n");
    });
    HostedView h({320, 240}, page("<html><body></body></html>"), "settings");
    QVERIFY(loads(h.web));
    h.web.engine().setCspCheckEnable(checks);
    h.web.loadUrl(m_pages.write(
        "fetch.html", "<html><head><title>none</title></head><body><script>"
                      "fetch('" + server.origin().toUtf8() + "/data').then(r=>r.text())"
                      ".then(t=>document.title='got '+t, e=>document.title='blocked')"
                      "</script></body></html>"));
    QVERIFY(titleBecomes(h.web, checks ? "blocked" : "got remote data"));
    QCOMPARE(server.requests.size(), checks ? 0 : 1);
}

void TestWebViewSettings::editableMakesDocumentEditable()
{
    HostedView h({320, 240}, page("<html><head><title>none</title></head><body><script>"
                      "setInterval(function(){document.title=document.designMode},20)"
                      "</script></body></html>"), "settings");
    QVERIFY(titleBecomes(h.web, "off"));
    h.web.engine().setEditable(true);
    QVERIFY(titleBecomes(h.web, "on"));
    h.web.engine().setEditable(false);
    QVERIFY(titleBecomes(h.web, "off"));
}

void TestWebViewSettings::mouseCanBeTurnedOff()
{
    // The title lists the x of every press the page saw, so a press that got
    // through while the mouse was off shows as "10 20", never as "20".
    HostedView h({320, 240}, page("<html><head><title>none</title></head><body style='margin:0;height:300px' "
                      "onmousedown='presses.push(event.clientX);document.title=presses.join(\" \")'>"
                      "<script>var presses=[];"
                      "requestAnimationFrame(function(){requestAnimationFrame(function(){"
                      "document.title='0'})})</script></body></html>"), "settings");
    QVERIFY(titleBecomes(h.web, "0"));
    h.web.setMouseEnabled(false);
    h.web.fireMouseEvent(WKE_MSG_LBUTTONDOWN, 10, 10, WKE_LBUTTON);
    h.web.fireMouseEvent(WKE_MSG_LBUTTONUP, 10, 10, 0);
    h.web.setMouseEnabled(true);
    h.web.fireMouseEvent(WKE_MSG_LBUTTONDOWN, 20, 10, WKE_LBUTTON);
    h.web.fireMouseEvent(WKE_MSG_LBUTTONUP, 20, 10, 0);
    QVERIFY2(titleBecomes(h.web, "20"), h.web.engine().getTitle().c_str());  // only the second press
}

void TestWebViewSettings::touchEmulationGivesTouchEvents()
{
    HostedView h({320, 240}, page("<html><head><title>none</title></head><body style='margin:0;height:300px'>"
                      "<script>var log=[];function note(e){log.push(e.type);document.title=log.join(' ')}"
                      "['touchstart','touchend','mousedown'].forEach(function(t){"
                      "document.addEventListener(t,note,{passive:true})})</script>" +
                      kReadyScript + "</body></html>"), "settings");
    QVERIFY(titleBecomes(h.web, "ready"));
    h.web.setTouchEnabled(true);
    h.web.fireMouseEvent(WKE_MSG_LBUTTONDOWN, 40, 40, WKE_LBUTTON);
    h.web.fireMouseEvent(WKE_MSG_LBUTTONUP, 40, 40, 0);
    QVERIFY(waitUntil([&] { return h.web.engine().getTitle().find("touchend") != std::string::npos; }));
    QVERIFY(h.web.engine().getTitle().rfind("touchstart", 0) == 0);
}

void TestWebViewSettings::headlessAndSleepHideTheView()
{
    HostedView h({320, 240}, page(boxPage("#ffffff", "#ff0000")), "settings");
    QVERIFY(loads(h.web));
    QWidget* engineWidget = h.web.engine().getWindowHandle();
    QVERIFY(engineWidget->isVisible());
    h.web.setHeadlessEnabled(true);
    QVERIFY(!engineWidget->isVisible());
    h.web.setHeadlessEnabled(false);
    QVERIFY(engineWidget->isVisible());

    QVERIFY(h.web.engine().isAwake());
    h.web.engine().sleep();
    QVERIFY(!h.web.engine().isAwake());
    QVERIFY(!engineWidget->isVisible());
    h.web.engine().wake();
    QVERIFY(h.web.engine().isAwake());
    QVERIFY(engineWidget->isVisible());
    QVERIFY(showsColour(&h.host, {70, 50}, QColor(255, 0, 0)));
}

void TestWebViewSettings::devToolsOpenOnce()
{
    HostedView h({320, 240}, page(boxPage("#ffffff", "#ff0000")), "settings");
    QVERIFY(loads(h.web));
    const QWidgetList before = QApplication::topLevelWidgets();
    h.web.showDevTools();
    h.web.showDevTools();
    const QWidgetList added = newWindows(before);
    QCOMPARE(added.size(), 1);
    delete added.first();  // closing the tools leaves the view working
    h.web.loadUrl(m_pages.write("after.html", "<html><head><title>after</title></head></html>"));
    QVERIFY(titleBecomes(h.web, "after"));
}

void TestWebViewSettings::transparentViewShowsWhatIsBehind()
{
    QWidget parent;
    parent.resize(300, 200);
    parent.setStyleSheet(QStringLiteral("background:#00ff00"));
    parent.setAutoFillBackground(true);
    QWidget host(&parent);
    host.setGeometry(0, 0, 300, 200);
    parent.show();
    webview::EngineView engine;
    QVERIFY(engine.createView(&host, true));
    engine.loadUrl(m_pages.write("clear.html", boxPage("transparent", "#ff0000")));
    QVERIFY(waitUntil([&] { return engine.isLoadingCompleted(); }));
    QVERIFY(showsColour(&parent, {70, 50}, QColor(255, 0, 0)));
    QVERIFY(showsColour(&parent, {200, 150}, QColor(0, 255, 0)));
}

void TestWebViewSettings::reloadSkipsCacheWhenCacheIsOff()
{
    HttpServer server([](const QByteArray&) {
        return httpAnswer("<title>cached</title>", "Cache-Control: max-age=3600\r\n");
    });
    QWidget host;
    host.show();
    webview::WebView web;
    web.create(&host, "cache", rt::qstringToGb(server.origin() + "/"), "");  // cache off
    QVERIFY(titleBecomes(web, "cached"));
    const auto pageRequests = [&] {
        QList<QByteArray> found;
        for (const QByteArray& r : server.requests) {
            if (r.startsWith("GET / "))
                found << r;
        }
        return found;
    };
    web.reload();
    QVERIFY(waitUntil([&] { return pageRequests().size() == 2; }));
    QVERIFY(pageRequests().last().contains("Cache-Control: no-cache"));
}

QTEST_MAIN(TestWebViewSettings)
#include "test_webview_settings.moc"
