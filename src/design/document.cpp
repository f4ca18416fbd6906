#include "design/document.h"

#include "design/design.h"
#include "design/rule.h"
#include "runtime/textcodec.h"

namespace design {

namespace {
constexpr std::string_view kHead =
    "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta charset=\"utf-8\">\r\n<style>\r\n";
constexpr std::string_view kStyleEnd = "\r\n</style>\r\n</head>\r\n<body>\r\n";
constexpr std::string_view kEnd = "</body>\r\n</html>";
}  // namespace

std::string Design::generateDocument() const { return design::generateDocument(list_); }

std::string generateDocument(const ComponentList& list)
{
    std::size_t size = kHead.size() + kStyleEnd.size() + kEnd.size();
    for (const Component& c : list)
        size += 2 * c.rule.size() + c.innerText.size() + 24;

    std::string doc;
    doc.reserve(size);
    doc += kHead;
    for (const Component& c : list) {
        doc += c.rule;
        doc += "\r\n";
    }
    doc += kStyleEnd;
    for (const Component& c : list) {
        const std::string tag = readRuleTag(c.rule);
        doc += "  <";
        doc += tag;
        doc += " class= \"";
        doc += readRuleClass(c.rule);
        doc += "\">";
        doc += c.innerText;
        doc += "</";
        doc += tag;
        doc += ">\r\n";
    }
    doc += kEnd;
    return doc;
}

std::string encodeUtf8(std::string_view gbText)
{
    if (gbText.empty())
        return {};
    // ASCII stretches are the same bytes in both encodings; only the rest
    // goes through the converter.
    std::string out;
    out.reserve(gbText.size() + gbText.size() / 2);
    std::size_t i = 0;
    while (i < gbText.size()) {
        std::size_t j = i;
        while (j < gbText.size() && static_cast<unsigned char>(gbText[j]) < 0x80)
            ++j;
        out.append(gbText.substr(i, j - i));
        if (j == gbText.size())
            break;
        // A non-ASCII run goes to the converter together with the first
        // byte below 0x30 after it: such a byte never belongs to a multi-byte
        // character, so the converter ends each run in its initial state,
        // also after malformed bytes, just as in one conversion of the whole.
        std::size_t k = j;
        while (k < gbText.size() && static_cast<unsigned char>(gbText[k]) >= 0x30)
            ++k;
        if (k < gbText.size())
            ++k;
        out += rt::gbToUtf8(gbText.substr(j, k - j));
        i = k;
    }
    return out;
}

// Through a temporary file that replaces the target only when complete: a
// failure keeps an existing file and reports the system's reason.
rt::WriteResult Design::saveDocumentTo(const QString& path) const
{
    return rt::writeFileAtomically(path, encodeUtf8(generateDocument()));
}

}  // namespace design
