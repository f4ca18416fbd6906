// Storage and network settings with the real engine: profile folders that
// really hold the cookies and local storage and keep them across a restart,
// private storage for names that are not folder names, the user agent, and
// the application-wide proxy.
#include "enginetest.h"

#include "runtime/paths.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <cstring>

using namespace webview_test;

namespace {

// Pages of the storage server: /write stores a server cookie, a page cookie
// and a local-storage entry; /read shows what the origin has.
QByteArray storagePage(const QByteArray& head)
{
    if (head.startsWith("GET /write "))
        return httpAnswer("<html><head><title>writing</title></head><body><script>"
                          "document.cookie='page=2';"
                          "localStorage.setItem('k','v');"
                          "document.title='written';"
                          "</script></body></html>",
                          "Set-Cookie: server=1; Max-Age=3600; Path=/\r\n");
    return httpAnswer("<html><head><title>reading</title></head><body><script>"
                      "var c=document.cookie.split('; ').sort().join(' ');"
                      "document.title='['+c+']['+localStorage.getItem('k')+']';"
                      "</script></body></html>");
}

QStringList filesUnder(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories |
                                                                    QDirIterator::FollowSymlinks);
    while (it.hasNext())
        files << it.next().mid(folder.size() + 1);
    return files;
}

}  // namespace

class TestWebViewStorage : public QObject {
    Q_OBJECT

private slots:
    void profileKeepsCookiesAndLocalStorageAcrossRestart();
    void nameThatIsNoFolderGetsPrivateStorage();
    void secondCreateMovesLiveViewToItsProfile();
    void newLocalStorageFolderOnALiveView();
    void userAgentReachesPageAndServer();
    void proxyCarriesRequests();

private:
    // Runs this program as a child that loads url with the profile and prints
    // the page's title.
    QString runChild(const QString& profile, const QString& url);
};

QString TestWebViewStorage::runChild(const QString& profile, const QString& url)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TOLVANE_TEST_SHARED_ENV"), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), profile, url});
    // The parent's event loop serves the child's requests meanwhile.
    if (!waitUntil([&] { return child.state() == QProcess::NotRunning; }, 30000))
        child.kill();
    const QString out = QString::fromUtf8(child.readAllStandardOutput()).trimmed();
    if (child.exitCode() != 0)
        qWarning("child: %s", child.readAllStandardError().constData());
    return out;
}

void TestWebViewStorage::profileKeepsCookiesAndLocalStorageAcrossRestart()
{
    HttpServer server(storagePage);
    QCOMPARE(runChild(QStringLiteral("keep"), server.origin() + "/write"), QStringLiteral("written"));

    const QString base = rt::userDataBase();
    const QString cookies = base + "vireloc/cookie/keep";
    const QString localStorage = base + "vireloc/LocalStorage/keep";
    QVERIFY2(filesUnder(cookies).contains(QStringLiteral("Cookies")), qPrintable(filesUnder(cookies).join(' ')));
    const QStringList stored = filesUnder(localStorage);
    QVERIFY2(stored.contains(QStringLiteral("leveldb/CURRENT")), qPrintable(stored.join(' ')));
    // The cookie folder holds no local storage of its own: it links to the
    // local-storage folder.
    QCOMPARE(QFileInfo(cookies + "/Local Storage").symLinkTarget(), localStorage);

    // A new process with the same profile finds both cookies (the page's
    // session cookie too) and the entry.
    QCOMPARE(runChild(QStringLiteral("keep"), server.origin() + "/read"),
             QStringLiteral("[page=2 server=1][v]"));
    // Another profile shares nothing.
    QCOMPARE(runChild(QStringLiteral("other"), server.origin() + "/read"), QStringLiteral("[][null]"));
}

void TestWebViewStorage::nameThatIsNoFolderGetsPrivateStorage()
{
    HttpServer server(storagePage);
    const QString base = rt::userDataBase();
    const QStringList before = filesUnder(base);
    QCOMPARE(runChild(QStringLiteral("../../escape"), server.origin() + "/write"), QStringLiteral("written"));
    QCOMPARE(runChild(QStringLiteral("../../escape"), server.origin() + "/read"), QStringLiteral("[][null]"));
    QCOMPARE(filesUnder(base), before);
    QVERIFY(!QFileInfo::exists(base + "../../escape"));
    QVERIFY(!QFileInfo::exists(base + "vireloc/cookie/escape"));
}

void TestWebViewStorage::secondCreateMovesLiveViewToItsProfile()
{
    HttpServer server(storagePage);
    QWidget host;
    host.resize(200, 100);
    host.show();
    webview::WebView web;
    web.create(&host, "first", rt::qstringToGb(server.origin() + "/write"), "");
    QVERIFY(titleBecomes(web, "written"));
    const wkeWebView view = web.engine().getViewHandle();

    web.create(&host, "second", rt::qstringToGb(server.origin() + "/read"), "");
    QCOMPARE(web.engine().getViewHandle(), view);  // the same view...
    QVERIFY(titleBecomes(web, "[][null]"));      // ...on the second profile's storage
    web.create(&host, "first", rt::qstringToGb(server.origin() + "/read"), "");
    QVERIFY(titleBecomes(web, "[page=2 server=1][v]"));
}

// A live view given another local-storage folder keeps persistent storage:
// the new folder from the next load, with its cookies; the old folder keeps
// what was written there.
void TestWebViewStorage::newLocalStorageFolderOnALiveView()
{
    HttpServer server(storagePage);
    QWidget host;
    host.resize(200, 100);
    host.show();
    webview::WebView web;
    web.create(&host, "mover", rt::qstringToGb(server.origin() + "/write"), "");
    QVERIFY(titleBecomes(web, "written"));
    const QString base = rt::userDataBase();
    const QString oldFolder = base + "vireloc/LocalStorage/mover";
    const QString newFolder = base + "moved/local";
    QVERIFY(QDir().mkpath(newFolder));

    web.setLocalStoragePath(rt::qstringToGb(newFolder));
    web.loadUrl(rt::qstringToGb(server.origin() + "/read"));
    QVERIFY(titleBecomes(web, "[page=2 server=1][null]"));
    web.loadUrl(rt::qstringToGb(server.origin() + "/write"));
    QVERIFY(titleBecomes(web, "written"));
    web.loadUrl(rt::qstringToGb(server.origin() + "/read"));
    QVERIFY(titleBecomes(web, "[page=2 server=1][v]"));
    QVERIFY2(waitUntil([&] { return filesUnder(newFolder).contains(QStringLiteral("leveldb/CURRENT")); }),
             qPrintable(filesUnder(newFolder).join(' ')));
    QVERIFY(filesUnder(oldFolder).contains(QStringLiteral("leveldb/CURRENT")));
}

void TestWebViewStorage::userAgentReachesPageAndServer()
{
    HttpServer server([](const QByteArray&) {
        return httpAnswer("<script>document.title=navigator.userAgent</script>");
    });
    QWidget host;
    host.resize(200, 100);
    host.show();
    webview::WebView web;
    web.create(&host, "agent", rt::qstringToGb(server.origin() + "/"), rt::gb("TolvaneTest/1.0 (测试)"));
    QVERIFY(titleBecomes(web, rt::gb("TolvaneTest/1.0 (测试)")));
    QVERIFY(server.requests.value(0).contains("\r\nUser-Agent: TolvaneTest/1.0 (" + QByteArray("测试") + ")\r\n"));
}

// Last: the proxy is application-wide. Qt WebEngine takes a change at its
// next proxy check, which a request triggers, so the first load after the
// change may still go direct.
void TestWebViewStorage::proxyCarriesRequests()
{
    // The proxy answers requests for any host itself, after asking for
    // credentials.
    HttpServer proxy([](const QByteArray& head) {
        if (!head.contains("Proxy-Authorization: Basic " + QByteArray("me:secret").toBase64()))
            return httpAnswer("", "Proxy-Authenticate: Basic realm=\"proxy\"\r\n",
                              "407 Proxy Authentication Required");
        const QByteArray target = head.split(' ').value(1);
        return httpAnswer("<script>document.title='via proxy " + target + "'</script>");
    });
    QWidget host;
    host.resize(200, 100);
    host.show();
    webview::WebView web;
    web.create(&host, "proxied", "", "");
    web.setHttpProxy("127.0.0.1", proxy.port(), "me", "secret");
    bool viaProxy = false;
    for (int attempt = 0; attempt < 3 && !viaProxy; ++attempt) {
        web.loadUrl("http://tolvane.invalid/page");
        viaProxy = titleBecomes(web, "via proxy http://tolvane.invalid/page", 5000);
    }
    web.engine().setProxy(WKE_PROXY_NONE, "", 0, "", "");
    QVERIFY2(viaProxy, web.engine().getTitle().c_str());
    QVERIFY(std::any_of(proxy.requests.begin(), proxy.requests.end(), [](const QByteArray& r) {
        return r.startsWith("GET http://tolvane.invalid/page HTTP/1.1\r\n");
    }));
}

// ---- Child process -------------------------------------------------------

static int runStorageChild(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget host;
    host.resize(200, 100);
    host.show();
    webview::WebView web;
    web.create(&host, rt::qstringToGb(QString::fromLocal8Bit(argv[2])), argv[3], "");
    const bool done = waitUntil([&] {
        const std::string title = web.engine().getTitle();
        return web.isLoadingCompleted() && title != "writing" && title != "reading";
    });
    std::printf("%s\n", rt::gbToUtf8(web.engine().getTitle()).c_str());
    return done ? 0 : 1;
}

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--child") == 0)
        return runStorageChild(argc, argv);
    QApplication app(argc, argv);
    TestWebViewStorage test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_webview_storage.moc"
