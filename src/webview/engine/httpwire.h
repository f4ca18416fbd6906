#pragma once
// HTTP/1.x messages as the in-process proxy reads and writes them. Pure
// functions on bytes (Qt Core only).
#include <QByteArray>
#include <QList>
#include <QPair>

namespace engine::http {

// Header fields in the order received, names as written.
using HeaderList = QList<QPair<QByteArray, QByteArray>>;

// Value of the first field named name (case-insensitive); null when absent.
QByteArray header(const HeaderList& headers, const QByteArray& name);
bool hasHeader(const HeaderList& headers, const QByteArray& name);
void removeHeader(HeaderList& headers, const QByteArray& name);
// Replaces every field named name by one field with value (appended when
// there was none, kept in place otherwise).
void setHeader(HeaderList& headers, const QByteArray& name, const QByteArray& value);
// Whether a comma-separated field (Connection, Transfer-Encoding) lists token.
bool headerListsToken(const HeaderList& headers, const QByteArray& name, const QByteArray& token);

struct RequestHead {
    QByteArray method;
    QByteArray target;  // absolute URL, or host:port for CONNECT
    QByteArray version;
    HeaderList headers;
};

struct ResponseHead {
    QByteArray version;
    int status = 0;
    QByteArray reason;
    HeaderList headers;
};

// End of the head in data (the index just past the empty line), or -1 when
// the head is not complete yet.
qsizetype headEnd(const QByteArray& data);

// Parse a head (request line or status line, then the fields, up to and
// including the empty line). False when it is not well formed.
bool parseRequestHead(const QByteArray& head, RequestHead* out);
bool parseResponseHead(const QByteArray& head, ResponseHead* out);

QByteArray serializeRequestHead(const QByteArray& method, const QByteArray& target,
                                const QByteArray& version, const HeaderList& headers);
QByteArray serializeResponseHead(const ResponseHead& head);

// How a message body is delimited.
struct BodyFraming {
    enum Kind { None, Length, Chunked, UntilClose } kind = None;
    qint64 length = 0;
};
BodyFraming requestFraming(const RequestHead& head);
BodyFraming responseFraming(const ResponseHead& head, const QByteArray& requestMethod);

// Decodes a chunked body from data. Returns the bytes consumed (through the
// final empty line) and fills body, or -1 while incomplete, -2 when malformed.
qsizetype decodeChunked(const QByteArray& data, QByteArray* body);

// Standard reason phrase of a status code ("OK" for 200; "" when unknown).
QByteArray reasonPhrase(int status);

}  // namespace engine::http
