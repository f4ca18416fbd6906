#pragma once
// A local form-fill server for the bridge tests: a WebSocket server on
// 127.0.0.1 that accepts bridge connections and records what each one sends.
#include <QList>
#include <QObject>
#include <QStringList>
#include <QWebSocket>
#include <QWebSocketServer>

namespace events_test {

struct Connection {
    QWebSocket* socket = nullptr;
    QString path;
    QString origin;
    QStringList messages;
    bool closed = false;
};

class FillServer : public QObject {
public:
    explicit FillServer(quint16 port = 0) : m_server(QStringLiteral("fill"), QWebSocketServer::NonSecureMode)
    {
        if (!m_server.listen(QHostAddress::LocalHost, port))
            qFatal("fill server cannot listen");
        connect(&m_server, &QWebSocketServer::newConnection, this, [this] {
            while (QWebSocket* socket = m_server.nextPendingConnection()) {
                auto* c = new Connection{socket, socket->requestUrl().path(), socket->origin(), {}};
                m_connections << c;
                connect(socket, &QWebSocket::textMessageReceived, this,
                        [c](const QString& message) { c->messages << message; });
                connect(socket, &QWebSocket::disconnected, this, [c] { c->closed = true; });
            }
        });
    }
    ~FillServer() override
    {
        for (Connection* c : m_connections) {
            c->socket->abort();
            delete c->socket;
            delete c;
        }
    }
    quint16 port() const { return m_server.serverPort(); }
    const QList<Connection*>& connections() const { return m_connections; }

private:
    QWebSocketServer m_server;
    QList<Connection*> m_connections;
};

}  // namespace events_test
