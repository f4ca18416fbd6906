#include "webview/events/fillbridge.h"

#include "runtime/textcodec.h"

#include <QFile>

namespace webview {

QString scriptStringContent(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        switch (c.unicode()) {
        case '\\': out += QLatin1String("\\\\"); break;
        case '"': out += QLatin1String("\\\""); break;
        case '\'': out += QLatin1String("\\'"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\r': out += QLatin1String("\\r"); break;
        case 0x2028: out += QLatin1String("\\u2028"); break;
        case 0x2029: out += QLatin1String("\\u2029"); break;
        default: out += c;
        }
    }
    return out;
}

std::string fillBridgeScript(int port, const std::string& identifier)
{
    QFile file(QStringLiteral(":/webview/fillbridge.js"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString script = QString::fromUtf8(file.readAll());
    script.replace(QStringLiteral("标识符"), scriptStringContent(rt::gbToQString(identifier)));
    script.replace(QStringLiteral("端口号"), QString::number(port));
    return rt::qstringToGb(script);
}

}  // namespace webview
