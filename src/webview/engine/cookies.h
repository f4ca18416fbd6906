#pragma once
// Cookies of the library's profiles. For the library's own sources.
class QWebEngineProfile;

namespace engine {

// Starts the profile's cookie account (what its store has reported), before
// its first page gets cookies; done for every new page of a view.
void watchCookies(QWebEngineProfile* profile);

// Whether pages on the profile may use cookies (wkeSetCookieEnabled); false
// from setCookiesEnabled without a profile. The network part keeps cookies
// off the requests of a profile that has them switched off (net::
// updateInterception after a change).
bool cookiesEnabled(QWebEngineProfile* profile);
bool setCookiesEnabled(QWebEngineProfile* profile, bool enable);

// Sets in `to` every cookie `from` holds as far as its store has reported
// them (all it restored from disk and all set since).
void copyCookies(QWebEngineProfile* from, QWebEngineProfile* to);

}  // namespace engine
