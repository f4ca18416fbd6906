#pragma once
// Shared by the real-engine tests of the script tool. Included first: before
// main it points HOME and the XDG folders at a fresh temporary folder (removed
// at exit), so that neither the test nor the engine nor a child tolvane-fill
// writes into the real home folder, and prepares the application for the
// engine. Also a waiting helper and a small HTTP server on 127.0.0.1.
#include "webview/appsetup.h"

#include <QByteArray>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <functional>

namespace fill_test {

inline std::filesystem::path& tempRoot()
{
    static std::filesystem::path root;
    return root;
}

inline const bool environmentReady = [] {
    char pattern[] = "/tmp/tolvane-fill-test-XXXXXX";
    if (!::mkdtemp(pattern))
        std::abort();
    tempRoot() = pattern;
    for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"}) {
        const std::filesystem::path p = tempRoot() / name;
        std::filesystem::create_directories(p);
        std::filesystem::permissions(p, std::filesystem::perms::owner_all);
        qputenv(name, QByteArray(p.c_str()));
    }
    qputenv("QT_LOGGING_RULES", "qt.webenginecontext.info=false");
    webview::prepareApplication();
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(tempRoot(), ignored);
    });
    return true;
}();

// Runs the event loop until predicate holds or the time is up. It never
// sleeps between checks: the engine's tasks run through this loop.
template <typename Predicate>
bool waitUntil(Predicate predicate, int timeoutMs = 15000)
{
    if (predicate())
        return true;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (predicate())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    poll.start(5);
    loop.exec();
    return predicate();
}

inline QByteArray httpAnswer(const QByteArray& status, const QByteArray& body)
{
    return "HTTP/1.1 " + status + "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

// Serves GET requests on 127.0.0.1 with what `page` gives for the path
// (a null array: 404). One answer per connection.
class PageServer : public QObject {
public:
    explicit PageServer(std::function<QByteArray(const QByteArray& path)> page) : m_page(std::move(page))
    {
        if (!m_server.listen(QHostAddress::LocalHost))
            qFatal("cannot listen on 127.0.0.1");
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    QByteArray& buffer = m_buffers[socket];
                    buffer += socket->readAll();
                    const qsizetype end = buffer.indexOf("\r\n\r\n");
                    if (end < 0)
                        return;
                    const QList<QByteArray> requestLine = buffer.left(buffer.indexOf("\r\n")).split(' ');
                    m_buffers.remove(socket);
                    const QByteArray body = requestLine.size() > 1 ? m_page(requestLine[1]) : QByteArray();
                    socket->write(body.isNull() ? httpAnswer("404 Not Found", "missing") : httpAnswer("200 OK", body));
                    socket->disconnectFromHost();
                });
            }
        });
    }
    QString origin() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }

private:
    QTcpServer m_server;
    std::function<QByteArray(const QByteArray&)> m_page;
    QHash<QTcpSocket*, QByteArray> m_buffers;
};

}  // namespace fill_test
