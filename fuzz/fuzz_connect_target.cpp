// The TLS side of the engine proxy: a CONNECT target, and a request target
// read inside the connection it opens, from any client.
#include "fuzzcheck.h"
#include "webview/engine/proxy/httpwire.h"

#include <QUrl>

using namespace engine::http;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Fields fields(data, size);
    const QByteArray authority = QByteArray::fromStdString(fields.text());
    const QByteArray target = QByteArray::fromStdString(fields.text());
    QString host;
    quint16 port = 0;
    if (!parseConnectTarget(authority, &host, &port))
        return 0;
    FUZZ_CHECK(!host.isEmpty() && port != 0);
    const QByteArray url = httpsUrl(host, port, target);
    if (url.isEmpty())
        return 0;
    // Whatever the path holds, the URL names the connection's host and port:
    // a request inside can never reach another server.
    const QUrl parsed = QUrl::fromEncoded(url);
    if (!parsed.isValid())
        return 0;
    FUZZ_CHECK(parsed.scheme() == QLatin1String("https"));
    FUZZ_CHECK(parsed.port(443) == port);
    FUZZ_CHECK(parsed.userInfo().isEmpty());
    const QString name = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    FUZZ_CHECK(parsed.host() == QUrl(QStringLiteral("https://") + name + QLatin1Char('/')).host());
    return 0;
}
