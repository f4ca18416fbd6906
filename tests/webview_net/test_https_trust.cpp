// A key-hash list the program gives Chromium in QTWEBENGINE_CHROMIUM_FLAGS
// stays in force beside the engine's interception authority: a view without
// handlers reaches a server of the listed authority over a plain tunnel, and
// a view with a handler still gets its https ended in the proxy. Real engine
// offscreen, https servers on 127.0.0.1 with a certificate from an authority
// this test makes.
#include "../webview/testenv.h"
#include "../webview_events/httpserver.h"

#include "engine/proxy/tlscerts.h"
#include "webview/engineloader.h"
#include "webview/webview.h"

#include <QApplication>
#include <QSslConfiguration>
#include <QTest>
#include <QWidget>

#include <memory>

using events_test::HttpServer;

namespace {

QSslConfiguration serverTls(const engine::tls::Authority& authority)
{
    const engine::tls::Identity identity = authority.issue(QStringLiteral("127.0.0.1"));
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setLocalCertificateChain({identity.certificate, authority.certificate()});
    config.setPrivateKey(identity.key);
    config.setPeerVerifyMode(QSslSocket::VerifyNone);
    return config;
}

}  // namespace

class TestHttpsTrust : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_authority = engine::tls::Authority::create(QStringLiteral("program's own authority"));
        QVERIFY(m_authority);
        // Set before the first view starts the engine; an unrelated hash
        // first, so that the list is read as a list.
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS",
                qgetenv("QTWEBENGINE_CHROMIUM_FLAGS") +
                    " --ignore-certificate-errors-spki-list=AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=," +
                    m_authority->publicKeyHash());
        webview::BoundFunction binding;
        auto trust = reinterpret_cast<void (*)(const char*, int)>(
            webview::engineFunction("tolvaneTestingTrustUpstreamAuthority", binding));
        QVERIFY(trust);
        const QByteArray pem = m_authority->certificate().toPem();
        trust(pem.constData(), int(pem.size()));
    }

    void bothAuthoritiesAreTrusted_data()
    {
        QTest::addColumn<bool>("handler");
        QTest::newRow("no handler: plain tunnel, the program's list") << false;
        QTest::newRow("request handler: ended in the proxy, its authority") << true;
    }

    void bothAuthoritiesAreTrusted()
    {
        QFETCH(bool, handler);
        // A server per row: a host a handler's view uses is intercepted for
        // every view.
        HttpServer server(serverTls(*m_authority));
        server.route("/page.html", HttpServer::response("<!doctype html><title>trusted</title>"));

        QWidget host;
        host.resize(320, 240);
        host.show();
        webview::WebView web;
        web.create(&host, "trust", "about:blank", "");
        QStringList begun;
        if (handler) {
            web.onLoadUrlBegin(
                [](wkeWebView, void* p, const char* url, wkeNetJob) {
                    *static_cast<QStringList*>(p) << QUrl(QString::fromUtf8(url)).path();
                    return false;
                },
                &begun);
        }
        web.loadUrl(server.url("/page.html").toStdString());
        QVERIFY(QTest::qWaitFor([&] { return web.engine().getTitle() == "trusted"; }, 20000));
        QCOMPARE(server.requestsFor("/page.html").size(), 1);
        // The handler sees the https request only when the proxy ended its TLS.
        QCOMPARE(begun.contains(QStringLiteral("/page.html")), handler);
    }

private:
    std::unique_ptr<engine::tls::Authority> m_authority;
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestHttpsTrust test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_https_trust.moc"
