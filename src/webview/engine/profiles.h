#pragma once
// Qt WebEngine profiles, one per storage pair, kept until the engine shuts
// down.
#include "engine/viewstate.h"

class QWebEngineProfile;

namespace engine {

// The profile for a storage pair, made on first use:
// - both paths empty: the shared private (off-the-record) profile, or for a
//   session number a private profile of that session alone, deleted by
//   releaseSession once no page uses it;
// - otherwise a persistent profile whose storage folder is the cookie folder
//   (the local-storage folder when no cookie folder is given). Chromium keeps
//   its cookie database there; its local storage goes to the local-storage
//   folder through a "Local Storage" link in the storage folder. The HTTP
//   cache goes to the user's cache folder.
// A storage folder is used by one profile only: a second pair naming the same
// folder (a view given a new local-storage folder keeps its cookie folder)
// gets a profile whose Chromium files live in a folder of the engine's, that
// starts with the first profile's cookies and keeps its local storage in the
// folder asked for.
QWebEngineProfile* profileFor(const StoragePaths& paths);

// Folder normalised for comparison: clean path without trailing separator.
QString normalisedFolder(const QString& folder);

// A new session number for wkeStartPrivateSession.
unsigned newSession();
// Deletes the profile of a session (after the last page using it is gone).
void releaseSession(unsigned session);

// Deletes every profile. Every page must be gone.
void releaseProfiles();

}  // namespace engine
