#include "engine/profiles.h"

#include <map>

#include "engine/cookies.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QWebEngineProfile>

namespace engine {
namespace {

struct ProfileEntry {
    StoragePaths paths;
    QString storageDir;
    QWebEngineProfile* profile = nullptr;
};

struct Registry {
    std::vector<ProfileEntry> entries;
    QWebEngineProfile* privateProfile = nullptr;
    std::map<unsigned, QWebEngineProfile*> sessions;
    unsigned lastSession = 0;
};

Registry& registry()
{
    static Registry* r = new Registry;
    return *r;
}

QWebEngineProfile* privateProfile()
{
    Registry& r = registry();
    if (!r.privateProfile) {
        r.privateProfile = new QWebEngineProfile;  // no storage name: off the record
    }
    return r.privateProfile;
}

// Chromium keeps local storage in "<storage>/Local Storage"; a link there puts
// it in the folder asked for.
void linkLocalStorage(const QString& storageDir, const QString& localStorageDir)
{
    if (localStorageDir.isEmpty() || localStorageDir == storageDir)
        return;
    QDir().mkpath(storageDir);
    const QString link = storageDir + QStringLiteral("/Local Storage");
    const QFileInfo existing(link);
    if (existing.isSymLink()) {
        if (QDir::cleanPath(existing.symLinkTarget()) == localStorageDir)
            return;
        QFile::remove(link);
    } else if (existing.exists()) {
        return;  // a folder of an earlier run without the link: keep its data
    }
    // Relative, so that the pair survives a move of the folders above them.
    QFile::link(QDir(storageDir).relativeFilePath(localStorageDir), link);
}

}  // namespace

QString normalisedFolder(const QString& folder)
{
    if (folder.isEmpty())
        return {};
    return QDir::cleanPath(QDir::fromNativeSeparators(folder));
}

QWebEngineProfile* profileFor(const StoragePaths& requested)
{
    const StoragePaths paths{normalisedFolder(requested.cookieDir),
                             normalisedFolder(requested.localStorageDir)};
    if (paths.isPrivate() && requested.session != 0) {
        QWebEngineProfile*& profile = registry().sessions[requested.session];
        if (!profile) {
            profile = new QWebEngineProfile;  // off the record, its own cookies, storage and cache
        }
        return profile;
    }
    if (paths.isPrivate())
        return privateProfile();

    Registry& r = registry();
    QString storageDir = paths.cookieDir.isEmpty() ? paths.localStorageDir : paths.cookieDir;
    for (const ProfileEntry& entry : r.entries) {
        if (entry.paths == paths)
            return entry.profile;
    }
    const QByteArray key = QCryptographicHash::hash(
                               (paths.cookieDir + QLatin1Char('\n') + paths.localStorageDir).toUtf8(),
                               QCryptographicHash::Sha1)
                               .toHex()
                               .left(16);
    // A folder another pair's profile writes to (a view given a new local-
    // storage folder keeps its cookie folder) gets no second writer: the new
    // profile keeps Chromium's own files in a folder of the engine's and starts
    // with the other profile's cookies.
    QWebEngineProfile* cookieSource = nullptr;
    for (const ProfileEntry& entry : r.entries) {
        if (entry.storageDir == storageDir) {
            cookieSource = entry.profile;
            storageDir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                         QStringLiteral("/tolvane-engine/profiles/") + QString::fromLatin1(key);
            break;
        }
    }
    linkLocalStorage(storageDir, paths.localStorageDir);
    auto* profile = new QWebEngineProfile(QStringLiteral("vireloc-") + QString::fromLatin1(key));
    profile->setPersistentStoragePath(storageDir);
    profile->setCachePath(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                          QStringLiteral("/tolvane-engine/") + QString::fromLatin1(key));
    // The cookie jar keeps session cookies too, so a signed-in page stays
    // signed in after a restart.
    profile->setPersistentCookiesPolicy(QWebEngineProfile::ForcePersistentCookies);
    r.entries.push_back({paths, storageDir, profile});
    if (cookieSource)
        copyCookies(cookieSource, profile);
    return profile;
}

unsigned newSession() { return ++registry().lastSession; }

void releaseSession(unsigned session)
{
    Registry& r = registry();
    const auto found = r.sessions.find(session);
    if (found == r.sessions.end())
        return;
    delete found->second;
    r.sessions.erase(found);
}

void releaseProfiles()
{
    Registry& r = registry();
    for (auto& [session, profile] : r.sessions)
        delete profile;
    r.sessions.clear();
    for (ProfileEntry& entry : r.entries)
        delete entry.profile;
    r.entries.clear();
    delete r.privateProfile;
    r.privateProfile = nullptr;
}

}  // namespace engine
