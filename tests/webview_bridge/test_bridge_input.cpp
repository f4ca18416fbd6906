// Posted mouse input and moveToElement on the real engine: the page sees
// trusted input at the posted points, in the posted order; moveToElement
// scrolls the element into view and clicks near its top right.
#include "bridgetest.h"

using namespace bridge_test;

namespace {
QString q(const std::string& s) { return rt::gbToQString(s); }
}  // namespace

class TestBridgeInput : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void postedInput_data();
    void postedInput();
    void nothingWithoutWindow();
    void scrollOperations();
    void moveToVisibleElement_data();
    void moveToVisibleElement();
    void moveScrollsToFarElement();
    void moveToMissingElement();
    void moveStopsWhenPageCannotScroll();
    void bothDocumentModes_data();
    void bothDocumentModes();

private:
    // Waits until the page recorded count entries in the array named list.
    bool recorded(const char* list, int count)
    {
        return waitUntil([&] {
            return m_view.eval(std::string(list) + ".length") == std::to_string(count);
        }, 5000);
    }

    bridge_test::HostedView m_view;
};

void TestBridgeInput::initTestCase() { QVERIFY(m_view.start(400, 300)); }

void TestBridgeInput::postedInput_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("expected");
    // The move carries the right-button key state whatever the button.
    const QString move = "mousemove ttrue b0 s2 d0 80,60|";
    QTest::newRow("left click") << 0 << 0
        << move + "mousedown ttrue b0 s1 d1 80,60|mouseup ttrue b0 s0 d1 80,60|click ttrue b0 s0 d1 80,60";
    // As from a mouse: two clicks, the second counted 2, then dblclick.
    QTest::newRow("left double-click") << 0 << 2
        << move + "mousedown ttrue b0 s1 d1 80,60|mouseup ttrue b0 s0 d1 80,60|click ttrue b0 s0 d1 80,60|"
                  "mousedown ttrue b0 s1 d2 80,60|mouseup ttrue b0 s0 d2 80,60|click ttrue b0 s0 d2 80,60|"
                  "dblclick ttrue b0 s0 d2 80,60";
    QTest::newRow("left press") << 0 << 3 << move + "mousedown ttrue b0 s1 d1 80,60";
    // The page's context menu comes from the right button alone. (The
    // release is posted with the right-button key state; the engine reports
    // the released button as up.)
    QTest::newRow("right click") << 2 << 0
        << move + "mousedown ttrue b2 s2 d1 80,60|contextmenu ttrue b2 s2 d0 80,60|"
                  "mouseup ttrue b2 s0 d1 80,60|auxclick ttrue b2 s0 d1 80,60";
    QTest::newRow("middle click") << 3 << 0
        << move + "mousedown ttrue b1 s4 d1 80,60|mouseup ttrue b1 s0 d1 80,60|auxclick ttrue b1 s0 d1 80,60";
    QTest::newRow("wheel forward") << 4 << 0 << "wheel ttrue dy- 80,60";
    QTest::newRow("wheel backward") << 5 << 0 << "wheel ttrue dy+ 80,60";
    QTest::newRow("other button: move only") << 7 << 0 << "mousemove ttrue b0 s2 d0 80,60";
}

void TestBridgeInput::postedInput()
{
    QFETCH(int, button);
    QFETCH(int, action);
    QFETCH(QString, expected);
    QVERIFY(m_view.open("mouse.html"));
    // Apart from the previous row by more than the double-click interval,
    // so that the engine counts the clicks of this row alone.
    QTest::qWait(500);
    QCOMPARE(m_view.web.postMouseMessages(&m_view.host, 80, 60, button, action), 1);
    const int count = int(expected.count('|')) + 1;
    QVERIFY2(recorded("events", count), m_view.eval("events.join('|')").c_str());
    // Nothing more arrives.
    QTest::qWait(200);
    QCOMPARE(q(m_view.eval("events.join('|')")), expected);
}

void TestBridgeInput::nothingWithoutWindow()
{
    QVERIFY(m_view.open("mouse.html"));
    QCOMPARE(m_view.web.postMouseMessages(), 0);
    QCOMPARE(m_view.web.postMouseMessages(nullptr, 80, 60, 0, 0), 0);
    QTest::qWait(200);
    QCOMPARE(q(m_view.eval("events.length")), QString("0"));
}

// Quirks mode, where the body scrolls.
void TestBridgeInput::scrollOperations()
{
    webview::WebView& web = m_view.web;
    QVERIFY(m_view.open("scroll.html"));
    web.scrollTo(0, 0);
    int x = -1, y = -1;
    QCOMPARE(web.getScrollPosition(x, y), std::string("success"));
    QCOMPARE(x, 0);
    QCOMPARE(y, 0);
    QCOMPARE(web.scrollTo(100, 200), std::string("success"));
    QCOMPARE(web.getScrollPosition(x, y), std::string("success"));
    QCOMPARE(x, 100);
    QCOMPARE(y, 200);
    // Only y: x stays.
    QCOMPARE(web.scrollTo(std::nullopt, 500), std::string("success"));
    QCOMPARE(web.getScrollPosition(x, y), std::string("success"));
    QCOMPARE(x, 100);
    QCOMPARE(y, 500);
    QCOMPARE(web.scrollTo(30), std::string("success"));
    QCOMPARE(web.getScrollPosition(x, y), std::string("success"));
    QCOMPARE(x, 30);
    QCOMPARE(y, 500);
    // The page position adds the scroll offset.
    QCOMPARE(web.getElementPosition("button", "far"), std::string("1800,2500"));
}

// An element in view: no scrolling, one trusted click on its top edge 5
// pixels inside the right end of its client width (50 wide when that is 0).
void TestBridgeInput::moveToVisibleElement_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("click");
    QTest::newRow("button 100 wide") << "near" << "near true 135,30";
    QTest::newRow("inline element, client width 0") << "inline" << "inline true 65,120";
}

void TestBridgeInput::moveToVisibleElement()
{
    QFETCH(QString, id);
    QFETCH(QString, click);
    webview::WebView& web = m_view.web;
    QVERIFY(m_view.open("scroll.html"));
    web.scrollTo(0, 0);  // a page loaded again keeps its scroll position
    QCOMPARE(web.moveToElement("button", "far", &m_view.host, true, 0, "", "nothing"), 0);
    QCOMPARE(web.moveToElement(id == "near" ? "button" : "span", rt::qstringToGb(id), &m_view.host), 1);
    QVERIFY(recorded("clicks", 1));
    QCOMPARE(q(m_view.eval("clicks[0]")), click);
    int x = -1, y = -1;
    web.getScrollPosition(x, y);
    QCOMPARE(x, 0);
    QCOMPARE(y, 0);
}

// 400 x 300 host, element at (1800, 2500), 120 x 30: scrolled right until
// 1800 + 132 fits (1540) and down until 2500 + 42 fits (2250).
void TestBridgeInput::moveScrollsToFarElement()
{
    webview::WebView& web = m_view.web;
    QVERIFY(m_view.open("scroll.html"));
    web.scrollTo(0, 0);
    QCOMPARE(web.moveToElement("button", "far", &m_view.host), 1);
    int x = -1, y = -1;
    web.getScrollPosition(x, y);
    QCOMPARE(x, 1540);
    QCOMPARE(y, 2250);
    QVERIFY(recorded("clicks", 1));
    QCOMPARE(q(m_view.eval("clicks[0]")), QString("far true 375,250"));

    // Back left and up when the page is scrolled past the element.
    QVERIFY(m_view.open("scroll.html"));
    web.scrollTo(2500, 3500);
    QCOMPARE(web.moveToElement("button", "near", &m_view.host), 1);
    web.getScrollPosition(x, y);
    QCOMPARE(x, 40);
    QCOMPARE(y, 30);
    QVERIFY(recorded("clicks", 1));
    QCOMPARE(q(m_view.eval("clicks[0]")), QString("near true 95,0"));
}

void TestBridgeInput::moveToMissingElement()
{
    webview::WebView& web = m_view.web;
    QVERIFY(m_view.open("scroll.html"));
    web.scrollTo(10, 20);
    QCOMPARE(web.moveToElement("button", "nothing", &m_view.host), 0);
    int x = -1, y = -1;
    web.getScrollPosition(x, y);
    QCOMPARE(x, 10);
    QCOMPARE(y, 20);
    QTest::qWait(200);
    QCOMPARE(q(m_view.eval("clicks.length")), QString("0"));
}

// A page that cannot scroll as far as the element: the loops stop at the
// first step that changes nothing instead of running for ever. The page
// counts the steps: one rightwards and one downwards.
void TestBridgeInput::moveStopsWhenPageCannotScroll()
{
    webview::WebView& web = m_view.web;
    QVERIFY(m_view.open("standards_scroll.html"));
    QCOMPARE(web.moveToElement("button", "far", &m_view.host), 1);
    QCOMPARE(q(m_view.eval("scrollCalls")), QString("2"));
    // And without a window (client size 0) as well.
    QCOMPARE(web.moveToElement("button", "far", nullptr), 1);
    QCOMPARE(q(m_view.eval("scrollCalls")), QString("4"));
}


// The same element 900 px down, in quirks mode (the body scrolls) and in
// standards mode (the root element scrolls): page positions, scrolling that
// keeps the other coordinate, and a move that scrolls it into view and clicks.
void TestBridgeInput::bothDocumentModes_data()
{
    QTest::addColumn<QString>("page");
    QTest::newRow("quirks") << "far_quirks.html";
    QTest::newRow("standards") << "far_standards.html";
}

void TestBridgeInput::bothDocumentModes()
{
    QFETCH(QString, page);
    const QByteArray name = page.toUtf8();
    webview::WebView& web = m_view.web;
    QVERIFY(m_view.open(name.constData()));
    web.scrollTo(0, 0);
    QCOMPARE(web.getElementPosition("button", "far"), std::string("20,900"));
    QCOMPARE(web.scrollTo(std::nullopt, 500), std::string("success"));
    int x = -1, y = -1;
    QCOMPARE(web.getScrollPosition(x, y), std::string("success"));
    QCOMPARE(QPoint(x, y), QPoint(0, 500));
    QCOMPARE(q(m_view.eval("Math.round(document.getElementById('far').getBoundingClientRect().top)")),
             QString("400"));
    QCOMPARE(web.getElementPosition("button", "far"), std::string("20,900"));
    QCOMPARE(web.scrollTo(15), std::string("success"));
    web.getScrollPosition(x, y);
    QCOMPARE(QPoint(x, y), QPoint(15, 500));

    // 300 px high: scrolled down in 10 px steps until 900 + 24 + 12 fits.
    web.scrollTo(0, 0);
    QCOMPARE(web.moveToElement("button", "far", &m_view.host), 1);
    web.getScrollPosition(x, y);
    QCOMPARE(QPoint(x, y), QPoint(0, 640));
    QVERIFY(recorded("clicks", 1));
    QCOMPARE(q(m_view.eval("clicks[0]")), QString("far true 115,260"));
}

QTEST_MAIN(TestBridgeInput)
#include "test_bridge_input.moc"
