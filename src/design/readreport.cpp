#include "design/readreport.h"

#include "design/gbops.h"
#include "design/import.h"
#include "design/rule.h"
#include "runtime/fileio.h"

#include <algorithm>
#include <unordered_set>

namespace design {

std::string readPageText(const QString& path)
{
    const std::string bytes = rt::readWholeFile(path).value_or(std::string());
    return decodeUtf8ToLocal(std::string_view(bytes).substr(0, bytes.find('\0')));
}

LeftOut leftOutOf(std::string_view page, const ComponentList& taken)
{
    LeftOut out;
    const detail::PageSections sections = detail::pageSections(page);
    int rules = 0;
    for (std::string_view piece : detail::split(sections.style, "}"))
        if (detail::find(piece, "{") != detail::npos)
            ++rules;
    out.rules = std::max(0, rules - int(taken.size()));

    std::unordered_set<std::string> classes;
    for (const Component& c : taken)
        classes.insert(readRuleClass(c.rule));
    for (std::string_view line : detail::split(sections.body, "\r\n")) {
        std::string t(line);
        std::erase(t, ' ');
        const bool element = t.size() > 1 && t[0] == '<'
                             && ((t[1] >= 'a' && t[1] <= 'z') || (t[1] >= 'A' && t[1] <= 'Z'));
        if (!element)
            continue;
        // Taken when one of its class values is a Component's class name.
        bool claimed = false;
        for (std::size_t at = detail::find(t, "class=\""); at != detail::npos && !claimed;
             at = detail::find(t, "class=\"", at + 1)) {
            const std::size_t start = at + 7;
            const std::size_t end = t.find('"', start);
            if (end == std::string::npos)
                break;
            claimed = classes.count(t.substr(start, end - start)) != 0;
        }
        if (!claimed)
            ++out.elements;
    }
    return out;
}

}  // namespace design
