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

}  // namespace webview
