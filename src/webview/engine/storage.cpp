// Storage folder functions of the engine interface.
#include "engine/profiles.h"
#include "engine/startup.h"

#include <QFileInfo>

namespace engine {
namespace {

// Where paths given for the handle go: the view's request, or the settings
// for the views created next.
StoragePaths* storageRequest(wkeWebView handle)
{
    if (!handle)
        return &pendingViewSettings().storage;
    wkeViewState* view = liveView(handle);
    return view ? &view->requestedStorage : nullptr;
}

QString fromUtf16(const char16_t* text)
{
    return text ? QString::fromUtf16(text) : QString();
}

}  // namespace
}  // namespace engine

extern "C" {

WKE_API void wkeStartPrivateSession(wkeWebView handle)
{
    wkeViewState* view = engine::liveView(handle);
    if (!view)
        return;
    view->requestedStorage = engine::StoragePaths{QString(), QString(), engine::newSession()};
}

WKE_API void wkeSetCookieJarPath(wkeWebView handle, const char16_t* folder)
{
    if (engine::StoragePaths* paths = engine::storageRequest(handle))
        paths->cookieDir = engine::normalisedFolder(engine::fromUtf16(folder));
}

WKE_API void wkeSetCookieJarFullPath(wkeWebView handle, const char16_t* filePath)
{
    engine::StoragePaths* paths = engine::storageRequest(handle);
    if (!paths)
        return;
    const QString file = engine::fromUtf16(filePath);
    paths->cookieDir = file.isEmpty() ? QString() : engine::normalisedFolder(QFileInfo(file).path());
}

WKE_API void wkeSetLocalStorageFullPath(wkeWebView handle, const char16_t* folder)
{
    if (engine::StoragePaths* paths = engine::storageRequest(handle))
        paths->localStorageDir = engine::normalisedFolder(engine::fromUtf16(folder));
}

}  // extern "C"
