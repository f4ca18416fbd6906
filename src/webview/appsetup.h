#pragma once
// What a program must do before it creates its QApplication so that the page
// engine (loaded later, on the first engine call) can start in it. Header only;
// needs no Qt WebEngine.
#include <QCoreApplication>
#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace webview {

// Chromium refuses to run its sandbox as root; it stays on for everyone else.
inline void disableSandboxIfRoot()
{
#ifdef Q_OS_UNIX
    if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
#endif
}

// Call before creating the QApplication. Without the shared OpenGL contexts
// the first engine view crashes when the engine is loaded after the
// application object exists.
inline void prepareApplication()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    disableSandboxIfRoot();
}

// Unless TOLVANE_DEBUG=1 asks for them, the page engine's reports (its
// start-up parameters, Chromium's internal errors, Qt's warnings about the
// platform) stay off standard error, so that a program prints only its own
// messages; fatal errors still show. Call before creating the QApplication,
// and write the program's own messages to standard error directly.
inline void quietEngineOutput()
{
    if (qgetenv("TOLVANE_DEBUG") == "1")
        return;
    static QtMessageHandler previous = nullptr;
    previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (type == QtFatalMsg && previous)
            previous(type, context, text);
    });
    // Chromium logs to standard error itself, from every process it starts.
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.contains("--log-level="))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", (flags + " --log-level=3").trimmed());
}

}  // namespace webview
