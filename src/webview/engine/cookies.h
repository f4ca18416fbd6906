#pragma once
// Cookies of the library's profiles. For the library's own sources.
class QWebEngineProfile;

namespace engine {

// Whether pages on the profile may use cookies (wkeSetCookieEnabled).
bool cookiesEnabled(QWebEngineProfile* profile);

// Sets in `to` every cookie `from` holds as far as its store has reported
// them (all it restored from disk and all set since).
void copyCookies(QWebEngineProfile* from, QWebEngineProfile* to);

}  // namespace engine
