#pragma once
// Reading a page back into a design.
#include <QString>

#include <string>
#include <string_view>
#include <vector>

namespace design {

class Design;

// UTF-8 bytes to GB18030 text; invalid sequences become U+FFFD and decoding
// goes on.
std::string decodeUtf8ToLocal(std::string_view utf8);
// Design::parseDocument replaces the design (destroying the old boxes) by the
// Components the document describes. Design::importDocumentFrom reads the
// file whole (an unreadable file gives no bytes), keeps the text up to the
// first NUL, decodes it and parses it. Writes nothing.

namespace detail {

// The style text (between the first "<style>" and the first "</style>" after
// it) and the body text (between "<body>" and "</body>"), the body being
// looked for only after the style block ends: extra declarations may spell a
// body line inside the style block.
struct PageSections {
    std::string_view style, body;
};
PageSections pageSections(std::string_view doc);

// One Component as the import reads it, before its box is made. `tag` is the
// raw text before the first "."; the rule keeps only its letters.
struct ImportedElement {
    std::string tag;
    std::string className;
    int left = 0, top = 0, width = 0, height = 0;
    std::string extra;
    std::string innerText;
    friend bool operator==(const ImportedElement&, const ImportedElement&) = default;
};

// The elements of a document, found through an index of the body lines.
std::vector<ImportedElement> readDocument(std::string_view doc);
// The same, searching every body line for every rule (quadratic); kept as the
// reference the indexed reader must agree with.
std::vector<ImportedElement> readDocumentReference(std::string_view doc);
// Whether a body line carries the class in its class attribute.
bool lineCarriesClass(std::string_view line, std::string_view className);
// parseDocument over readDocumentReference.
void parseDocumentReference(Design& design, std::string_view doc);

}  // namespace detail

}  // namespace design
