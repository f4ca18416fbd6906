#pragma once
// Cookies of the library's profiles. For the library's own sources.
class QWebEngineProfile;

namespace engine {

// Whether pages on the profile may use cookies (wkeSetCookieEnabled).
bool cookiesEnabled(QWebEngineProfile* profile);

}  // namespace engine
