#pragma once
// Views whose file pages may not read other files (wkeSetLocalFileAccessEnable
// off). Qt WebEngine's own switch (LocalContentCanAccessFileUrls off) also
// refuses the images and styles beside the page, which a browser opening a
// saved page shows; so the rule is ours, in a request interceptor on the
// view's profile: a file request made by such a view's page passes only when
// it is one of those resources, from the page's own folder. Such a page
// makes no XMLHttpRequest or fetch at all: a file page may read any web
// server's answer (LocalContentCanAccessRemoteUrls, which the remote images
// it shows need), a local server's too.
#include <QUrl>
#include <QWebEngineUrlRequestInfo>

struct wkeViewState;

namespace engine {

void restrictFileAccess(wkeViewState* view, bool restricted);
// Puts the rule on the profile of a restricted view's new page.
void applyFileAccess(wkeViewState* view);

// Whether a page at `document` may load the file `url` as `type`.
bool fileRequestAllowed(QWebEngineUrlRequestInfo::ResourceType type, const QUrl& url, const QUrl& document);

}  // namespace engine
