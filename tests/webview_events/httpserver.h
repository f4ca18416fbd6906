#pragma once
// A minimal HTTP/1.1 server on 127.0.0.1 for the tests: answers each request
// from a table of routes (or a function), records every request as it
// arrived, and closes the connection after each response. Given a TLS
// configuration it serves https.
#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QPair>
#include <QPointer>
#include <QSslConfiguration>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>
#include <utility>
#include <memory>

namespace events_test {

struct RecordedRequest {
    QByteArray method;
    QByteArray target;
    QByteArray version;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    QByteArray raw;  // the bytes as received

    QByteArray header(const QByteArray& name) const
    {
        for (const auto& field : headers) {
            if (field.first.compare(name, Qt::CaseInsensitive) == 0)
                return field.second;
        }
        return {};
    }
    bool hasHeader(const QByteArray& name) const
    {
        for (const auto& field : headers) {
            if (field.first.compare(name, Qt::CaseInsensitive) == 0)
                return true;
        }
        return false;
    }
};

class HttpServer : public QObject {
public:
    // The whole response (status line, fields, body) for a request.
    using Handler = std::function<QByteArray(const RecordedRequest&)>;

    explicit HttpServer(const QSslConfiguration& tls = QSslConfiguration())
    {
        if (tls.isNull()) {
            m_server = std::make_unique<QTcpServer>();
        } else {
            auto server = std::make_unique<QSslServer>();
            server->setSslConfiguration(tls);
            m_server = std::move(server);
            m_scheme = "https";
        }
        // An https connection is pending once its handshake is done.
        const auto serveAll = [this] {
            while (QTcpSocket* socket = m_server->nextPendingConnection())
                serve(socket);
        };
        QObject::connect(m_server.get(), &QTcpServer::newConnection, this, serveAll);
        QObject::connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, this, serveAll);
        if (!m_server->listen(QHostAddress::LocalHost, 0))
            qFatal("test server cannot listen");
    }

    quint16 port() const { return m_server->serverPort(); }
    QByteArray url(const QByteArray& path, const QByteArray& host = "127.0.0.1") const
    {
        return m_scheme + "://" + host + ':' + QByteArray::number(port()) + path;
    }

    static QByteArray response(const QByteArray& body, const QByteArray& type = "text/html",
                               const QList<QByteArray>& extraFields = {}, int status = 200)
    {
        QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + (status == 200 ? " OK" : " X") +
                         "\r\nContent-Type: " + type + "\r\nContent-Length: " +
                         QByteArray::number(body.size()) + "\r\n";
        for (const QByteArray& field : extraFields)
            out += field + "\r\n";
        return out + "\r\n" + body;
    }

    static QByteArray chunkedResponse(const QList<QByteArray>& chunks, const QByteArray& type = "text/html")
    {
        QByteArray out = "HTTP/1.1 200 OK\r\nContent-Type: " + type + "\r\nTransfer-Encoding: chunked\r\n\r\n";
        for (const QByteArray& chunk : chunks)
            out += QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n";
        return out + "0\r\n\r\n";
    }

    void route(const QByteArray& path, const QByteArray& wholeResponse) { m_routes[path] = wholeResponse; }
    void setHandler(Handler handler) { m_handler = std::move(handler); }
    // A response that stays open: start (head and first bytes) goes out at
    // once, more with push(), and close() ends it.
    void routeOpen(const QByteArray& path, const QByteArray& start) { m_openRoutes[path] = start; }
    void push(const QByteArray& bytes)
    {
        for (const QPointer<QTcpSocket>& socket : m_open) {
            if (socket)
                socket->write(bytes);
        }
    }
    void closeOpen()
    {
        for (const QPointer<QTcpSocket>& socket : std::exchange(m_open, {})) {
            if (socket)
                socket->disconnectFromHost();
        }
    }
    // Keeps each connection open for the client's next request.
    void setKeepAlive(bool keep) { m_keepAlive = keep; }

    const QList<RecordedRequest>& requests() const { return m_requests; }
    QList<RecordedRequest> requestsFor(const QByteArray& path) const
    {
        QList<RecordedRequest> found;
        for (const RecordedRequest& r : m_requests) {
            if (r.target == path || r.target.endsWith(path))
                found << r;
        }
        return found;
    }

private:
    void serve(QTcpSocket* socket)
    {
        auto* buffer = new QByteArray;
        QObject::connect(socket, &QTcpSocket::disconnected, socket, [socket, buffer] {
            delete buffer;
            socket->deleteLater();
        });
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
            *buffer += socket->readAll();
            RecordedRequest request;
            if (!parse(*buffer, &request))
                return;
            buffer->clear();
            m_requests << request;
            const QByteArray openPath = request.target.split('?').first();
            if (m_openRoutes.contains(openPath)) {
                socket->write(m_openRoutes[openPath]);
                m_open << socket;
                return;
            }
            QByteArray answer;
            if (m_handler)
                answer = m_handler(request);
            if (answer.isEmpty()) {
                QByteArray path = request.target;
                const qsizetype query = path.indexOf('?');
                if (query >= 0)
                    path.truncate(query);
                answer = m_routes.value(path, response("not found", "text/plain", {}, 404));
            }
            socket->write(answer);
            if (!m_keepAlive)
                socket->disconnectFromHost();
        });
    }

    // A whole request (head and Content-Length body) at the start of data.
    static bool parse(const QByteArray& data, RecordedRequest* out)
    {
        const qsizetype end = data.indexOf("\r\n\r\n");
        if (end < 0)
            return false;
        const QList<QByteArray> lines = data.left(end).split('\n');
        const QList<QByteArray> first = lines[0].trimmed().split(' ');
        if (first.size() != 3)
            return false;
        out->method = first[0];
        out->target = first[1];
        out->version = first[2];
        out->headers.clear();
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon > 0)
                out->headers.append({line.left(colon), line.mid(colon + 1).trimmed()});
        }
        const qsizetype length = out->header("Content-Length").toLongLong();
        if (data.size() - (end + 4) < length)
            return false;
        out->body = data.mid(end + 4, length);
        out->raw = data.left(end + 4 + length);
        return true;
    }

    std::unique_ptr<QTcpServer> m_server;
    QByteArray m_scheme = "http";
    bool m_keepAlive = false;
    QMap<QByteArray, QByteArray> m_openRoutes;
    QList<QPointer<QTcpSocket>> m_open;
    QMap<QByteArray, QByteArray> m_routes;
    Handler m_handler;
    QList<RecordedRequest> m_requests;
};

}  // namespace events_test
