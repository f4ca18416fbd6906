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

// Writes `bytes` to a temporary file beside `path` and renames it over
// `path`, so a failed or interrupted write never destroys the old file.
WriteResult writeFileAtomically(const QString& path, const std::string& bytes,
                                Durability durability = Durability::Flushed);

}  // namespace rt
