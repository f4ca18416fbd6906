#pragma once
// Shared by the real-engine tests of the script tool. Included first: the web
// view tests' environment (a temporary home and XDG folders, removed at exit,
// so that neither the test nor the engine nor a child tolvane-fill writes
// into the real home folder; the application prepared for the engine), their
// waiting helper, and a server that answers by path.
#include "../webview/enginetest.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

#include <functional>

namespace fill_test {

using webview_test::waitUntil;

// Serves GET requests on 127.0.0.1 (or another loopback address) with what
// `page` gives for the path (a null array: 404). One answer per connection.
class PageServer : public webview_test::HttpServer {
public:
    explicit PageServer(std::function<QByteArray(const QByteArray& path)> page,
                        const QHostAddress& address = QHostAddress::LocalHost)
        : HttpServer([page = std::move(page)](const QByteArray& head) {
              const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
              const QByteArray body = requestLine.size() > 1 ? page(requestLine[1]) : QByteArray();
              return body.isNull() ? webview_test::httpAnswer("missing", {}, "404 Not Found")
                                   : webview_test::httpAnswer(body);
          },
          address)
    {
    }
};

// Writes bytes to name in dir and gives its path; a test cannot go on
// without it.
inline QString writeTestFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write a test file");
    return path;
}

// What a finished tolvane-fill printed and how it ended.
struct Outcome {
    int exitCode = -1;  // -1: it crashed or did not end in time
    QString out;        // standard output, UTF-8
    QString err;
};

// Runs a program (in workDir when given) while this process keeps its event
// loop (and so its page servers) going.
inline Outcome runProgram(const QString& program, const QStringList& args, int timeoutMs = 60000,
                          const QString& workDir = QString())
{
    QProcess p;
    p.setWorkingDirectory(workDir);
    p.start(program, args);
    Outcome o;
    if (!p.waitForStarted(10000))
        return o;
    waitUntil([&] { return p.state() == QProcess::NotRunning; }, timeoutMs);
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished();
        return o;
    }
    o.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    o.out = QString::fromUtf8(p.readAllStandardOutput());
    o.err = QString::fromUtf8(p.readAllStandardError());
    return o;
}

// Runs tolvane-fill from the program directory.
inline Outcome runFill(const QStringList& args, int timeoutMs = 60000)
{
    return runProgram(QCoreApplication::applicationDirPath() + "/tolvane-fill", args, timeoutMs);
}

// The files of the tests' pages/ folder, by path; null for anything else.
inline QByteArray servePageFiles(const QByteArray& path)
{
    QFile file(QStringLiteral(TOLVANE_TEST_DATA_DIR "/pages") + QString::fromUtf8(path));
    if (path.contains("..") || !file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

}  // namespace fill_test
