#pragma once
// Shared by the real-engine tests of the script tool. Included first: the web
// view tests' environment (a temporary home and XDG folders, removed at exit,
// so that neither the test nor the engine nor a child tolvane-fill writes
// into the real home folder; the application prepared for the engine), their
// waiting helper, and a server that answers by path.
#include "../webview/enginetest.h"

#include <QFile>

#include <functional>

namespace fill_test {

using webview_test::waitUntil;

// Serves GET requests on 127.0.0.1 with what `page` gives for the path
// (a null array: 404). One answer per connection.
class PageServer : public webview_test::HttpServer {
public:
    explicit PageServer(std::function<QByteArray(const QByteArray& path)> page)
        : HttpServer([page = std::move(page)](const QByteArray& head) {
              const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
              const QByteArray body = requestLine.size() > 1 ? page(requestLine[1]) : QByteArray();
              return body.isNull() ? webview_test::httpAnswer("missing", {}, "404 Not Found")
                                   : webview_test::httpAnswer(body);
          })
    {
    }
};

// The files of the tests' pages/ folder, by path; null for anything else.
inline QByteArray servePageFiles(const QByteArray& path)
{
    QFile file(QStringLiteral(TOLVANE_TEST_DATA_DIR "/pages") + QString::fromUtf8(path));
    if (path.contains("..") || !file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

}  // namespace fill_test
