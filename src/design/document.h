#pragma once
// The generated HTML document and its UTF-8 bytes on disk.
#include "runtime/fileio.h"

#include <QString>
#include <string>
#include <string_view>

namespace design {

// The whole page for the current ComponentList (GB18030 text, CR LF).
std::string generateDocument();
// GB18030 text to UTF-8 bytes without byte-order mark; empty for empty.
std::string encodeUtf8(std::string_view gbText);
// Writes encodeUtf8(generateDocument()) to `path` through a temporary file
// that replaces the target only when complete; reports failure with the
// system's reason and leaves an existing file untouched then.
rt::WriteResult saveDocumentTo(const QString& path);

}  // namespace design
