#include "engine/proxy/bodycoding.h"

#include <zlib.h>

#include <limits>

namespace engine::http {
namespace {

// windowBits as zlib takes them: 15 + 32 reads a gzip or zlib header,
// -15 raw deflate data.
std::optional<QByteArray> inflateWith(int windowBits, const QByteArray& body, qint64 limit)
{
    z_stream stream{};
    if (inflateInit2(&stream, windowBits) != Z_OK)
        return std::nullopt;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.constData()));
    stream.avail_in = uInt(body.size());
    QByteArray out;
    int result = Z_OK;
    char chunk[64 * 1024];
    while (result == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(chunk);
        stream.avail_out = sizeof chunk;
        result = inflate(&stream, Z_NO_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END)
            break;
        out.append(chunk, qsizetype(sizeof chunk - stream.avail_out));
        if (out.size() > limit) {
            result = Z_MEM_ERROR;
            break;
        }
        if (result == Z_OK && stream.avail_in == 0 && stream.avail_out != 0)
            result = Z_BUF_ERROR;  // the body ended before the stream did
    }
    inflateEnd(&stream);
    if (result != Z_STREAM_END)
        return std::nullopt;
    return out;
}

}  // namespace

std::optional<QByteArray> decodeBody(const QByteArray& coding, const QByteArray& body, qint64 limit)
{
    if (body.size() > qint64(std::numeric_limits<uInt>::max()))
        return std::nullopt;
    const QByteArray name = coding.trimmed().toLower();
    if (name == "gzip" || name == "x-gzip")
        return inflateWith(15 + 32, body, limit);
    if (name == "deflate") {
        // Servers send "deflate" both with the zlib wrapper and without.
        if (auto wrapped = inflateWith(15 + 32, body, limit))
            return wrapped;
        return inflateWith(-15, body, limit);
    }
    return std::nullopt;
}

}  // namespace engine::http
