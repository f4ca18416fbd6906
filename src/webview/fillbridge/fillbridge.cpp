#include "webview/fillbridge/fillbridge.h"

#include "runtime/textcodec.h"

#include <QFile>
#include <QJsonArray>
#include <QStringList>

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace webview {
namespace {

const QString kStartStep = QStringLiteral("// ---- start step ----");

QString bridgeText(int port, const std::string& identifier)
{
    QFile file(QStringLiteral(":/webview/fillbridge.js"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString script = QString::fromUtf8(file.readAll());
    script.replace(QStringLiteral("标识符"), scriptStringContent(rt::gbToQString(identifier)));
    script.replace(QStringLiteral("端口号"), QString::number(port));
    return script;
}

}  // namespace

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
    return rt::qstringToGb(bridgeText(port, identifier));
}

std::string fillBridgeDefinitions(int port, const std::string& identifier)
{
    const QString script = bridgeText(port, identifier);
    return rt::qstringToGb(script.left(script.indexOf(kStartStep)));
}

QString scriptNumberText(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NaN");
    if (value == 0)
        return QStringLiteral("0");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-Infinity") : QStringLiteral("Infinity");
    // Shortest round-trip digits d1..dk and exponent, value = 0.d1..dk x 10^n.
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific);
    const std::string_view sci(buffer, size_t(result.ptr - buffer));
    const size_t e = sci.find('e');
    QString digits = QString::fromLatin1(sci.substr(0, e).data(), qsizetype(e)).remove(QLatin1Char('.'));
    const int n = std::atoi(std::string(sci.substr(e + 1)).c_str()) + 1;
    const int k = int(digits.size());
    QString out = value < 0 ? QStringLiteral("-") : QString();
    if (k <= n && n <= 21)
        out += digits + QString(n - k, QLatin1Char('0'));
    else if (0 < n && n <= 21)
        out += digits.left(n) + QLatin1Char('.') + digits.mid(n);
    else if (-6 < n && n <= 0)
        out += QStringLiteral("0.") + QString(-n, QLatin1Char('0')) + digits;
    else
        out += digits.left(1) + (k > 1 ? QLatin1Char('.') + digits.mid(1) : QString()) + QLatin1Char('e') +
               (n - 1 > 0 ? QLatin1Char('+') : QLatin1Char('-')) + QString::number(std::abs(n - 1));
    return out;
}

QString scriptValueText(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Bool: return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Double: return scriptNumberText(value.toDouble());
    case QJsonValue::String: return value.toString();
    case QJsonValue::Array: {
        QStringList parts;
        for (const QJsonValue& element : value.toArray())
            parts << (element.isNull() || element.isUndefined() ? QString() : scriptValueText(element));
        return parts.join(QLatin1Char(','));
    }
    case QJsonValue::Object: return QStringLiteral("[object Object]");
    default: return QStringLiteral("undefined");
    }
}

}  // namespace webview
