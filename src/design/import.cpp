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
    const detail::PageSections sections = detail::pageSections(doc);
    return {detail::split(sections.style, "}"), detail::split(sections.body, "\r\n")};
}

// The text in double quotes, as a class attribute holds it.
std::string quote(std::string_view text)
{
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '"';
    quoted += text;
    quoted += '"';
    return quoted;
}

// A rule in the shape this program writes: its extra declarations stand
// between the two marker comments.
bool isTemplateRule(std::string_view rule)
{
    const std::size_t open = detail::find(rule, "/* other1 */\r\n");
    return open != npos && detail::find(rule, "\r\n/* other2 */", open) != npos;
}

// The rule from the end of its selector on. The body starts at the first "{";
// a class name holding "{" would otherwise put the rest of the selector into
// the body, and one more line into the extra declarations on every reading.
std::string_view afterSelector(std::string_view rule, std::string_view cls)
{
    if (cls.find('{') == npos)
        return rule;
    return rule.substr(detail::find(rule, ".") + 1 + cls.size());
}

// The element line from its quoted class name on, when the name holds ">":
// the inner text starts after the tag's ">", not at the one inside the name.
std::string_view afterClassAttribute(std::string_view line, std::string_view cls)
{
    if (cls.find('>') == npos)
        return line;
    const std::string quoted = quote(cls);
    const std::size_t at = detail::find(line, quoted);
    return at == npos ? line : line.substr(at + quoted.size());
}

// Extra declarations as the next reading of the saved page would give them
// back: removing a comment can join a CR and an LF into a line break, or leave
// a line that is only a comment, and the template's reading drops such lines.
// Settling them now keeps save, read, save stable after the first reading.
std::string settledExtra(std::string extra)
{
    for (int pass = 0; pass < 4; ++pass) {
        std::string next = detail::extraDeclarations(detail::split(extra, "\r\n"), true);
        if (next == extra)
            break;
        extra = std::move(next);
    }
    return extra;
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
        const std::vector<std::string_view> lines = detail::ruleBodyLines(afterSelector(rule, cls));
        e.left = ruleNumber(detail::geometryValue(lines, "  left:"));
        e.top = ruleNumber(detail::geometryValue(lines, "  top:"));
        e.width = ruleNumber(detail::geometryValue(lines, "  width:"));
        e.height = ruleNumber(detail::geometryValue(lines, "  height:"));
        e.extra = settledExtra(detail::extraDeclarations(lines, isTemplateRule(rule)));
        e.innerText = textBetween(afterClassAttribute(line, cls), ">", "</");
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

        const std::vector<std::uint32_t>& spelled = spelledCandidates(cls);
        long found = -1;
        std::size_t a = 0, b = 0;
        while (a < keyed.size() || b < spelled.size()) {
            std::uint32_t li;
            if (b >= spelled.size() || (a < keyed.size() && keyed[a] <= spelled[b])) {
                li = keyed[a++];
                if (b < spelled.size() && spelled[b] == li)
                    ++b;
            } else {
                li = spelled[b++];
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
    // The lines spelling the marker that may hold cls: those holding its
    // rarest byte pair or triple, from an index of the spelled lines' grams
    // made on first use. Without it every class would test every such line
    // (a page of such lines read in time rules x lines).
    const std::vector<std::uint32_t>& spelledCandidates(std::string_view cls)
    {
        if (spelled_.empty() || cls.size() < 2)
            return spelled_;
        if (grams_.empty())
            for (std::uint32_t li : spelled_) {
                const std::string_view line = lines_[li];
                for (std::size_t i = 0; i + 1 < line.size(); ++i) {
                    addGram(gram(line, i, 2), li);
                    if (i + 2 < line.size())
                        addGram(gram(line, i, 3), li);
                }
            }
        static const std::vector<std::uint32_t> none;
        const std::size_t n = cls.size() >= 3 ? 3 : 2;
        const std::vector<std::uint32_t>* best = nullptr;
        for (std::size_t i = 0; i + n <= cls.size(); ++i) {
            const auto it = grams_.find(gram(cls, i, n));
            if (it == grams_.end())
                return none;  // no spelled line holds this piece of cls
            if (!best || it->second.size() < best->size())
                best = &it->second;
        }
        return *best;
    }

    // Two or three bytes as one key; the length keeps pairs and triples apart.
    static std::uint32_t gram(std::string_view s, std::size_t i, std::size_t n)
    {
        std::uint32_t key = std::uint32_t(n) << 24;
        for (std::size_t k = 0; k < n; ++k)
            key |= std::uint32_t(static_cast<unsigned char>(s[i + k])) << (8 * k);
        return key;
    }

    void addGram(std::uint32_t key, std::uint32_t li)
    {
        std::vector<std::uint32_t>& v = grams_[key];
        if (v.empty() || v.back() != li)
            v.push_back(li);
    }

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
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> grams_;  // of the spelled lines
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

PageSections pageSections(std::string_view doc)
{
    constexpr std::string_view kStyleOpen = "<style>", kStyleClose = "</style>";
    PageSections out;
    out.style = between(doc, kStyleOpen, kStyleClose);
    std::size_t bodyFrom = 0;
    if (const std::size_t open = find(doc, kStyleOpen); open != npos)
        if (const std::size_t close = find(doc, kStyleClose, open + kStyleOpen.size()); close != npos)
            bodyFrom = close + kStyleClose.size();
    out.body = between(doc.substr(bodyFrom), "<body>", "</body>");
    return out;
}

bool lineCarriesClass(std::string_view line, std::string_view className)
{
    if (find(line, className) == npos)
        return false;
    std::string t = replaceAll(line, quote(className), kMarker);
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
