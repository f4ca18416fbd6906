#include "design/import.h"

#include "design/design.h"
#include "design/gbops.h"
#include "design/rule.h"
#include "design/ruleparts.h"
#include "runtime/fileio.h"
#include "runtime/textcodec.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>

namespace design {

using detail::ImportedElement;
using detail::npos;

namespace {

// Stands in for the quoted class name while a body line is tested.
constexpr std::string_view kMarker = "sjjgklsheguskuef";
constexpr std::string_view kClassMarker = "class=sjjgklsheguskuef";

struct DocumentParts {
    std::vector<std::string_view> pieces;  // style text split at "}"
    std::vector<std::string_view> lines;   // body text split at CR LF
};

DocumentParts splitDocument(std::string_view doc)
{
    return {detail::split(detail::between(doc, "<style>", "</style>"), "}"),
            detail::split(detail::between(doc, "<body>", "</body>"), "\r\n")};
}

// Reads every rule piece; `findLine(cls)` answers the element line of a class
// (empty when none).
template <typename FindLine>
std::vector<ImportedElement> readPieces(const DocumentParts& parts, FindLine&& findLine)
{
    std::vector<ImportedElement> out;
    std::string rule;
    for (std::string_view piece : parts.pieces) {
        if (detail::find(piece, "{") == npos)
            continue;
        rule.assign(piece);
        rule += '}';
        std::string cls = readRuleClass(rule);
        if (detail::find(cls, ":") != npos)
            continue;  // pseudo-class rules make no Component
        const std::string_view line = findLine(cls);

        ImportedElement e;
        e.tag = readRuleTag(rule);
        const std::vector<std::string_view> lines = detail::ruleBodyLines(rule);
        e.left = ruleNumber(detail::geometryValue(lines, "  left:"));
        e.top = ruleNumber(detail::geometryValue(lines, "  top:"));
        e.width = ruleNumber(detail::geometryValue(lines, "  width:"));
        e.height = ruleNumber(detail::geometryValue(lines, "  height:"));
        e.extra = detail::extraDeclarations(lines);
        e.innerText = textBetween(line, ">", "</");
        e.className = std::move(cls);
        out.push_back(std::move(e));
    }
    return out;
}

// Body lines indexed by the values of their class attributes. A line can
// carry a class only where its quoted value follows "class=" (spaces
// ignored), or where the line itself spells the marker after "class=". The
// index hands out a superset of those lines in order; the exact test then
// decides, so the result equals that of testing every line.
class LineIndex {
public:
    explicit LineIndex(const std::vector<std::string_view>& lines) : lines_(lines)
    {
        for (std::uint32_t li = 0; li < lines.size(); ++li)
            scanLine(li, lines[li]);
    }

    std::string_view elementLine(const std::string& cls)
    {
        if (auto hit = memo_.find(cls); hit != memo_.end())
            return hit->second < 0 ? std::string_view() : lines_[std::size_t(hit->second)];
        const std::string_view key = std::string_view(cls).substr(0, cls.find('"'));
        static const std::vector<std::uint32_t> none;
        auto it = byKey_.find(key);
        const std::vector<std::uint32_t>& keyed = it == byKey_.end() ? none : it->second;

        long found = -1;
        std::size_t a = 0, b = 0;
        while (a < keyed.size() || b < spelled_.size()) {
            std::uint32_t li;
            if (b >= spelled_.size() || (a < keyed.size() && keyed[a] <= spelled_[b])) {
                li = keyed[a++];
                if (b < spelled_.size() && spelled_[b] == li)
                    ++b;
            } else {
                li = spelled_[b++];
            }
            if (detail::lineCarriesClass(lines_[li], cls)) {
                found = long(li);
                break;
            }
        }
        memo_.emplace(cls, found);
        return found < 0 ? std::string_view() : lines_[std::size_t(found)];
    }

private:
    void scanLine(std::uint32_t li, std::string_view line)
    {
        char window[6] = {0, 0, 0, 0, 0, 0};  // the last six non-space bytes
        std::size_t spelled = 0;               // progress through kClassMarker
        bool spelledFound = false;
        for (std::size_t i = 0; i < line.size(); ++i) {
            const char c = line[i];
            if (c == ' ')
                continue;
            if (c == '"' && std::memcmp(window, "class=", 6) == 0) {
                const std::size_t close = line.find('"', i + 1);
                if (close != npos)
                    addKey(line.substr(i + 1, close - i - 1), li);
            }
            std::memmove(window, window + 1, 5);
            window[5] = c;
            if (!spelledFound) {
                // 'c' occurs only at the start of kClassMarker, so a
                // mismatch restarts at 0 or 1.
                if (c == kClassMarker[spelled])
                    ++spelled;
                else
                    spelled = (c == 'c') ? 1 : 0;
                if (spelled == kClassMarker.size()) {
                    spelledFound = true;
                    spelled_.push_back(li);
                }
            }
        }
    }

    void addKey(std::string_view key, std::uint32_t li)
    {
        std::vector<std::uint32_t>& v = byKey_[key];
        if (v.empty() || v.back() != li)
            v.push_back(li);
    }

    const std::vector<std::string_view>& lines_;
    std::unordered_map<std::string_view, std::vector<std::uint32_t>> byKey_;
    std::vector<std::uint32_t> spelled_;
    std::unordered_map<std::string, long> memo_;
};

template <typename Reader>
void replaceDesign(Design& design, std::string_view doc, Reader&& read)
{
    StepScope step(design, Design::tr("Read"));
    if (Canvas* c = design.canvas())
        for (const Component& comp : design.components())
            c->destroyBox(comp.boxHandle);
    design.clearComponents();
    for (const ImportedElement& e : read(doc))
        design.createComponentWithBox(e.tag, e.className, e.left, e.top, e.width, e.height,
                                      e.extra, e.innerText);
}

}  // namespace

namespace detail {

bool lineCarriesClass(std::string_view line, std::string_view className)
{
    if (find(line, className) == npos)
        return false;
    std::string quoted;
    quoted.reserve(className.size() + 2);
    quoted += '"';
    quoted += className;
    quoted += '"';
    std::string t = replaceAll(line, quoted, kMarker);
    std::erase(t, ' ');
    return find(t, kClassMarker) != npos;
}

std::vector<ImportedElement> readDocument(std::string_view doc)
{
    const DocumentParts parts = splitDocument(doc);
    LineIndex index(parts.lines);
    return readPieces(parts, [&](const std::string& cls) { return index.elementLine(cls); });
}

std::vector<ImportedElement> readDocumentReference(std::string_view doc)
{
    const DocumentParts parts = splitDocument(doc);
    return readPieces(parts, [&](const std::string& cls) {
        for (std::string_view line : parts.lines)
            if (lineCarriesClass(line, cls))
                return line;
        return std::string_view();
    });
}

void parseDocumentReference(Design& design, std::string_view doc)
{
    replaceDesign(design, doc, readDocumentReference);
}

}  // namespace detail

std::string decodeUtf8ToLocal(std::string_view utf8) { return rt::utf8ToGb(utf8); }

void Design::parseDocument(std::string_view doc) { replaceDesign(*this, doc, detail::readDocument); }

void Design::importDocumentFrom(const QString& path)
{
    const std::string bytes = rt::readWholeFile(path).value_or(std::string());
    const std::size_t nul = bytes.find('\0');
    const std::string_view text = std::string_view(bytes).substr(0, nul);
    parseDocument(decodeUtf8ToLocal(text));
}

}  // namespace design
