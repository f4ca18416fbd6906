#pragma once
// Helpers for tests that run the real engine offscreen.
#include "testenv.h"

#include "runtime/textcodec.h"
#include "webview/webview.h"

#include <QColor>
#include <QHash>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <functional>

namespace webview_test {

// Engine start and page loads get this long.
constexpr int kLoadTimeoutMs = 15000;

// Local pages written into a temporary folder.
class Pages {
public:
    // Writes html (UTF-8) and returns its path as byte text.
    std::string write(const QString& name, const QByteArray& html)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(html) != html.size())
            qFatal("cannot write a test page");
        return rt::qstringToGb(path);
    }
    QString folder() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

// Runs the event loop until predicate holds or the time is up. Unlike
// QTest::qWaitFor it never sleeps between passes: Chromium's UI thread tasks
// run through this loop, and a sleep per pass slows a page load tenfold.
template <typename Predicate>
bool waitUntil(Predicate predicate, int timeoutMs = kLoadTimeoutMs)
{
    if (predicate())
        return true;
    QEventLoop loop;
    QTimer poll;
    bool holds = false;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (predicate()) {
            holds = true;
            loop.quit();
        }
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    poll.start(5);
    loop.exec();
    return holds || predicate();
}

inline QColor pixelAt(QWidget* widget, QPoint point)
{
    return widget->grab().toImage().pixelColor(point);
}

// Whether the widget shows colour at point within the time given.
inline bool showsColour(QWidget* widget, QPoint point, QColor colour, int timeoutMs = kLoadTimeoutMs)
{
    return waitUntil([&] { return pixelAt(widget, point) == colour; }, timeoutMs);
}

inline bool titleBecomes(const webview::WebView& web, const std::string& title,
                         int timeoutMs = kLoadTimeoutMs)
{
    return waitUntil([&] { return web.engine().getTitle() == title; }, timeoutMs);
}

inline bool loads(const webview::WebView& web, int timeoutMs = kLoadTimeoutMs)
{
    return waitUntil([&] { return web.isLoadingCompleted(); }, timeoutMs);
}

// An HTTP server on 127.0.0.1 (or another loopback address, for a second
// origin) answering each request with what respond gives for its head
// (request line and headers). Connections close after one answer.
class HttpServer : public QObject {
public:
    explicit HttpServer(std::function<QByteArray(const QByteArray& head)> respond,
                        const QHostAddress& address = QHostAddress::LocalHost)
        : m_respond(std::move(respond))
    {
        if (!m_server.listen(address))
            qFatal("cannot listen on %s", qPrintable(address.toString()));
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    QByteArray& buffer = m_buffers[socket];
                    buffer += socket->readAll();
                    const qsizetype end = buffer.indexOf("\r\n\r\n");
                    if (end < 0)
                        return;
                    const QByteArray head = buffer.left(end);
                    m_buffers.remove(socket);
                    requests << head;
                    socket->write(m_respond(head));
                    socket->disconnectFromHost();
                });
            }
        });
    }
    quint16 port() const { return m_server.serverPort(); }
    QString origin() const
    {
        return QStringLiteral("http://%1:%2").arg(m_server.serverAddress().toString()).arg(port());
    }

    QList<QByteArray> requests;

private:
    QTcpServer m_server;
    std::function<QByteArray(const QByteArray&)> m_respond;
    QHash<QTcpSocket*, QByteArray> m_buffers;
};

// A complete HTTP/1.1 answer.
inline QByteArray httpAnswer(const QByteArray& body, const QByteArray& extraHeaders = {},
                             const QByteArray& status = "200 OK")
{
    return "HTTP/1.1 " + status + "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
}

// A shown host of the given size with a web view (profile "view") asked to
// load url:   HostedView hosted({300, 200}, url);  auto& [host, web] = hosted;
struct HostedView {
    QWidget host;
    webview::WebView web;

    HostedView(QSize size, const std::string& url, const std::string& profile = "view")
    {
        host.resize(size);
        host.show();
        web.create(&host, profile, url, "");
    }
};

// Sets the page title to "ready" two frames after the page's scripts ran:
// its layout is then on screen and takes input (Chromium sends input to page
// listeners only once its compositor knows of them).
inline const QByteArray kReadyScript =
    "<script>requestAnimationFrame(function(){requestAnimationFrame(function(){"
    "document.title='ready'})})</script>";

// A page whose body is one colour with a box of another at (20, 20), 100 x 60.
inline QByteArray boxPage(const char* background, const char* box)
{
    return QByteArray("<!doctype html><html><head><title>box</title></head>"
                      "<body style='margin:0;background:") +
           background +
           "'><div style='position:absolute;left:20px;top:20px;width:100px;height:60px;background:" +
           box + "'></div></body></html>";
}

}  // namespace webview_test
