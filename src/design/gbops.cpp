#include "design/gbops.h"

#include "runtime/gbtext.h"

namespace design::detail {

std::string lowerAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = char(c + ('a' - 'A'));
    return out;
}

std::size_t findIgnoringCase(std::string_view text, std::string_view what, std::size_t from)
{
    // Lowering ASCII capitals keeps every byte inside the same trail-byte
    // range, so character boundaries of the copies equal those of the text.
    return find(lowerAscii(text), lowerAscii(what), from);
}

std::string_view between(std::string_view text, std::string_view leftMarker, std::string_view rightMarker)
{
    const std::size_t l = find(text, leftMarker);
    if (l == npos)
        return {};
    const std::size_t s = l + leftMarker.size();
    const std::size_t r = find(text, rightMarker, s);
    if (r == npos)
        return {};
    return text.substr(s, r - s);
}

std::vector<std::string_view> split(std::string_view text, std::string_view separator)
{
    std::vector<std::string_view> pieces;
    if (text.empty())
        return pieces;
    if (separator.empty()) {
        pieces.push_back(text);
        return pieces;
    }
    std::size_t pos = 0;
    for (;;) {
        const std::size_t hit = find(text, separator, pos);
        if (hit == npos) {
            if (pos < text.size())
                pieces.push_back(text.substr(pos));
            break;
        }
        pieces.push_back(text.substr(pos, hit - pos));
        pos = hit + separator.size();
    }
    return pieces;
}

std::string replaceAll(std::string_view text, std::string_view what, std::string_view with)
{
    if (what.empty())
        return std::string(text);
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    for (;;) {
        const std::size_t hit = find(text, what, pos);
        if (hit == npos)
            break;
        out.append(text.substr(pos, hit - pos));
        out.append(with);
        pos = hit + what.size();
    }
    out.append(text.substr(pos));
    return out;
}

}  // namespace design::detail
