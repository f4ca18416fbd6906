#include "webview/engineloader.h"

#include "runtime/paths.h"

#include <QApplication>
#include <QLibrary>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>

namespace webview {
namespace {

// Never destroyed: program objects may still reach the engine while static
// objects are being destroyed at exit.
struct Loader {
    EngineResolver resolver;
    EngineFailureHandler failureHandler;
    unsigned generation = 1;
    QLibrary* library = nullptr;
};

Loader& loader()
{
    static Loader* l = new Loader;
    return *l;
}

void* resolveInLibrary(const char* name)
{
    Loader& l = loader();
    if (!l.library) {
        l.library = new QLibrary(engineLibraryPath());
        l.library->setLoadHints(QLibrary::ResolveAllSymbolsHint);
    }
    if (!l.library->isLoaded() && !l.library->load())
        return nullptr;
    return reinterpret_cast<void*>(l.library->resolve(name));
}

void showFailureAndEnd(const QString& message)
{
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        QMessageBox::critical(nullptr, QString(), message);
    // No exit handlers: they could reach the missing engine again.
    std::_Exit(1);
}

}  // namespace

QString engineLibraryFileName()
{
    return QStringLiteral("libnode.so");
}

QString engineLibraryPath()
{
    return rt::programDirectory() + QLatin1Char('/') + engineLibraryFileName();
}

QString missingFunctionMessage(const QString& libraryFile, const char* function)
{
    return QStringLiteral("无法找到指定DLL库文件“%1”中的输出命令“%2”")
        .arg(libraryFile, QString::fromLatin1(function));
}

void* engineFunction(const char* name, BoundFunction& binding)
{
    Loader& l = loader();
    if (binding.address && binding.generation == l.generation)
        return binding.address;
    void* address = l.resolver ? l.resolver(name) : resolveInLibrary(name);
    if (!address) {
        const QString message = missingFunctionMessage(engineLibraryFileName(), name);
        if (l.failureHandler)
            l.failureHandler(message);
        else
            showFailureAndEnd(message);
        return nullptr;
    }
    binding.address = address;
    binding.generation = l.generation;
    return address;
}

void setEngineResolver(EngineResolver resolver)
{
    Loader& l = loader();
    l.resolver = std::move(resolver);
    ++l.generation;
}

void setEngineFailureHandler(EngineFailureHandler handler)
{
    loader().failureHandler = std::move(handler);
}

}  // namespace webview
