#include "webview/netresponse.h"

namespace webview {

std::string replaceAllBytes(std::string_view data, std::string_view find,
                            std::string_view replacement)
{
    if (find.empty())
        return std::string(data);
    std::string out;
    out.reserve(data.size());
    size_t from = 0;
    for (size_t at = data.find(find); at != std::string_view::npos; at = data.find(find, from)) {
        out.append(data.substr(from, at - from));
        out.append(replacement);
        from = at + find.size();
    }
    out.append(data.substr(from));
    return out;
}

std::string prependBytes(std::string_view data, std::string_view text)
{
    std::string out;
    out.reserve(text.size() + data.size());
    out.append(text);
    out.append(data);
    return out;
}

}  // namespace webview
