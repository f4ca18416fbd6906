#include "design/packing.h"

#include <charconv>

namespace design {

std::string packComponents(const ComponentList& list)
{
    std::string out;
    for (const Component& c : list)
        for (const std::string* t : {&c.rule, &c.innerText}) {
            out += std::to_string(t->size());
            out += ':';
            out += *t;
        }
    return out;
}

std::optional<ComponentList> unpackComponents(std::string_view bytes)
{
    ComponentList out;
    std::string texts[2];
    int part = 0;
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::size_t n = 0;
        const char* first = bytes.data() + at;
        const auto [end, ec] = std::from_chars(first, bytes.data() + bytes.size(), n);
        if (ec != std::errc() || end == first || end == bytes.data() + bytes.size() || *end != ':')
            return std::nullopt;
        at = std::size_t(end - bytes.data()) + 1;
        if (n > bytes.size() - at)
            return std::nullopt;
        texts[part] = std::string(bytes.substr(at, n));
        at += n;
        if (++part == 2) {
            out.push_back(Component{std::move(texts[0]), std::move(texts[1]), 0});
            part = 0;
        }
    }
    if (part != 0)
        return std::nullopt;
    return out;
}

}  // namespace design
