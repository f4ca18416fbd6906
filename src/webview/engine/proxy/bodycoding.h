#pragma once
// Content codings of response bodies the proxy holds whole for a hook, so
// that hooks see and rewrite plain bytes.
#include <QByteArray>

#include <optional>

namespace engine::http {

// The body with its Content-Encoding (gzip, x-gzip or deflate) undone;
// nullopt for another coding, a corrupt body, or a plain body larger than
// limit (the body then stays as it came).
std::optional<QByteArray> decodeBody(const QByteArray& coding, const QByteArray& body, qint64 limit);

}  // namespace engine::http
