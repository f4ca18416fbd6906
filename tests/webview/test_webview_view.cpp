// The real engine in host widgets, offscreen: rendering, following the host's
// size, teardown with the host, focus and input.
#include "enginetest.h"

#include "webview/engineloader.h"

#include <QApplication>
#include <QElapsedTimer>
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
    void loadStateStartsAtTheRequest_data();
    void loadStateStartsAtTheRequest();
    void firedInputReachesPage();
    void inputPostedToHostReachesPage();
    void windowsMessagesReachPage();
    void reportsPaintsAndGivesPixels();
    void pacedViewDrawsAtItsRateAndGrabsWhatIs();
    void pacedViewDrawsSeldomWhileScriptsRunBackToBack();
    void wheelScrollsAndContextMenuReachesPage();
    void caretAndEditorCommands();
    void historyAndContentSize();
    void loadsHtml_data();
    void loadsHtml();

private:
    Pages m_pages;
};

void TestWebViewView::rendersPageInHost()
{
    HostedView hosted({320, 240}, m_pages.write("box.html", boxPage("#ffffff", "#ff0000")));
    auto& [host, web] = hosted;
    QVERIFY(loads(web));
    QVERIFY(web.isLoadingSucceeded());
    QVERIFY(showsColour(&host, {70, 50}, QColor(255, 0, 0)));
    QCOMPARE(pixelAt(&host, {200, 150}), QColor(255, 255, 255));
    QCOMPARE(pixelAt(&host, {19, 50}), QColor(255, 255, 255));
    QCOMPARE(pixelAt(&host, {120, 50}), QColor(255, 255, 255));
}

void TestWebViewView::followsHostSize()
{
    HostedView hosted({200, 150}, m_pages.write("blue.html", boxPage("#0000ff", "#00ff00")));
    auto& [host, web] = hosted;
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
                             "<input id=b onfocus=\"document.title='b'\" style='position:absolute;left:10px;top:60px'>" +
                                 kReadyScript + "</body></html>"),
               "");
    QVERIFY(titleBecomes(web, "ready"));
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

// A load counts from the call that asks for it, so the previous page's
// finished state is never read as the new load's (newer engines report the
// start later); a load the navigation handler refuses still ends.
void TestWebViewView::loadStateStartsAtTheRequest_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("same page again") << 0;
    QTest::newRow("another page") << 1;
    QTest::newRow("html") << 2;
    QTest::newRow("refused by the navigation handler") << 3;
}

void TestWebViewView::loadStateStartsAtTheRequest()
{
    QFETCH(int, how);
    const std::string first = m_pages.write("first.html", "<html><head><title>first</title></head><body>1</body></html>");
    const std::string second = m_pages.write("second.html", "<html><head><title>second</title></head><body>2</body></html>");
    HostedView hosted({200, 100}, first);
    auto& [host, web] = hosted;
    QVERIFY(loads(web));
    QVERIFY(web.isLoadingSucceeded());
    if (how == 3)
        web.onNavigation([](wkeWebView, void*, wkeNavigationType, const wkeString) { return false; }, nullptr);
    if (how == 2)
        web.loadHtml("<html><head><title>html</title></head><body>3</body></html>");
    else
        web.loadUrl(how == 0 ? first : second);
    if (how != 3) {
        QVERIFY(!web.isLoadingCompleted());
        QVERIFY(!web.isLoadingSucceeded());
        QVERIFY(web.engine().isLoading());
        QVERIFY(!web.engine().isDocumentReady());
    }
    QVERIFY(waitUntil([&] { return web.isLoadingCompleted(); }));
    QCOMPARE(web.engine().isLoading(), false);
    const char* titles[] = {"first", "second", "html", "first"};
    QVERIFY(titleBecomes(web, titles[how]));
    if (how != 3) {
        QVERIFY(web.isLoadingSucceeded());
        QVERIFY(web.engine().isDocumentReady());
    }
}

void TestWebViewView::firedInputReachesPage()
{
    HostedView hosted({400, 200}, m_pages.write("typing.html",
                             "<!doctype html><html><head><title>none</title></head><body style='margin:0'>"
                             "<input id=f style='position:absolute;left:0;top:0;width:200px;height:30px'"
                             " oninput=\"document.title='v:'+this.value\""
                             " onmousedown=\"document.title='down'\">" +
                                 kReadyScript + "</body></html>"));
    auto& [host, web] = hosted;
    QVERIFY(titleBecomes(web, "ready"));
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
    HostedView hosted({300, 200}, m_pages.write("click.html",
                             "<!doctype html><html><head><title>none</title></head><body style='margin:0'>"
                             "<div style='position:absolute;left:100px;top:50px;width:50px;height:50px'"
                             " onclick=\"document.title='clicked '+event.clientX+','+event.clientY\"></div>" +
                                 kReadyScript + "</body></html>"));
    auto& [host, web] = hosted;
    QVERIFY(titleBecomes(web, "ready"));
    const QPointF at(120, 70);
    for (QEvent::Type type : {QEvent::MouseMove, QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        const Qt::MouseButtons buttons = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
        QCoreApplication::postEvent(&host, new QMouseEvent(type, at, host.mapToGlobal(at), button,
                                                           buttons, Qt::NoModifier));
    }
    QVERIFY(titleBecomes(web, "clicked 120,70"));
}

// Messages in their classic form: mouse points in lParam, characters in
// wParam.
void TestWebViewView::windowsMessagesReachPage()
{
    HostedView hosted({300, 200}, m_pages.write("messages.html",
                             "<!doctype html><html><head><title>none</title></head><body style='margin:0'>"
                             "<input id=f style='position:absolute;left:0;top:0;width:200px;height:30px;cursor:text'"
                             " oninput=\"document.title='v:'+this.value\">" +
                                 kReadyScript + "</body></html>"));
    auto& [host, web] = hosted;
    QVERIFY(titleBecomes(web, "ready"));
    const wkeWebView view = web.engine().getViewHandle();
    const auto send = [&](unsigned message, uintptr_t wParam, intptr_t lParam) {
        intptr_t result = -1;
        const bool handled = WKE_CALL(wkeFireWindowsMessage)(view, &host, message, wParam, lParam, &result);
        return handled && result == 1;
    };
    const intptr_t at = 50 + 10 * 65536;
    host.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&host));
    QWidget* input = web.engine().getWindowHandle();
    QVERIFY(send(WKE_MSG_SETFOCUS, 0, 0));
    QVERIFY(input->hasFocus());
    QVERIFY(send(WKE_MSG_LBUTTONDOWN, WKE_LBUTTON, at));
    QVERIFY(send(WKE_MSG_LBUTTONUP, 0, at));
    QVERIFY(send(WKE_MSG_KEYDOWN, 0x4F, 0));
    QVERIFY(send(WKE_MSG_CHAR, u'o', 0));
    QVERIFY(send(WKE_MSG_KEYUP, 0x4F, 0));
    QVERIFY(send(WKE_MSG_CHAR, u'k', 0));
    QVERIFY(titleBecomes(web, "v:ok"));
    QVERIFY(send(WKE_MSG_MOUSEMOVE, 0, at));
    QVERIFY(send(WKE_MSG_KILLFOCUS, 0, 0));
    QVERIFY(!input->hasFocus());
    // The engine's widgets show the page's cursor themselves.
    QVERIFY(!send(WKE_MSG_SETCURSOR, 0, 0));
    QVERIFY(!send(0x0400, 0, 0));  // not one the engine knows
}

namespace {

struct PaintLog {
    int calls = 0;
    QRect united;
};

void notePaint(wkeWebView, void* param, const void* hdc, int x, int y, int cx, int cy)
{
    auto* log = static_cast<PaintLog*>(param);
    ++log->calls;
    log->united |= QRect(x, y, cx, cy);
    QVERIFY(!hdc);
}

}  // namespace

void TestWebViewView::reportsPaintsAndGivesPixels()
{
    HostedView hosted({200, 120}, "");
    auto& [host, web] = hosted;
    const wkeWebView view = web.engine().getViewHandle();
    PaintLog log;
    WKE_CALL(wkeOnPaintUpdated)(view, notePaint, &log);
    web.loadUrl(m_pages.write("paint.html", boxPage("#ffffff", "#0000ff")));
    QVERIFY(showsColour(&host, {70, 50}, QColor(0, 0, 255)));
    QVERIFY(waitUntil([&] { return log.calls > 0; }));
    QVERIFY(QRect(0, 0, 200, 120).contains(log.united));

    // The view's pixels: as an image, and copied into a caller's buffer
    // (premultiplied BGRA, rows top first) with a wider pitch.
    const auto* image = static_cast<const QImage*>(WKE_CALL(wkeGetViewDC)(view));
    QVERIFY(image);
    QCOMPARE(image->size(), QSize(200, 120));
    QCOMPARE(image->pixelColor(70, 50), QColor(0, 0, 255));
    QCOMPARE(image->pixelColor(150, 100), QColor(255, 255, 255));
    const int pitch = 200 * 4 + 16;
    std::vector<unsigned char> bits(size_t(pitch) * 120, 0x11);
    WKE_CALL(wkePaint)(view, bits.data(), pitch);
    const unsigned char* box = &bits[size_t(50 * pitch + 70 * 4)];
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(box), 4), QByteArray("\xff\x00\x00\xff", 4));
    QCOMPARE(bits[size_t(pitch - 1)], 0x11);  // the padding is left alone

    // No more reports after the callback is taken away.
    WKE_CALL(wkeOnPaintUpdated)(view, nullptr, nullptr);
    const int calls = log.calls;
    web.loadUrl(m_pages.write("paint2.html", boxPage("#ffffff", "#ff0000")));
    QVERIFY(showsColour(&host, {70, 50}, QColor(255, 0, 0)));
    QCOMPARE(log.calls, calls);
}

void TestWebViewView::pacedViewDrawsAtItsRateAndGrabsWhatIs()
{
    // A box whose colour scripts change, and a count of the page's animation
    // frames.
    HostedView hosted({200, 120}, m_pages.write("paced.html", boxPage("#ffffff", "#0000ff") +
        "<script>var drawn = 0;(function f(){drawn++;requestAnimationFrame(f);})();</script>"));
    auto& [host, web] = hosted;
    QVERIFY(loads(web));
    QVERIFY(showsColour(&host, {70, 50}, QColor(0, 0, 255)));
    const wkeWebView view = web.engine().getViewHandle();
    const auto drawn = [&] { return std::stoi(web.runScriptText("return String(drawn);")); };
    const auto paint = [&](const char* colour) {
        web.runScriptText(std::string("document.querySelector('div').style.background='") + colour + "';");
    };

    // Paced: the page keeps making animation frames, however often scripts
    // change what it shows, but no more than the frames drawn allow (the
    // engine runs a few frames ahead of the one drawn: up to two with
    // Qt 6.4, up to four with Qt 6.8).
    constexpr int kIntervalMs = 200;
    web.setFrameInterval(kIntervalMs);
    QElapsedTimer clock;
    const int before = drawn();
    clock.start();
    for (int i = 0; clock.elapsed() < 1500; ++i) {
        paint(i % 2 ? "#00ff00" : "#ff0000");
        QTest::qWait(1);
    }
    const int frames = drawn() - before;
    QVERIFY2(frames >= 1, "a paced page still runs its animation frames");
    const auto pacedMost = [&] { return 5 * (clock.elapsed() / kIntervalMs + 1); };
    QVERIFY2(frames <= pacedMost(), qPrintable(QString::number(frames)));

    // Grabbing draws what is held back: however long the interval, the
    // view's pixels soon show what the page shows, as an unpaced view's do.
    web.setFrameInterval(60000);
    for (const char* colour : {"#ff0000", "#00ff00", "#ff0000"}) {
        paint(colour);
        QVERIFY(waitUntil([&] {
            const auto* image = static_cast<const QImage*>(WKE_CALL(wkeGetViewDC)(view));
            return image && image->pixelColor(70, 50) == QColor(colour);
        }, 2000));
    }

    // Unpaced again: every frame is drawn.
    web.setFrameInterval(0);
    const int unpacedBefore = drawn();
    clock.restart();
    QTest::qWait(1500);
    QVERIFY2(drawn() - unpacedBefore > pacedMost(),
             qPrintable(QString::number(drawn() - unpacedBefore)));
}

void TestWebViewView::pacedViewDrawsSeldomWhileScriptsRunBackToBack()
{
    // Every animation frame changes what the page shows, so each one needs
    // a frame drawn before the next.
    HostedView hosted({200, 120}, m_pages.write("busy.html", boxPage("#ffffff", "#0000ff") +
        "<script>var drawn = 0;(function f(){drawn++;document.body.style.opacity = drawn % 2 ? 0.99 : 1;"
        "requestAnimationFrame(f);})();</script>"));
    auto& [host, web] = hosted;
    QVERIFY(loads(web));
    QVERIFY(showsColour(&host, {70, 50}, QColor(0, 0, 255)));
    const auto drawn = [&] { return std::stoi(web.runScriptText("return String(drawn);")); };
    constexpr int kIntervalMs = 100;
    web.setFrameInterval(kIntervalMs);

    // Runs one after the other, each changing what the page shows: about one
    // frame a second is drawn (the first one perhaps at once), where the
    // interval alone would allow 25; the engine runs up to four frames ahead
    // of the one drawn.
    QElapsedTimer clock;
    const int before = drawn();
    clock.start();
    for (int i = 0; clock.elapsed() < 2500; ++i)
        web.runScriptText(std::string("document.querySelector('div').style.background='") +
                          (i % 2 ? "#00ff00" : "#ff0000") + "';");
    const int busyFrames = drawn() - before;
    QVERIFY2(busyFrames >= 1, "the page still runs its animation frames");
    QVERIFY2(busyFrames <= 5 * (clock.elapsed() / 1000 + 2), qPrintable(QString::number(busyFrames)));

    // Once the runs pause, the page's frames come at the view's rate again:
    // about 30 drawn in 3 s (27 animation frames counted on an idle
    // machine), where a view left at one a second made 3.
    const int idleBefore = drawn();
    QTest::qWait(3000);
    const int idleFrames = drawn() - idleBefore;
    QVERIFY2(idleFrames >= 15, qPrintable(QString::number(idleFrames)));
}

void TestWebViewView::wheelScrollsAndContextMenuReachesPage()
{
    HostedView hosted({300, 200}, m_pages.write("long.html",
                             "<!doctype html><html><head><title>none</title></head>"
                             "<body style='margin:0;height:3000px'"
                             " oncontextmenu=\"menus++;document.title='menu '+menus+' at '+event.clientX+','+event.clientY;return false\">"
                             "<script>var menus=0</script>"
                             "<script>onscroll=function(){document.title='scrolled'}</script>" +
                                 kReadyScript + "</body></html>"));
    auto& [host, web] = hosted;
    QVERIFY(titleBecomes(web, "ready"));
    QVERIFY(waitUntil([&] { return web.engine().getContentHeight() == 3000; }));
    web.fireMouseWheelEvent(100, 100, -120, 0);
    QVERIFY(titleBecomes(web, "scrolled"));
    const wkeWebView view = web.engine().getViewHandle();
    QVERIFY(WKE_CALL(wkeFireContextMenuEvent)(view, 30, 40, 0));
    QVERIFY(titleBecomes(web, "menu 1 at 30,40"));
    // After a right click at the same point the menu is already open: the
    // context-menu event that follows adds no second one.
    web.fireMouseEvent(WKE_MSG_RBUTTONDOWN, 60, 70, WKE_RBUTTON);
    web.fireMouseEvent(WKE_MSG_RBUTTONUP, 60, 70, 0);
    QVERIFY(WKE_CALL(wkeFireContextMenuEvent)(view, 60, 70, 0));
    QVERIFY(titleBecomes(web, "menu 2 at 60,70"));
    QVERIFY(WKE_CALL(wkeFireContextMenuEvent)(view, 5, 6, 0));
    QVERIFY(titleBecomes(web, "menu 3 at 5,6"));
}

void TestWebViewView::caretAndEditorCommands()
{
    HostedView hosted({300, 200}, m_pages.write("edit.html",
                             "<!doctype html><html><head><title>none</title></head><body style='margin:0'>"
                             "<input id=f value='abc' style='position:absolute;left:50px;top:60px;width:150px;height:30px'"
                             " oninput=\"document.title='v:'+this.value\" onselect=\"document.title='selected'\""
                             " oncontextmenu=\"document.title='menu on '+this.id;return false\">" +
                                 kReadyScript + "</body></html>"));
    auto& [host, web] = hosted;
    QVERIFY(titleBecomes(web, "ready"));
    web.engine().setFocus();
    web.fireMouseEvent(WKE_MSG_LBUTTONDOWN, 120, 75, WKE_LBUTTON);
    web.fireMouseEvent(WKE_MSG_LBUTTONUP, 120, 75, 0);
    const wkeWebView view = web.engine().getViewHandle();
    QVERIFY(waitUntil([&] { return WKE_CALL(wkeGetCaretRect)(view).h > 0; }));
    const wkeRect caret = WKE_CALL(wkeGetCaretRect)(view);
    QVERIFY2(QRect(50, 60, 150, 30).contains(QPoint(caret.x, caret.y)),
             qPrintable(QStringLiteral("%1,%2").arg(caret.x).arg(caret.y)));

    // Asked for from the keyboard: the menu of the focused element.
    QVERIFY(WKE_CALL(wkeFireContextMenuEvent)(view, -1, -1, 0));
    QVERIFY(titleBecomes(web, "menu on f"));

    web.engine().editorSelectAll();
    QVERIFY(titleBecomes(web, "selected"));
    web.engine().editorDelete();
    QVERIFY(titleBecomes(web, "v:"));
    web.engine().editorUndo();
    QVERIFY(titleBecomes(web, "v:abc"));
}

void TestWebViewView::historyAndContentSize()
{
    HostedView hosted({300, 200}, m_pages.write("first.html", "<html><head><title>first</title></head></html>"));
    auto& [host, web] = hosted;
    QVERIFY(titleBecomes(web, "first"));
    QVERIFY(!web.engine().canGoBack());
    QVERIFY(!web.goBack());
    web.loadUrl(m_pages.write("wide.html", "<html><head><title>wide</title></head>"
                                           "<body style='margin:0'><div style='width:1200px;height:900px'></div></body></html>"));
    QVERIFY(titleBecomes(web, "wide"));
    QVERIFY(waitUntil([&] { return web.engine().getContentWidth() == 1200; }));
    QCOMPARE(web.engine().getContentHeight(), 900);
    QVERIFY(web.engine().canGoBack());
    QVERIFY(web.goBack());
    QVERIFY(titleBecomes(web, "first"));
    QVERIFY(waitUntil([&] { return web.engine().canGoForward(); }));
    QVERIFY(web.goForward());
    QVERIFY(titleBecomes(web, "wide"));
}

void TestWebViewView::loadsHtml_data()
{
    QTest::addColumn<int>("padding");
    QTest::newRow("small") << 0;
    // Beyond what Chromium takes as a data URL.
    QTest::newRow("3 MB") << 3 * 1024 * 1024;
}

void TestWebViewView::loadsHtml()
{
    QFETCH(int, padding);
    HostedView hosted({200, 100}, "");
    auto& [host, web] = hosted;
    const std::string html = rt::gb("<html><head><title>内容</title></head><body><!--") +
                             std::string(size_t(padding), 'x') + "--></body></html>";
    web.loadHtml(html);
    QVERIFY(titleBecomes(web, rt::gb("内容")));
    QVERIFY(waitUntil([&] { return web.isLoadingSucceeded(); }));
}

QTEST_MAIN(TestWebViewView)
#include "test_webview_view.moc"
