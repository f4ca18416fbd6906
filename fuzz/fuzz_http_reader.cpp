// The engine proxy's HTTP reader: heads, framing and chunked bodies from any
// server or client.
#include "fuzzcheck.h"
#include "webview/engine/proxy/httpwire.h"

using namespace engine::http;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype end = headEnd(bytes);
    FUZZ_CHECK(end == -1 || (end > 0 && end <= bytes.size()));
    const QByteArray head = end < 0 ? bytes : bytes.left(end);

    RequestHead request;
    if (parseRequestHead(head, &request)) {
        const BodyFraming f = requestFraming(request);
        FUZZ_CHECK(f.kind != BodyFraming::Length || f.length >= 0);
        serializeRequestHead(request.method, request.target, request.version, request.headers);
        headerListsToken(request.headers, "Connection", "close");
        removeHopByHop(request.headers);
        FUZZ_CHECK(!hasHeader(request.headers, "Connection"));
    }
    ResponseHead response;
    if (parseResponseHead(head, &response)) {
        const BodyFraming f = responseFraming(response, "GET");
        FUZZ_CHECK(f.kind != BodyFraming::Length || f.length >= 0);
        serializeResponseHead(response);
    }
    QByteArray body;
    const QByteArray chunked = end < 0 ? bytes : bytes.mid(end);
    const qsizetype used = decodeChunked(chunked, &body);
    FUZZ_CHECK(used >= -2 && used <= bytes.size());
    if (used >= 0) {
        // Fed in two pieces as they arrive from a socket, the body is the same.
        ChunkedDecoder decoder;
        const qsizetype cut = chunked.size() / 2;
        decoder.feed(QByteArrayView(chunked).first(cut));
        decoder.feed(QByteArrayView(chunked).sliced(cut));
        FUZZ_CHECK(decoder.state() == ChunkedDecoder::Done && decoder.body() == body &&
                   decoder.consumed() == used);
    }
    return 0;
}
