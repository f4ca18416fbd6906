#include "engine/proxy/httpwire.h"

#include <QSet>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>

namespace engine::http {
namespace {

bool sameName(const QByteArray& a, const QByteArray& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Splits head into its lines (without CR LF); the empty line ends it.
QList<QByteArray> headLines(const QByteArray& head)
{
    QList<QByteArray> lines;
    qsizetype from = 0;
    while (from < head.size()) {
        qsizetype end = head.indexOf('\n', from);
        if (end < 0)
            end = head.size();
        QByteArray line = head.mid(from, end - from);
        if (line.endsWith('\r'))
            line.chop(1);
        from = end + 1;
        if (line.isEmpty())
            break;
        lines << line;
    }
    return lines;
}

bool parseFields(const QList<QByteArray>& lines, HeaderList* out)
{
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        if ((line.startsWith(' ') || line.startsWith('\t')) && !out->isEmpty()) {
            // Obsolete line folding: part of the previous value.
            QByteArray& value = out->last().second;
            const QByteArray more = line.trimmed();
            if (value.isEmpty())
                value = more;
            else if (!more.isEmpty())
                value += ' ' + more;
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return false;
        const QByteArray name = line.left(colon);
        if (name.contains(' ') || name.contains('\t'))
            return false;
        out->append({name, line.mid(colon + 1).trimmed()});
    }
    return true;
}

// The Content-Length value, or -1 when there is none (or it is not a number).
qint64 contentLength(const HeaderList& headers)
{
    const QByteArray length = header(headers, "Content-Length");
    bool ok = false;
    const qint64 n = length.isNull() ? -1 : length.trimmed().toLongLong(&ok);
    return ok && n >= 0 ? n : -1;
}

void appendFields(QByteArray& out, const HeaderList& headers)
{
    for (const auto& [name, value] : headers) {
        out += name;
        out += ": ";
        out += value;
        out += "\r\n";
    }
    out += "\r\n";
}

}  // namespace

QByteArray header(const HeaderList& headers, const QByteArray& name)
{
    for (const auto& field : headers) {
        if (sameName(field.first, name))
            return field.second.isNull() ? QByteArray("") : field.second;
    }
    return {};
}

bool hasHeader(const HeaderList& headers, const QByteArray& name)
{
    return !header(headers, name).isNull();
}

void removeHeader(HeaderList& headers, const QByteArray& name)
{
    headers.removeIf([&](const auto& field) { return sameName(field.first, name); });
}

void setHeader(HeaderList& headers, const QByteArray& name, const QByteArray& value)
{
    qsizetype at = -1;
    for (qsizetype i = 0; i < headers.size(); ++i) {
        if (sameName(headers[i].first, name)) {
            at = i;
            break;
        }
    }
    if (at < 0) {
        headers.append({name, value});
        return;
    }
    headers[at].second = value;
    for (qsizetype i = headers.size() - 1; i > at; --i) {
        if (sameName(headers[i].first, name))
            headers.removeAt(i);
    }
}

bool headerListsToken(const HeaderList& headers, const QByteArray& name, const QByteArray& token)
{
    for (const auto& field : headers) {
        if (!sameName(field.first, name))
            continue;
        for (const QByteArray& part : field.second.split(',')) {
            if (sameName(part.trimmed(), token))
                return true;
        }
    }
    return false;
}

void removeHopByHop(HeaderList& headers)
{
    QSet<QByteArray> names{"connection", "keep-alive", "proxy-connection", "proxy-authorization",
                           "proxy-authenticate", "te", "upgrade"};
    for (const auto& [name, value] : headers) {
        if (!sameName(name, "Connection"))
            continue;
        for (const QByteArray& token : value.split(',')) {
            const QByteArray listed = token.trimmed().toLower();
            if (!listed.isEmpty())
                names.insert(listed);
        }
    }
    headers.removeIf([&](const auto& field) { return names.contains(field.first.toLower()); });
}

qsizetype headEnd(const QByteArray& data, qsizetype from)
{
    // An end straddling `from` begins at most three bytes before it.
    from = std::max<qsizetype>(0, from - 3);
    const qsizetype crlf = data.indexOf("\r\n\r\n", from);
    const qsizetype lf = data.indexOf("\n\n", from);
    if (crlf >= 0 && (lf < 0 || crlf < lf))
        return crlf + 4;
    if (lf >= 0)
        return lf + 2;
    return -1;
}

bool parseRequestHead(const QByteArray& head, RequestHead* out)
{
    const QList<QByteArray> lines = headLines(head);
    if (lines.isEmpty())
        return false;
    const QList<QByteArray> parts = lines[0].split(' ');
    if (parts.size() != 3 || parts[0].isEmpty() || parts[1].isEmpty() ||
        !parts[2].startsWith("HTTP/"))
        return false;
    out->method = parts[0];
    out->target = parts[1];
    out->version = parts[2];
    out->headers.clear();
    return parseFields(lines, &out->headers);
}

bool parseResponseHead(const QByteArray& head, ResponseHead* out)
{
    const QList<QByteArray> lines = headLines(head);
    if (lines.isEmpty() || !lines[0].startsWith("HTTP/"))
        return false;
    const QByteArray& line = lines[0];
    const qsizetype s1 = line.indexOf(' ');
    if (s1 < 0)
        return false;
    qsizetype s2 = line.indexOf(' ', s1 + 1);
    if (s2 < 0)
        s2 = line.size();
    bool ok = false;
    const int status = line.mid(s1 + 1, s2 - s1 - 1).toInt(&ok);
    if (!ok || status < 100 || status > 999)
        return false;
    out->version = line.left(s1);
    out->status = status;
    out->reason = s2 < line.size() ? line.mid(s2 + 1) : QByteArray();
    out->headers.clear();
    return parseFields(lines, &out->headers);
}

QByteArray serializeRequestHead(const QByteArray& method, const QByteArray& target,
                                const QByteArray& version, const HeaderList& headers)
{
    QByteArray out = method + ' ' + target + ' ' + version + "\r\n";
    appendFields(out, headers);
    return out;
}

QByteArray serializeResponseHead(const ResponseHead& head)
{
    QByteArray out = (head.version.isEmpty() ? QByteArray("HTTP/1.1") : head.version) + ' ' +
                     QByteArray::number(head.status) + ' ' + head.reason + "\r\n";
    appendFields(out, head.headers);
    return out;
}

BodyFraming requestFraming(const RequestHead& head)
{
    if (headerListsToken(head.headers, "Transfer-Encoding", "chunked"))
        return {BodyFraming::Chunked, 0};
    const qint64 n = contentLength(head.headers);
    return n > 0 ? BodyFraming{BodyFraming::Length, n} : BodyFraming{BodyFraming::None, 0};
}

BodyFraming responseFraming(const ResponseHead& head, const QByteArray& requestMethod)
{
    if (requestMethod == "HEAD" || (head.status >= 100 && head.status < 200) ||
        head.status == 204 || head.status == 304)
        return {BodyFraming::None, 0};
    if (headerListsToken(head.headers, "Transfer-Encoding", "chunked"))
        return {BodyFraming::Chunked, 0};
    const qint64 n = contentLength(head.headers);
    if (n < 0)
        return {BodyFraming::UntilClose, 0};
    return n == 0 ? BodyFraming{BodyFraming::None, 0} : BodyFraming{BodyFraming::Length, n};
}

namespace {

// A chunk size: hexadecimal digits, then optional whitespace and extensions.
// -1 when malformed or too large to count.
qint64 chunkSize(QByteArrayView line)
{
    const qsizetype semicolon = line.indexOf(';');
    if (semicolon >= 0)
        line = line.first(semicolon);
    line = line.trimmed();
    if (line.isEmpty())
        return -1;
    qint64 size = 0;
    for (const char c : line) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return -1;
        if (size > (std::numeric_limits<qint64>::max() >> 4))
            return -1;
        size = size * 16 + digit;
    }
    return size;
}

}  // namespace

ChunkedDecoder::State ChunkedDecoder::feed(QByteArrayView bytes)
{
    qsizetype at = 0;
    while (m_state == NeedMore && at < bytes.size()) {
        if (m_phase == Phase::Data) {
            // Only bytes that are here are taken, so a claimed size costs nothing.
            const qsizetype take = qsizetype(std::min<qint64>(m_remaining, bytes.size() - at));
            m_body.append(bytes.data() + at, take);
            at += take;
            m_remaining -= take;
            if (m_remaining == 0)
                m_phase = Phase::DataEnd;
            continue;
        }
        const char* lf = static_cast<const char*>(std::memchr(bytes.data() + at, '\n', size_t(bytes.size() - at)));
        const qsizetype end = lf ? qsizetype(lf - bytes.data()) + 1 : bytes.size();
        if (m_line.size() + (end - at) > kMaxLine) {
            m_state = Malformed;
            break;
        }
        m_line.append(bytes.data() + at, end - at);
        at = end;
        if (!lf)
            break;
        if (!m_line.endsWith("\r\n")) {
            m_state = Malformed;
            break;
        }
        endLine(QByteArrayView(m_line).chopped(2));
        m_line.clear();
    }
    m_consumed += at;
    return m_state;
}

void ChunkedDecoder::endLine(QByteArrayView line)
{
    switch (m_phase) {
    case Phase::SizeLine: {
        const qint64 size = chunkSize(line);
        if (size < 0)
            m_state = Malformed;
        else if (size == 0)
            m_phase = Phase::Trailer;
        else {
            m_remaining = size;
            m_phase = Phase::Data;
        }
        return;
    }
    case Phase::DataEnd:
        if (line.isEmpty())
            m_phase = Phase::SizeLine;
        else
            m_state = Malformed;
        return;
    case Phase::Trailer:
        if (line.isEmpty())
            m_state = Done;
        return;
    case Phase::Data:
        return;
    }
}

qsizetype decodeChunked(const QByteArray& data, QByteArray* body)
{
    ChunkedDecoder decoder;
    switch (decoder.feed(data)) {
    case ChunkedDecoder::NeedMore:
        return -1;
    case ChunkedDecoder::Malformed:
        return -2;
    case ChunkedDecoder::Done:
        break;
    }
    if (body)
        *body = decoder.takeBody();
    return qsizetype(decoder.consumed());
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 201: return "Created";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 504: return "Gateway Timeout";
    default: return "";
    }
}

bool parseConnectTarget(const QByteArray& target, QString* host, quint16* port)
{
    const qsizetype colon = target.lastIndexOf(':');
    if (colon <= 0 || colon + 1 == target.size() || target.size() - colon - 1 > 5)
        return false;
    int number = 0;
    for (const char c : target.mid(colon + 1)) {
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + (c - '0');
    }
    if (number < 1 || number > 65535)
        return false;
    QByteArray name = target.left(colon);
    const bool bracketed = name.startsWith('[') && name.endsWith(']') && name.size() > 2;
    if (bracketed) {
        name = name.mid(1, name.size() - 2);
        for (const char c : name) {
            if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.')
                return false;
        }
    } else {
        if (name.size() > 253)
            return false;
        for (const char c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_')
                return false;
        }
    }
    *host = QString::fromLatin1(name);
    *port = quint16(number);
    return true;
}

QByteArray httpsUrl(const QString& host, quint16 port, const QByteArray& target)
{
    if (!target.startsWith('/') || target.startsWith("//"))
        return {};
    const QByteArray name = host.contains(QLatin1Char(':')) ? '[' + host.toLatin1() + ']' : host.toLatin1();
    return "https://" + name + (port == 443 ? QByteArray() : ':' + QByteArray::number(port)) + target;
}

}  // namespace engine::http
