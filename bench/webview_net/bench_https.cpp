// https through the engine's proxy on the real engine, offscreen, against
// the same pages loaded directly in the same run:
//   - first contentful paint of a small page set (page, style sheet, script,
//     image), a view without handlers (plain tunnel, the engine talks TLS to
//     the server itself) against a view with a request handler (TLS ended in
//     the proxy);
//   - a large response read by the page: direct, intercepted and streamed,
//     intercepted and hooked (held whole for onLoadUrlEnd); by curl without
//     the proxy, and through the proxy by a plain client in this process;
//   - the process's resident memory while the page runs 100 intercepted
//     fetches at once.
//
//   bench_webview_net [megabytes]     (default 50)
//
// The servers are Python's threaded https file server in child processes
// (keep-alive, about 400 MB/s of TLS on this machine), so that neither the
// server nor this process's event loop bounds the figures. Their
// certificates come from an authority made here; the engine's proxy trusts
// it through the library's test function, the engine by its key's hash as
// it trusts the proxy's. The same file is also fetched by curl (no proxy) and,
// through the proxy's plain tunnel and with the proxy intercepting, by a
// plain TLS client on a thread of this process (the proxy serves no other
// process), to show the proxy's own throughput apart from the engine's. Runs
// in a temporary home folder.
#include "webview/testenv.h"

#include "engine/proxy/tlscerts.h"
#include "webview/engineloader.h"
#include "webview/webview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <QTest>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// Serves the files of a folder over https on 127.0.0.1 with HTTP/1.1
// keep-alive, one thread per connection, nothing cached by the client.
constexpr char kServerScript[] = R"(import http.server, ssl, sys, os
os.chdir(sys.argv[1])
class Files(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    def end_headers(self):
        self.send_header("Cache-Control", "no-store")
        super().end_headers()
    def log_message(self, *args):
        pass
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Files)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(sys.argv[2], sys.argv[3])
server.socket = context.wrap_socket(server.socket, server_side=True)
print(server.server_address[1], flush=True)
server.serve_forever()
)";

class FileServer {
public:
    FileServer(const engine::tls::Authority& authority, int megabytes)
    {
        const engine::tls::Identity identity = authority.issue(QStringLiteral("127.0.0.1"));
        write("chain.pem", identity.certificate.toPem() + authority.certificate().toPem());
        write("key.pem", identity.key.toPem());
        write("server.py", kServerScript);
        const QString files = m_dir.filePath(QStringLiteral("files"));
        QDir().mkpath(files);
        write("files/blank.html", "<!doctype html><title>blank</title>");
        write("files/set.html", "<!doctype html><title>set</title>"
                                "<link rel=stylesheet href='/set.css'><script src='/set.js'></script>"
                                "<body><h1>Page set</h1><img src='/set.svg'></body>");
        write("files/set.css", "h1 { color: rgb(10, 20, 30); }");
        write("files/set.js", "window.loaded = 1;");
        write("files/set.svg", "<svg xmlns='http://www.w3.org/2000/svg' width='10' height='10'>"
                               "<rect width='10' height='10'/></svg>");
        write("files/big.txt", QByteArray(megabytes * 1024 * 1024, 'a'));
        write("files/small.txt", QByteArray(64 * 1024, 'b'));
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral("python3"),
                        {m_dir.filePath(QStringLiteral("server.py")), files, m_dir.filePath(QStringLiteral("chain.pem")),
                         m_dir.filePath(QStringLiteral("key.pem"))});
        if (m_process.waitForReadyRead(10000))
            m_port = m_process.readLine().trimmed().toUShort();
    }
    ~FileServer()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    bool running() const { return m_port != 0; }
    QByteArray url(const QByteArray& path) const
    {
        return "https://127.0.0.1:" + QByteArray::number(m_port) + path;
    }

private:
    void write(const char* name, const QByteArray& bytes)
    {
        QFile file(m_dir.filePath(QLatin1String(name)));
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
    }

    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

bool passBegin(wkeWebView, void*, const char*, wkeNetJob) { return false; }

bool hookBegin(wkeWebView, void* p, const char* url, wkeNetJob job)
{
    if (std::strstr(url, "/big.txt"))
        static_cast<webview::WebView*>(p)->netHookRequest(job);
    return false;
}

void endSeen(wkeWebView, void* p, const char*, wkeNetJob, void*, int len)
{
    *static_cast<int*>(p) = len;
}

struct View {
    QWidget host;
    webview::WebView web;

    explicit View(const std::string& profile)
    {
        host.resize(640, 480);
        host.show();
        web.create(&host, profile, "about:blank", "");
    }
    bool load(const QByteArray& url, const std::string& title)
    {
        web.loadUrl(url.toStdString());
        return QTest::qWaitFor([&] { return web.engine().getTitle() == title; }, 30000);
    }
    double number(const std::string& expression)
    {
        return std::atof(web.runScriptText("text = String(" + expression + ");").c_str());
    }
};

// First contentful paint of /set.html in ms, median of runs loads.
double firstPaint(View& view, const FileServer& server, int runs)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        if (!view.load(server.url("/set.html?" + QByteArray::number(i)), "set"))
            return -1;
        (void)QTest::qWaitFor([&] {
            return view.number("(performance.getEntriesByName('first-contentful-paint')[0] || {}).startTime || 0") >
                   0;
        }, 5000);
        ms.push_back(
            view.number("(performance.getEntriesByName('first-contentful-paint')[0] || {}).startTime || -1"));
    }
    return median(ms);
}

// Median of three fetches of /big from the page, in MB/s.
double fetchRate(View& view, int megabytes)
{
    std::vector<double> rates;
    const double expected = megabytes * 1024.0 * 1024.0;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer timer;
        timer.start();
        view.web.runScriptText("window.got = 0; fetch('/big.txt?" + std::to_string(i) +
                               "').then(r => r.text()).then(t => { window.got = t.length; },"
                               " () => { window.got = -1; }); text = 'started';");
        if (!QTest::qWaitFor([&] { return view.number("window.got") != 0; }, 120000) ||
            view.number("window.got") != expected) {
            std::fprintf(stderr, "fetch failed: %.0f bytes\n", view.number("window.got"));
            return 0;
        }
        rates.push_back(megabytes / (timer.nsecsElapsed() / 1e9));
    }
    return median(rates);
}

// Median of three downloads of url by curl (a child process), in MB/s.
double curlRate(const QByteArray& url)
{
    std::vector<double> rates;
    for (int i = 0; i < 3; ++i) {
        QStringList args{QStringLiteral("-sk"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                         QStringLiteral("-w"), QStringLiteral("%{speed_download}")};
        QProcess curl;
        curl.start(QStringLiteral("curl"), args << QString::fromLatin1(url));
        if (!curl.waitForFinished(120000) || curl.exitCode() != 0)
            return 0;
        rates.push_back(curl.readAllStandardOutput().toDouble() / (1024 * 1024));
    }
    return median(rates);
}

// The engine's proxy, as the engine was told of it.
QByteArray engineProxy()
{
    for (const QByteArray& flag : qgetenv("QTWEBENGINE_CHROMIUM_FLAGS").split(' ')) {
        if (flag.startsWith("--proxy-server="))
            return flag.mid(15);
    }
    return {};
}

// One download of an https url of 127.0.0.1 through the engine's proxy by a
// blocking TLS client on a thread of its own, in MB/s; 0 on failure.
double proxiedDownload(quint16 proxyPort, const QUrl& url)
{
    double rate = 0;
    std::unique_ptr<QThread> thread(QThread::create([&] {
        QSslSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, proxyPort);
        if (!socket.waitForConnected(5000))
            return;
        const QByteArray target = "127.0.0.1:" + QByteArray::number(url.port());
        socket.write("CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n\r\n");
        QByteArray head;
        while (!head.contains("\r\n\r\n") && socket.waitForReadyRead(10000))
            head += socket.readAll();
        if (!head.startsWith("HTTP/1.1 200"))
            return;
        QSslConfiguration config = socket.sslConfiguration();
        config.setPeerVerifyMode(QSslSocket::VerifyNone);
        socket.setSslConfiguration(config);
        socket.startClientEncryption();
        if (!socket.waitForEncrypted(10000))
            return;
        QElapsedTimer timer;
        timer.start();
        socket.write("GET " + url.path().toUtf8() + " HTTP/1.1\r\nHost: " + target + "\r\nConnection: close\r\n\r\n");
        qint64 bytes = 0;
        while (socket.waitForReadyRead(30000) || socket.bytesAvailable() > 0)
            bytes += socket.readAll().size();
        rate = bytes / (1024.0 * 1024.0) / (timer.nsecsElapsed() / 1e9);
    }));
    thread->start();
    thread->wait();
    return rate;
}

// Median of three proxiedDownload.
double proxyRate(const QByteArray& url)
{
    const quint16 port = quint16(QUrl(QString::fromLatin1(engineProxy())).port());
    std::vector<double> rates;
    for (int i = 0; i < 3; ++i) {
        const double rate = proxiedDownload(port, QUrl(QString::fromLatin1(url)));
        if (rate <= 0)
            return 0;
        rates.push_back(rate);
    }
    return median(rates);
}

}  // namespace

int main(int argc, char** argv)
{
    const int megabytes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    QApplication app(argc, argv);

    auto authority = engine::tls::Authority::create(QStringLiteral("bench authority"));
    // The engine trusts the servers' authority as it trusts the proxy's, so
    // that a direct connection costs one handshake, as with a trusted server.
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", qgetenv("QTWEBENGINE_CHROMIUM_FLAGS") +
                                               " --ignore-certificate-errors-spki-list=" +
                                               authority->publicKeyHash());
    webview::BoundFunction binding;
    auto trust = reinterpret_cast<void (*)(const char*, int)>(
        webview::engineFunction("tolvaneTestingTrustUpstreamAuthority", binding));
    const QByteArray pem = authority->certificate().toPem();
    trust(pem.constData(), int(pem.size()));

    // One server per view: a host an intercepting view uses is intercepted
    // for every view, so the direct view gets a server of its own.
    FileServer directServer(*authority, megabytes);
    FileServer hookedServer(*authority, megabytes);
    if (!directServer.running() || !hookedServer.running()) {
        std::fprintf(stderr, "the python3 https servers did not start\n");
        return 1;
    }

    View direct("direct");
    View hooked("hooked");
    hooked.web.onLoadUrlBegin(passBegin, nullptr);
    if (!direct.load(directServer.url("/blank.html"), "blank") ||
        !hooked.load(hookedServer.url("/blank.html"), "blank")) {
        std::fprintf(stderr, "the pages did not load\n");
        return 1;
    }

    constexpr int kRuns = 9;
    // Alternating rounds, so that the machine's load falls on both alike.
    std::vector<double> directPaint;
    std::vector<double> hookedPaint;
    for (int round = 0; round < 3; ++round) {
        directPaint.push_back(firstPaint(direct, directServer, kRuns));
        hookedPaint.push_back(firstPaint(hooked, hookedServer, kRuns));
    }
    const double d = median(directPaint);
    const double h = median(hookedPaint);
    std::printf("first contentful paint of the page set, median of %d loads x 3 rounds:\n", kRuns);
    std::printf("  direct (plain tunnel)        %7.1f ms\n", d);
    std::printf("  intercepted, request handler %7.1f ms  (%+.1f %%)\n", h, d > 0 ? (h - d) / d * 100 : 0);

    std::printf("%d MB response, median of 3 fetches:\n", megabytes);
    direct.load(directServer.url("/blank.html"), "blank");
    hooked.load(hookedServer.url("/blank.html"), "blank");
    std::printf("  direct (plain tunnel)        %7.1f MB/s\n", fetchRate(direct, megabytes));
    std::printf("  intercepted, streamed        %7.1f MB/s\n", fetchRate(hooked, megabytes));
    int seenLength = 0;
    hooked.web.onLoadUrlBegin(hookBegin, &hooked.web);
    hooked.web.onLoadUrlEnd(endSeen, &seenLength);
    std::printf("  intercepted, hooked (held)   %7.1f MB/s\n", fetchRate(hooked, megabytes));
    if (seenLength != megabytes * 1024 * 1024)
        std::fprintf(stderr, "the hooked body did not reach the handler\n");
    hooked.web.onLoadUrlBegin(passBegin, nullptr);
    hooked.web.onLoadUrlEnd(nullptr, nullptr);

    // 100 fetches of 64 KiB at once; resident memory sampled while they run.
    const long before = residentKiB();
    hooked.web.runScriptText("window.done = 0; for (let i = 0; i < 100; ++i)"
                             " fetch('/small.txt?' + i).then(r => r.text()).then(() => ++window.done);"
                             " text = 'started';");
    long peak = before;
    QElapsedTimer timer;
    timer.start();
    while (hooked.number("window.done") < 100 && timer.elapsed() < 60000) {
        peak = std::max(peak, residentKiB());
        QTest::qWait(20);
    }
    std::printf("100 parallel intercepted fetches of 64 KiB: %.0f done in %lld ms, resident memory %ld MiB before,"
                " peak %+ld MiB while they ran\n",
                hooked.number("window.done"),
                static_cast<long long>(timer.elapsed()), before / 1024, (peak - before) / 1024);
    // The proxy alone, without the engine's own costs. The hooked view's
    // server is claimed (intercepted: its fetches just ran), the other is
    // tunnelled.
    std::printf("%d MB file, median of 3:\n", megabytes);
    std::printf("  curl, no proxy                     %7.1f MB/s\n", curlRate(directServer.url("/big.txt")));
    std::printf("  client, proxy's plain tunnel       %7.1f MB/s\n", proxyRate(directServer.url("/big.txt")));
    std::printf("  client, proxy intercepting         %7.1f MB/s\n", proxyRate(hookedServer.url("/big.txt")));

    return 0;
}
