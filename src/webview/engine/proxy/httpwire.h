#pragma once
// HTTP/1.x messages as the in-process proxy reads and writes them. Pure
// functions on bytes (Qt Core only).
#include <QByteArray>
#include <QList>
#include <QPair>

#include <utility>

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
// Removes the fields that concern one connection only: the fixed hop-by-hop
// set and every field the Connection fields name. One pass over the fields.
void removeHopByHop(HeaderList& headers);

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
// the head is not complete yet. Bytes before `from` are known to hold no end
// yet, so a head that arrives in pieces is searched once, not per piece.
qsizetype headEnd(const QByteArray& data, qsizetype from = 0);

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

// Decodes a chunked body as its bytes arrive; every byte is looked at once,
// and only bytes that arrived are ever held, whatever sizes the chunk lines
// claim. Size lines and trailer lines longer than kMaxLine are malformed.
class ChunkedDecoder {
public:
    enum State { NeedMore, Done, Malformed };
    static constexpr qsizetype kMaxLine = 8 * 1024;

    // Reads the next bytes of the message body. Bytes after the end are not
    // consumed; once Done or Malformed, further calls change nothing.
    State feed(QByteArrayView bytes);
    State state() const { return m_state; }
    // The body decoded so far.
    const QByteArray& body() const { return m_body; }
    QByteArray takeBody() { return std::exchange(m_body, {}); }
    // Bytes consumed over all calls (through the final empty line once Done).
    qint64 consumed() const { return m_consumed; }

private:
    enum class Phase { SizeLine, Data, DataEnd, Trailer };
    void endLine(QByteArrayView line);

    Phase m_phase = Phase::SizeLine;
    State m_state = NeedMore;
    qint64 m_remaining = 0;  // data bytes still due in the current chunk
    qint64 m_consumed = 0;
    QByteArray m_line;       // a size, chunk-end or trailer line in progress
    QByteArray m_body;
};

// Decodes a whole chunked body from data. Returns the bytes consumed (through
// the final empty line) and fills body, or -1 while incomplete, -2 when
// malformed.
qsizetype decodeChunked(const QByteArray& data, QByteArray* body);

// Standard reason phrase of a status code ("OK" for 200; "" when unknown).
QByteArray reasonPhrase(int status);

// The host and port of a CONNECT target: "name:port", "1.2.3.4:port" or
// "[v6]:port" (brackets removed). Names hold letters, digits, '.', '-' and
// '_' only, so that a host taken from here can stand in a URL or a
// certificate as it is. False when malformed.
bool parseConnectTarget(const QByteArray& target, QString* host, quint16* port);
// The absolute URL of an origin-form target ("/path?query") sent inside a
// TLS connection to host:port; empty when target is not in origin form.
QByteArray httpsUrl(const QString& host, quint16 port, const QByteArray& target);

}  // namespace engine::http
