#include "engine/fileaccess.h"

#include "engine/enginepage.h"
#include "engine/startup.h"
#include "engine/viewstate.h"

#include <QFileInfo>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>

#include <algorithm>
#include <vector>

namespace engine {
namespace {

std::vector<wkeViewState*>& restrictedViews()
{
    static std::vector<wkeViewState*> views;
    return views;
}

QUrl withoutFragment(const QUrl& url) { return url.adjusted(QUrl::RemoveFragment); }

// Whether a restricted view shows `document` now. Runs on the UI thread (Qt 6
// calls interceptors there), so the views' pages can be asked.
bool shownByRestrictedView(const QUrl& document)
{
    auto& views = restrictedViews();
    views.erase(std::remove_if(views.begin(), views.end(), [](wkeViewState* v) { return !liveView(v); }),
                views.end());
    const QUrl wanted = withoutFragment(document);
    return std::any_of(views.begin(), views.end(),
                       [&](wkeViewState* v) { return v->page && withoutFragment(v->page->url()) == wanted; });
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

// A view that moves to other storage gets a new page on another profile.
const bool pageSetupRegistered = addPageSetup([](wkeViewState* view) {
    auto& views = restrictedViews();
    if (std::find(views.begin(), views.end(), view) != views.end())
        installFor(view);
});

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
    auto& views = restrictedViews();
    views.erase(std::remove(views.begin(), views.end(), view), views.end());
    if (restricted) {
        views.push_back(view);
        installFor(view);
    }
}

}  // namespace engine
