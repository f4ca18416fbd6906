#include "design/entrycheck.h"

#include "design/gbops.h"
#include "runtime/textcodec.h"

#include <algorithm>

namespace design {

std::string removeNuls(std::string& text)
{
    // A NUL byte is never part of a multi-byte character.
    if (text.find('\0') == std::string::npos)
        return {};
    std::erase(text, '\0');
    return rt::gb("文本中的空字符（NUL）已去除。");
}

std::string tagRefusal(std::string_view tag)
{
    // The rule keeps only the letters of a tag, so those decide.
    const std::string letters = detail::lowerAscii(keepLetters(tag));
    if (letters == "body" || letters == "html" || letters == "head")
        return rt::gb("标签不能是 body、html 或 head：这样的元素会破坏页面结构。");
    return {};
}

std::string classNameRefusal(std::string_view className)
{
    // None of these bytes occurs inside a multi-byte character.
    if (className.find_first_of(std::string_view("{}<>\"\r\n", 7)) == std::string_view::npos)
        return {};
    return rt::gb("类名不能包含 { } < > \" 或换行：页面无法保存这些字符。");
}

std::string extraRefusal(std::string_view extra)
{
    if (detail::findIgnoringCase(extra, "</style") == detail::npos)
        return {};
    return rt::gb("其他代码不能包含 </style>：页面的样式段会在那里结束。");
}

std::string checkUpdate(ComponentUpdate& update)
{
    std::string messages;
    auto add = [&](const std::string& m) {
        if (m.empty() || messages.find(m) != std::string::npos)
            return;
        if (!messages.empty())
            messages += "\r\n";
        messages += m;
    };
    for (std::optional<std::string>* text : {&update.tag, &update.className, &update.extra, &update.innerText})
        if (*text)
            add(removeNuls(**text));
    if (update.tag) {
        const std::string refusal = tagRefusal(*update.tag);
        add(refusal);
        if (!refusal.empty())
            update.tag.reset();
    }
    if (update.className) {
        const std::string refusal = classNameRefusal(*update.className);
        add(refusal);
        if (!refusal.empty())
            update.className.reset();
    }
    if (update.extra) {
        const std::string refusal = extraRefusal(*update.extra);
        add(refusal);
        if (!refusal.empty())
            update.extra.reset();
    }
    return messages;
}

}  // namespace design
