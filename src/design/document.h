#pragma once
// The generated HTML document and its UTF-8 bytes on disk.
#include "design/component.h"
#include "runtime/fileio.h"

#include <QString>
#include <string>
#include <string_view>

namespace design {

// The page of a design is Design::generateDocument (GB18030 text, CR LF);
// Design::saveDocumentTo writes its UTF-8 bytes through a temporary file.

// The page of a list of Components.
std::string generateDocument(const ComponentList& list);
// GB18030 text to UTF-8 bytes without byte-order mark; empty for empty.
std::string encodeUtf8(std::string_view gbText);

}  // namespace design
