#include "textcodec.h"

#include <unicode/ucnv.h>
#include <unicode/ustring.h>
#include <unicode/utypes.h>

#include <memory>
#include <stdexcept>

namespace rt {
namespace {

struct ConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// One GB18030 converter per thread; ICU converters are not thread-safe.
UConverter* gbConverter()
{
    thread_local ConverterPtr conv = [] {
        UErrorCode err = U_ZERO_ERROR;
        ConverterPtr c(ucnv_open("GB18030", &err));
        if (U_FAILURE(err) || !c)
            throw std::runtime_error("GB18030 converter unavailable");
        // Substitute U+FFFD for malformed input (to Unicode) and keep going.
        ucnv_setToUCallBack(c.get(), UCNV_TO_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr, &err);
        return c;
    }();
    return conv.get();
}

}  // namespace

std::u16string gbToUtf16(std::string_view gb)
{
    if (gb.empty())
        return {};
    UConverter* c = gbConverter();
    ucnv_reset(c);
    std::u16string out(gb.size() + 1, u'\0');
    UErrorCode err = U_ZERO_ERROR;
    int32_t n = ucnv_toUChars(c, reinterpret_cast<UChar*>(out.data()), int32_t(out.size()),
                              gb.data(), int32_t(gb.size()), &err);
    if (err == U_BUFFER_OVERFLOW_ERROR) {
        out.assign(size_t(n) + 1, u'\0');
        err = U_ZERO_ERROR;
        ucnv_reset(c);
        n = ucnv_toUChars(c, reinterpret_cast<UChar*>(out.data()), int32_t(out.size()),
                          gb.data(), int32_t(gb.size()), &err);
    }
    if (U_FAILURE(err))
        return {};
    out.resize(size_t(n));
    return out;
}

std::u16string gbToUtf16WithOffsets(std::string_view gb, std::vector<std::int32_t>& offsets)
{
    offsets.clear();
    if (gb.empty())
        return {};
    UConverter* c = gbConverter();
    ucnv_reset(c);
    // A byte gives at most one unit (a four-byte character gives two).
    std::u16string out(gb.size() + 1, u'\0');
    offsets.assign(out.size(), -1);
    UChar* target = reinterpret_cast<UChar*>(out.data());
    const char* source = gb.data();
    UErrorCode err = U_ZERO_ERROR;
    ucnv_toUnicode(c, &target, target + out.size(), &source, gb.data() + gb.size(), offsets.data(),
                   true, &err);
    if (U_FAILURE(err)) {
        offsets.clear();
        return {};
    }
    const std::size_t n = std::size_t(target - reinterpret_cast<UChar*>(out.data()));
    out.resize(n);
    offsets.resize(n);
    // Units whose source the converter does not name take the one before.
    std::int32_t last = 0;
    for (std::int32_t& o : offsets) {
        if (o < last)
            o = last;
        last = o;
    }
    return out;
}

std::string utf16ToGb(std::u16string_view s)
{
    if (s.empty())
        return {};
    UConverter* c = gbConverter();
    ucnv_reset(c);
    // GB18030 needs at most 4 bytes per code unit pair, 4 per lone unit.
    std::string out(s.size() * 4 + 4, '\0');
    UErrorCode err = U_ZERO_ERROR;
    int32_t n = ucnv_fromUChars(c, out.data(), int32_t(out.size()),
                                reinterpret_cast<const UChar*>(s.data()), int32_t(s.size()), &err);
    if (U_FAILURE(err))
        return {};
    out.resize(size_t(n));
    return out;
}

std::string utf8ToGb(std::string_view utf8)
{
    if (utf8.empty())
        return {};
    std::u16string wide(utf8.size() + 1, u'\0');
    int32_t len = 0;
    UErrorCode err = U_ZERO_ERROR;
    u_strFromUTF8WithSub(reinterpret_cast<UChar*>(wide.data()), int32_t(wide.size()), &len,
                         utf8.data(), int32_t(utf8.size()), 0xFFFD, nullptr, &err);
    if (U_FAILURE(err))
        return {};
    wide.resize(size_t(len));
    return utf16ToGb(wide);
}

std::string gbToUtf8(std::string_view gb)
{
    std::u16string wide = gbToUtf16(gb);
    if (wide.empty())
        return {};
    std::string out(wide.size() * 3 + 1, '\0');
    int32_t len = 0;
    UErrorCode err = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), int32_t(out.size()), &len,
                       reinterpret_cast<const UChar*>(wide.data()), int32_t(wide.size()),
                       0xFFFD, nullptr, &err);
    if (U_FAILURE(err))
        return {};
    out.resize(size_t(len));
    return out;
}

QString gbToQString(std::string_view gb)
{
    std::u16string w = gbToUtf16(gb);
    return QString(reinterpret_cast<const QChar*>(w.data()), qsizetype(w.size()));
}

std::string qstringToGb(const QString& s)
{
    return utf16ToGb(std::u16string_view(reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size())));
}

}  // namespace rt
