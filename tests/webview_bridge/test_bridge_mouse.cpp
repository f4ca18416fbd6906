// Posted mouse input: which events are posted, in which order, with which
// buttons, key states and points, and to which widget.
#include "webview/bridge/mouseinput.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>
#include <QWidget>

namespace {

// A widget that records the mouse events it receives as text.
class Recorder : public QWidget {
public:
    using QWidget::QWidget;
    QStringList events;

protected:
    bool event(QEvent* e) override
    {
        switch (e->type()) {
        case QEvent::MouseMove:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick: {
            auto* m = static_cast<QMouseEvent*>(e);
            const char* kind = e->type() == QEvent::MouseMove            ? "move"
                               : e->type() == QEvent::MouseButtonPress   ? "press"
                               : e->type() == QEvent::MouseButtonRelease ? "release"
                                                                         : "dblclick";
            events << QStringLiteral("%1 b%2 s%3 %4,%5 g%6,%7")
                          .arg(kind)
                          .arg(int(m->button()))
                          .arg(int(m->buttons()))
                          .arg(m->position().x())
                          .arg(m->position().y())
                          .arg(m->globalPosition().x() - mapToGlobal(QPointF(0, 0)).x())
                          .arg(m->globalPosition().y() - mapToGlobal(QPointF(0, 0)).y());
            return true;
        }
        case QEvent::Wheel: {
            auto* w = static_cast<QWheelEvent*>(e);
            events << QStringLiteral("wheel %1 s%2 %3,%4")
                          .arg(w->angleDelta().y())
                          .arg(int(w->buttons()))
                          .arg(w->position().x())
                          .arg(w->position().y());
            return true;
        }
        case QEvent::ContextMenu:
            events << QStringLiteral("contextmenu");
            return true;
        default:
            return QWidget::event(e);
        }
    }
};

}  // namespace

class TestBridgeMouse : public QObject {
    Q_OBJECT
private slots:
    void sequences_data();
    void sequences();
    void postsToFocusProxy();
    void nothingWithoutWindow();
};

// Buttons: 1 left, 2 right, 4 middle. Points are local, then relative to the
// widget's own screen origin.
void TestBridgeMouse::sequences_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("action");
    QTest::addColumn<QStringList>("expected");
    const QString move = "move b0 s2 30,40 g30,40";
    QTest::newRow("left click") << 0 << 0
        << QStringList{move, "press b1 s1 30,40 g30,40", "release b1 s0 30,40 g30,40"};
    QTest::newRow("button 1 action 1 is a left click") << 1 << 1
        << QStringList{move, "press b1 s1 30,40 g30,40", "release b1 s0 30,40 g30,40"};
    // The double-click message is the second press, never Qt's double click;
    // the second release follows it, as from a mouse.
    QTest::newRow("left double-click") << 0 << 2
        << QStringList{move, "press b1 s1 30,40 g30,40", "release b1 s0 30,40 g30,40",
                       "press b1 s1 30,40 g30,40", "release b1 s0 30,40 g30,40"};
    QTest::newRow("left press only") << 0 << 3 << QStringList{move, "press b1 s1 30,40 g30,40"};
    QTest::newRow("left release only") << 0 << 4 << QStringList{move, "release b1 s0 30,40 g30,40"};
    // The context-menu message adds nothing: the page's menu comes from the press.
    QTest::newRow("right click") << 2 << 0
        << QStringList{move, "press b2 s2 30,40 g30,40", "release b2 s2 30,40 g30,40"};
    QTest::newRow("right double-click") << 2 << 2
        << QStringList{move, "press b2 s2 30,40 g30,40", "release b2 s2 30,40 g30,40",
                       "press b2 s2 30,40 g30,40", "release b2 s2 30,40 g30,40"};
    QTest::newRow("right press only") << 2 << 3 << QStringList{move, "press b2 s2 30,40 g30,40"};
    QTest::newRow("middle click") << 3 << 0
        << QStringList{move, "press b4 s4 30,40 g30,40", "release b4 s0 30,40 g30,40"};
    QTest::newRow("middle double-click") << 3 << 2
        << QStringList{move, "press b4 s4 30,40 g30,40", "release b4 s0 30,40 g30,40",
                       "press b4 s4 30,40 g30,40", "release b4 s0 30,40 g30,40"};
    QTest::newRow("middle release only") << 3 << 4 << QStringList{move, "release b4 s0 30,40 g30,40"};
    QTest::newRow("wheel forward") << 4 << 0 << QStringList{"wheel 120 s4 30,40"};
    QTest::newRow("wheel backward") << 5 << 3 << QStringList{"wheel -120 s4 30,40"};
    QTest::newRow("other button: move only") << 6 << 0 << QStringList{move};
    QTest::newRow("other action: move only") << 0 << 5 << QStringList{move};
    QTest::newRow("negative action: move only") << 2 << -1 << QStringList{move};
}

void TestBridgeMouse::sequences()
{
    QFETCH(int, button);
    QFETCH(int, action);
    QFETCH(QStringList, expected);
    QWidget top;
    top.move(100, 50);
    top.resize(300, 200);
    auto* window = new Recorder(&top);
    window->setGeometry(10, 20, 200, 100);
    top.show();
    QVERIFY(QTest::qWaitForWindowExposed(&top));

    QCOMPARE(webview::bridge::postMouseMessages(window, 30, 40, button, action), 1);
    // Posted, not sent: nothing arrives before the event loop runs.
    QVERIFY(window->events.isEmpty());
    QCoreApplication::processEvents();
    QCOMPARE(window->events, expected);
}

// A host whose input goes to a focus proxy (as a hosted engine view's does):
// the events reach the proxy, at the same screen point.
void TestBridgeMouse::postsToFocusProxy()
{
    QWidget top;
    top.resize(300, 200);
    auto* host = new Recorder(&top);
    host->setGeometry(0, 0, 300, 200);
    auto* inner = new QWidget(host);
    inner->setGeometry(5, 5, 290, 190);
    auto* proxy = new Recorder(inner);
    proxy->setGeometry(10, 15, 250, 150);
    host->setFocusProxy(inner);
    inner->setFocusProxy(proxy);
    top.show();
    QVERIFY(QTest::qWaitForWindowExposed(&top));

    QCOMPARE(webview::bridge::inputReceiver(host), proxy);
    webview::bridge::postMouseMessages(host, 30, 40, 0, 3);
    webview::bridge::postMouseMessages(host, 30, 40, 4, 0);
    QCoreApplication::processEvents();
    QVERIFY(host->events.isEmpty());
    QCOMPARE(proxy->events, (QStringList{"move b0 s2 15,20 g15,20", "press b1 s1 15,20 g15,20",
                                         "wheel 120 s4 15,20"}));
}

void TestBridgeMouse::nothingWithoutWindow()
{
    QCOMPARE(webview::bridge::postMouseMessages(nullptr, 30, 40, 0, 0), 0);
    QCOMPARE(webview::bridge::postMouseMessages(nullptr, 2, 2, 4, 0), 0);
}

QTEST_MAIN(TestBridgeMouse)
#include "test_bridge_mouse.moc"
