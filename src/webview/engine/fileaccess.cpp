#include "engine/fileaccess.h"

#include "engine/enginepage.h"
#include "engine/registry.h"
#include "engine/viewstate.h"

#include <QFileInfo>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>

#include <algorithm>

namespace engine {
namespace {

// Kept on a restricted view, destroyed with it.
struct FileRestriction {
    bool restricted = false;
};

bool isRestricted(wkeViewState* view)
{
    const FileRestriction* rule = view->findExtension<FileRestriction>();
    return rule && rule->restricted;
}

QUrl withoutFragment(const QUrl& url) { return url.adjusted(QUrl::RemoveFragment); }

// Whether a restricted view shows `document` now. Runs on the UI thread (Qt 6
// calls interceptors there), so the views' pages can be asked.
bool shownByRestrictedView(const QUrl& document)
{
    const QUrl wanted = withoutFragment(document);
    const auto& views = liveViews();
    return std::any_of(views.begin(), views.end(), [&](wkeViewState* v) {
        return isRestricted(v) && v->page && withoutFragment(v->page->url()) == wanted;
    });
}

class FileInterceptor : public QWebEngineUrlRequestInterceptor {
public:
    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        const QUrl url = info.requestUrl();
        const QUrl document = info.firstPartyUrl();
        const bool read = info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeXhr;
        if (!(url.isLocalFile() || (read && document.isLocalFile())) || !shownByRestrictedView(document))
            return;
        if (read || !fileRequestAllowed(info.resourceType(), url, document))
            info.block(true);
    }
};

// One for every profile: profiles outlive views and are deleted at shutdown.
FileInterceptor& interceptor()
{
    static FileInterceptor* one = new FileInterceptor;
    return *one;
}

void installFor(wkeViewState* view)
{
    if (view->profile)
        view->profile->setUrlRequestInterceptor(&interceptor());
}

}  // namespace

bool fileRequestAllowed(QWebEngineUrlRequestInfo::ResourceType type, const QUrl& url, const QUrl& document)
{
    using Info = QWebEngineUrlRequestInfo;
    // Navigations replace the page and its scripts: nothing is read by them.
    if (type == Info::ResourceTypeMainFrame)
        return true;
    // What the page shows and runs, never what it reads: no XMLHttpRequest,
    // fetch, frame, object or worker, whose content a file page could read.
    switch (type) {
    case Info::ResourceTypeImage:
    case Info::ResourceTypeStylesheet:
    case Info::ResourceTypeScript:
    case Info::ResourceTypeFontResource:
    case Info::ResourceTypeMedia:
    case Info::ResourceTypeFavicon:
        break;
    default:
        return false;
    }
    // File pages share one origin, so a loaded image could still be read
    // back through a canvas: only the page's own folder, not the disk.
    return document.isLocalFile() &&
           QFileInfo(url.toLocalFile()).absolutePath() == QFileInfo(document.toLocalFile()).absolutePath();
}

void restrictFileAccess(wkeViewState* view, bool restricted)
{
    view->extension<FileRestriction>().restricted = restricted;
    if (restricted)
        installFor(view);
}

void applyFileAccess(wkeViewState* view)
{
    // A view that moves to other storage gets a new page on another profile.
    if (isRestricted(view))
        installFor(view);
}

}  // namespace engine
