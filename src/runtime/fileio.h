#pragma once
// Whole-file reading and safe whole-file writing.
#include <QString>
#include <optional>
#include <string>

namespace rt {

// Reads the whole file; nullopt when it cannot be opened or read.
std::optional<std::string> readWholeFile(const QString& path);

struct WriteResult {
    bool ok = false;
    QString error;  // the system's reason when !ok
};

enum class Durability {
    Flushed,   // the data reaches the disk before the rename (documents)
    Replaced,  // rename only: readers never see half a file, but a power
               // cut may lose the newest version (files rewritten every second)
};

enum class Access {
    Shared,   // an existing file keeps its permissions, a new one gets
              // 0666 & ~umask (documents and scripts the user hands around)
    Private,  // 0600 whatever was there (recovery files, reports, screenshots,
              // the preview page: they may hold what the user typed into pages)
};

// Writes `bytes` to a temporary file beside `path` and renames it over
// `path`, so a failed or interrupted write never destroys the old file.
// Every write and the close are checked (a full disk often shows only at
// the close or the flush), so ok means the whole file is in place.
WriteResult writeFileAtomically(const QString& path, const std::string& bytes,
                                Durability durability = Durability::Flushed,
                                Access access = Access::Shared);

// Makes `path` and any missing parents; the folders it makes are 0700 (an
// existing folder is left as it is). ok when the folder exists afterwards.
WriteResult makePrivateFolder(const QString& path);

}  // namespace rt
