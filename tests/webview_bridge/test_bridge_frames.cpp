// Frame paths into frames of other origins, nested, served by real local
// servers on three loopback addresses: 127.0.0.1 frames a page of 127.0.0.2,
// which frames one of 127.0.0.1 again and one of 127.0.0.3 (whose policy
// forbids eval). Where the engine runs scripts in every frame each command
// reaches them; elsewhere each answers "error" and the console says why once.
#include "bridgetest.h"

#include "webview/engine/qtfeatures.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <map>
#include <memory>

using namespace bridge_test;

namespace {

// Serves fixed pages by path on one loopback address.
class PageServer : public QObject {
public:
    explicit PageServer(const char* address)
    {
        if (!m_server.listen(QHostAddress(QString::fromLatin1(address))))
            qFatal("cannot listen on %s", address);
        m_origin = QByteArray("http://") + address + ':' + QByteArray::number(m_server.serverPort());
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    m_buffers[socket] += socket->readAll();
                    const QByteArray& buffer = m_buffers[socket];
                    if (!buffer.contains("\r\n\r\n"))
                        return;
                    const QByteArray path = buffer.split(' ').value(1).split('?').value(0);
                    m_buffers.remove(socket);
                    const auto page = m_pages.find(path);
                    socket->write(page == m_pages.end()
                                      ? httpAnswer("not here", {}, "404 Not Found")
                                      : httpAnswer(page->second.body, page->second.headers));
                    socket->disconnectFromHost();
                });
            }
        });
    }
    QByteArray origin() const { return m_origin; }
    void page(const QByteArray& path, const QByteArray& body, const QByteArray& headers = {})
    {
        m_pages[path] = {body, headers};
    }

private:
    struct Page {
        QByteArray body;
        QByteArray headers;
    };
    QTcpServer m_server;
    QByteArray m_origin;
    std::map<QByteArray, Page> m_pages;
    QHash<QTcpSocket*, QByteArray> m_buffers;
};

const QByteArray kNoEval = "Content-Security-Policy: script-src 'unsafe-inline'\r\n";

// A form: a field that notes its change events, and a button that fills it.
QByteArray form(const QByteArray& value, const QByteArray& frames = {})
{
    return "<!doctype html><body><input name=\"field\" value=\"" + value +
           "\" onchange=\"this.setAttribute('data-seen', this.value)\">"
           "<button id=\"go\" onclick=\"document.getElementsByName('field')[0].value='clicked'\">go</button>"
           "<input type=\"file\" name=\"upload\">" +
           frames + "</body>";
}

// The engine's console lines saying it reaches the main frame only.
int g_limitLines = 0;
QtMessageHandler g_previousHandler = nullptr;

void countLimitLines(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.contains(QLatin1String("main frame only")))
        ++g_limitLines;
    g_previousHandler(type, context, message);
}

}  // namespace

class TestBridgeFrames : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void commandsReachNestedFrames_data();
    void commandsReachNestedFrames();
    void frameScriptWithoutEval_data();
    void frameScriptWithoutEval();
    void pathsNamingNoFrame();
    void limitSaidOnce();

private:
    bool load(const QByteArray& url);

    PageServer m_one{"127.0.0.1"};
    PageServer m_two{"127.0.0.2"};
    PageServer m_three{"127.0.0.3"};
    std::unique_ptr<bridge_test::HostedView> m_view;
};

void TestBridgeFrames::initTestCase()
{
    g_previousHandler = qInstallMessageHandler(countLimitLines);
    m_one.page("/top.html", "<!doctype html><body><input name=\"field\" value=\"top\">"
                            "<iframe name=\"outer\" id=\"outerFrame\" src=\"" +
                                m_two.origin() + "/mid.html\"></iframe>"
                                "<script>onload = function () { window.allLoaded = 1; };</script></body>");
    m_two.page("/mid.html", form("mid", "<iframe name=\"back\" src=\"" + m_one.origin() +
                                            "/inner.html\"></iframe><iframe name=\"far\" src=\"" +
                                            m_three.origin() + "/leaf.html\"></iframe>"));
    m_one.page("/inner.html", form("back"));
    m_three.page("/leaf.html", form("far"), kNoEval);
    // A frame of the page's own origin whose policy forbids eval.
    m_one.page("/same.html", "<!doctype html><body><iframe name=\"strict\" src=\"/strict.html\"></iframe>"
                             "<script>onload = function () { window.allLoaded = 1; };</script></body>");
    m_one.page("/strict.html", form("strict"), kNoEval);

    m_view = std::make_unique<bridge_test::HostedView>();
    QVERIFY(m_view->start());
}

bool TestBridgeFrames::load(const QByteArray& url)
{
    // A query of its own per load, so the last document is never taken for it.
    static int loads = 0;
    const std::string address = (url + "?load=" + QByteArray::number(++loads)).toStdString();
    m_view->web.loadUrl(address);
    return waitUntil([&] {
        return m_view->eval("location.href") == address && m_view->eval("window.allLoaded") == "1";
    });
}

void TestBridgeFrames::commandsReachNestedFrames_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("origin");
    QTest::addColumn<QString>("page");

    const QString one = m_one.origin(), two = m_two.origin(), three = m_three.origin();
    QTest::newRow("another origin") << "outer" << "mid" << two << "mid.html";
    QTest::newRow("by id") << "outerFrame" << "mid" << two << "mid.html";
    QTest::newRow("own origin inside another") << "outer|back" << "back" << one << "inner.html";
    QTest::newRow("third origin, no eval") << "outer|far" << "far" << three << "leaf.html";
    QTest::newRow("by index") << "0|1" << "far" << three << "leaf.html";
}

void TestBridgeFrames::commandsReachNestedFrames()
{
    QFETCH(QString, path);
    QFETCH(QString, value);
    QFETCH(QString, origin);
    QFETCH(QString, page);
    QVERIFY(load(m_one.origin() + "/top.html"));
    webview::WebView& web = m_view->web;
    const std::string frame = path.toStdString();
    const std::string field = "field";

    if (!engine::kFrameScripts) {
        // Only the main frame takes scripts: every way in fails, none hangs.
        QCOMPARE(web.getValue("input", field, 0, frame), std::string("error"));
        QCOMPARE(web.setValue("input", field, "typed", 0, frame), std::string("error"));
        QCOMPARE(web.click("button", "go", 0, frame), std::string("error"));
        QCOMPARE(web.runFrameScript(frame, "text = 1"), std::string("error"));
        QCOMPARE(web.getPageUrl(frame), std::string("error"));
        QVERIFY(!web.waitForElement("input", field, 1, 0, frame));
        QCOMPARE(web.uploadFile("input", "upload", __FILE__, 0, frame), std::string("error"));
        QCOMPARE(web.getValue("input", "field"), std::string("top"));  // the main frame still answers
        return;
    }
    QCOMPARE(web.getValue("input", field, 0, frame), value.toStdString());
    QVERIFY(web.waitForElement("input", field, 1, 0, frame));
    QCOMPARE(web.getValue("input", "nothing-here", 0, frame), std::string("undefined"));

    QCOMPARE(web.setValue("input", field, "typed", 0, frame), std::string("success"));
    QCOMPARE(web.getValue("input", field, 0, frame), std::string("typed"));
    QCOMPARE(web.fireChange("input", field, 0, frame), std::string("success"));
    QCOMPARE(web.getElementAttribute("input", field, "data-seen", 0, frame), std::string("typed"));

    QCOMPARE(web.click("button", "go", 0, frame), std::string("success"));
    QCOMPARE(web.getValue("input", field, 0, frame), std::string("clicked"));

    QCOMPARE(web.runFrameScript(frame, "text = document.getElementsByName('field')[0].value + '@' + "
                                       "location.origin"),
             "clicked@" + origin.toStdString());
    QCOMPARE(QString::fromStdString(web.getPageUrl(frame)), origin + QStringLiteral("/") + page);
    // The main frame's own field is untouched.
    QCOMPARE(web.getValue("input", "field"), std::string("top"));
    // An upload needs the input's place in the view, which such a frame
    // does not tell: refused, not clicked somewhere else.
    QCOMPARE(web.uploadFile("input", "upload", __FILE__, 0, frame), std::string("error"));
}

void TestBridgeFrames::frameScriptWithoutEval_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("path");

    QTest::newRow("own origin") << "/same.html" << "strict";
    QTest::newRow("another origin, nested") << "/top.html" << "outer|far";
}

void TestBridgeFrames::frameScriptWithoutEval()
{
    QFETCH(QString, page);
    QFETCH(QString, path);
    QVERIFY(load(m_one.origin() + page.toLatin1()));
    webview::WebView& web = m_view->web;
    const std::string frame = path.toStdString();
    if (!engine::kFrameScripts) {
        QCOMPARE(web.runFrameScript(frame, "text = 6 * 7"), std::string("error"));
        return;
    }
    QCOMPARE(web.runFrameScript(frame, "text = 6 * 7"), std::string("42"));
    // Declarations become the frame's globals, as with eval; `text` is the run's own.
    QCOMPARE(web.runFrameScript(frame, "var kept = 5; function twice(n) { return 2 * n; } text = 'set'"),
             std::string("set"));
    QCOMPARE(web.runFrameScript(frame, "text = twice(kept)"), std::string("10"));
    QCOMPARE(web.runFrameScript(frame, "throw new Error('boom')"), std::string("error"));
    QCOMPARE(web.runFrameScript(frame, "text = ("), std::string("error"));
    // The page's eval itself stays forbidden there.
    QCOMPARE(web.runFrameScript(frame, "text = typeof eval('1')"), std::string("error"));
}

void TestBridgeFrames::pathsNamingNoFrame()
{
    if (!engine::kFrameScripts)
        QSKIP("needs scripts in frames of another origin (Qt 6.8)");
    QVERIFY(load(m_one.origin() + "/top.html"));
    webview::WebView& web = m_view->web;
    // Past a frame of another origin, a step that names no frame finds no
    // element and a number past the frames fails, as in frames of the page's
    // own origin.
    QCOMPARE(web.getValue("input", "field", 0, "outer|nosuch"), std::string("undefined"));
    QCOMPARE(web.getValue("input", "field", 0, "outer|7"), std::string("error"));
    QCOMPARE(web.getPageUrl("outer|nosuch"), std::string("error"));
}

void TestBridgeFrames::limitSaidOnce()
{
    // Runs last: every test above asked for frames of another origin.
    QCOMPARE(g_limitLines, engine::kFrameScripts ? 0 : 1);
}

QTEST_MAIN(TestBridgeFrames)
#include "test_bridge_frames.moc"
