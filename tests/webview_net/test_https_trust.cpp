// Which servers views trust. A view with network handlers trusts exactly the
// servers a view without them trusts: authorities made by the test sit in
// the system's store only (as OpenSSL reads it: SSL_CERT_FILE, SSL_CERT_DIR;
// as Qt hands it to a socket: the default TLS configuration), in the
// engine's own NSS database only ($HOME/.pki/nssdb, written with certutil),
// in both, or in neither. And a key-hash list the program gives Chromium in
// QTWEBENGINE_CHROMIUM_FLAGS stays in force beside the engine's interception
// authority: a view without handlers reaches a server of the listed
// authority over a plain tunnel, and a view with a handler still gets its
// https ended in the proxy. Real engine offscreen, https servers on
// 127.0.0.1 with certificates from authorities this test makes.
#include "../webview/testenv.h"
#include "../webview_events/httpserver.h"

#include "engine/proxy/tlscerts.h"
#include "webview/engineloader.h"
#include "webview/webview.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <map>
#include <memory>
#include <vector>

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

constexpr int kTimeoutMs = 20000;

bool run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0) {
        qWarning() << program << arguments << process.readAllStandardError();
        return false;
    }
    return true;
}

// A shown view that loads a URL and tells whether the load succeeded and
// which paths its handler (when it has one) saw begin.
struct View {
    QWidget host;
    webview::WebView web;
    int finished = 0;
    int failed = 0;
    QStringList begun;

    explicit View(bool hooked)
    {
        host.resize(320, 240);
        host.show();
        web.create(&host, "trust", "about:blank", "");
        web.onLoadingFinish(
            [](wkeWebView, void* p, const wkeString, wkeLoadingResult result, const wkeString) {
                auto* v = static_cast<View*>(p);
                ++v->finished;
                v->failed += result == WKE_LOADING_FAILED ? 1 : 0;
            },
            this);
        if (hooked) {
            web.onLoadUrlBegin(
                [](wkeWebView, void* p, const char* url, wkeNetJob) {
                    static_cast<View*>(p)->begun << QUrl(QString::fromUtf8(url)).path();
                    return false;
                },
                this);
        }
    }
    // Loads url; true when the page loaded with the expected title.
    bool loads(const QByteArray& url)
    {
        const int before = finished;
        web.loadUrl(url.toStdString());
        if (!QTest::qWaitFor([&] { return finished > before; }, kTimeoutMs))
            return false;
        return failed == 0 && web.engine().getTitle() == "trusted";
    }
};

}  // namespace

class TestHttpsTrust : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Before the first view starts the engine.
        QVERIFY(m_folder.isValid());
        for (const char* name : {"system", "engine", "both", "neither"}) {
            m_authorities[name] = engine::tls::Authority::create(QStringLiteral("test authority ") + name);
            QVERIFY(m_authorities[name]);
        }
        // The system's store, as OpenSSL and Qt read it.
        const QString bundle = m_folder.filePath("system.pem");
        const QString folder = m_folder.filePath("certs");
        QVERIFY(QDir().mkpath(folder));
        QFile file(bundle);
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (const char* name : {"system", "both"}) {
            const QByteArray pem = m_authorities[name]->certificate().toPem();
            file.write(pem);
            QFile single(folder + "/" + name + ".pem");
            QVERIFY(single.open(QIODevice::WriteOnly));
            single.write(pem);
        }
        file.close();
        QVERIFY(run("openssl", {"rehash", folder}));
        qputenv("SSL_CERT_FILE", bundle.toLocal8Bit());
        qputenv("SSL_CERT_DIR", folder.toLocal8Bit());
        QSslConfiguration defaults = QSslConfiguration::defaultConfiguration();
        defaults.addCaCertificates({m_authorities["system"]->certificate(), m_authorities["both"]->certificate()});
        QSslConfiguration::setDefaultConfiguration(defaults);

        // The engine's own database, in the test's HOME, before the engine starts.
        const QString nssdb = QDir::homePath() + "/.pki/nssdb";
        QVERIFY(QDir().mkpath(nssdb));
        QVERIFY(run("certutil", {"-N", "-d", "sql:" + nssdb, "--empty-password"}));
        for (const char* name : {"engine", "both"}) {
            const QString pemFile = m_folder.filePath(QString::fromLatin1(name) + "-ca.pem");
            QFile pem(pemFile);
            QVERIFY(pem.open(QIODevice::WriteOnly));
            pem.write(m_authorities[name]->certificate().toPem());
            pem.close();
            QVERIFY(run("certutil", {"-A", "-d", "sql:" + nssdb, "-n", name, "-t", "C,,", "-i", pemFile}));
        }

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

    void hookedAndUnhookedViewsTrustTheSameServers_data()
    {
        QTest::addColumn<QString>("authority");
        QTest::addColumn<bool>("trusted");
        // First: the process's first https connection is the hooked view's.
        QTest::newRow("engine database only: accepted by both") << "engine" << true;
        QTest::newRow("system store only: refused by both") << "system" << false;
        QTest::newRow("both stores: accepted by both") << "both" << true;
        QTest::newRow("neither store: refused by both") << "neither" << false;
    }

    void hookedAndUnhookedViewsTrustTheSameServers()
    {
        QFETCH(QString, authority);
        QFETCH(bool, trusted);
        // A server for each view: once a view with handlers uses a host, its
        // TLS is ended in the proxy for every view.
        const QSslConfiguration tls = serverTls(*m_authorities[authority.toStdString()]);
        HttpServer& forHooked = server(tls);
        HttpServer& forPlain = server(tls);

        View hooked(true);
        QCOMPARE(hooked.loads(forHooked.url("/page.html")), trusted);
        QCOMPARE(forHooked.requestsFor("/page.html").size(), trusted ? 1 : 0);
        // An accepted server's traffic passes through the handlers.
        QVERIFY2(hooked.begun.contains(QStringLiteral("/page.html")) == trusted,
                 qPrintable(QStringLiteral("port %1, handler saw: %2")
                                .arg(forHooked.port())
                                .arg(hooked.begun.join(QLatin1Char(' ')))));

        View plain(false);
        QCOMPARE(plain.loads(forPlain.url("/page.html")), trusted);
        QCOMPARE(forPlain.requestsFor("/page.html").size(), trusted ? 1 : 0);
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
        HttpServer& server = this->server(serverTls(*m_authority));

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
    // A server serving the test page, kept until the test ends: a port
    // freed by an earlier row could come back for a later one, and the
    // engine would send that row's request on the connection it keeps open
    // to the proxy for the earlier server, meeting the handler before the
    // new server's certificate is checked.
    HttpServer& server(const QSslConfiguration& tls)
    {
        m_servers.push_back(std::make_unique<HttpServer>(tls));
        m_servers.back()->route("/page.html", HttpServer::response("<!doctype html><title>trusted</title>"));
        return *m_servers.back();
    }

    std::vector<std::unique_ptr<HttpServer>> m_servers;
    std::unique_ptr<engine::tls::Authority> m_authority;
    QTemporaryDir m_folder;
    std::map<std::string, std::unique_ptr<engine::tls::Authority>> m_authorities;
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestHttpsTrust test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_https_trust.moc"
