#include "fillscript/scriptfile.h"

#include "fillscript/parser.h"
#include "runtime/textcodec.h"

namespace fillscript {
namespace {

bool isValidUtf8(std::string_view s)
{
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        std::size_t n;
        char32_t cp;
        if (b < 0x80) {
            ++i;
            continue;
        } else if (b >= 0xC2 && b <= 0xDF) {
            n = 2, cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            n = 3, cp = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            n = 4, cp = b & 0x07;
        } else {
            return false;
        }
        if (i + n > s.size())
            return false;
        for (std::size_t k = 1; k < n; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are invalid.
        if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n;
    }
    return true;
}

}  // namespace

std::string decodeScriptFile(std::string_view bytes)
{
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        bytes.remove_prefix(3);
    } else if (bytes.substr(0, 4) == std::string_view("\x84\x31\x95\x33", 4)) {
        // GB18030's own byte-order mark (U+FEFF): the rest is GB18030.
        return std::string(bytes.substr(4));
    }
    if (isValidUtf8(bytes))
        return rt::utf8ToGb(bytes);
    return std::string(bytes);
}

std::vector<std::string> scriptFileLines(std::string_view gbText)
{
    if (gbText.size() >= 2 && gbText.substr(gbText.size() - 2) == "\r\n")
        gbText.remove_suffix(2);
    else if (!gbText.empty() && (gbText.back() == '\n' || gbText.back() == '\r'))
        gbText.remove_suffix(1);
    return scriptLines(gbText);
}

}  // namespace fillscript
