#include "fillscript/gbeditor.h"

#include "runtime/gbtext.h"
#include "runtime/textcodec.h"

#include <Qsci/qsciscintilla.h>

#include <algorithm>

namespace fillscript {
namespace {

// Length of the UTF-8 sequence that starts with byte b (1 for stray bytes).
int utf8Len(unsigned char b)
{
    if (b < 0xC0)
        return 1;
    if (b < 0xE0)
        return 2;
    if (b < 0xF0)
        return 3;
    return 4;
}

// Walks a UTF-8 line and its GB18030 form character by character. With
// toGb set, maps the UTF-8 offset `off` to GB18030; otherwise the reverse.
// An offset inside a character maps to the character's start.
int mapInLine(std::string_view u8, std::string_view gb, int off, bool toGb)
{
    std::size_t iu = 0, ig = 0;
    while (iu < u8.size() && ig < gb.size()) {
        const std::size_t nu = std::min<std::size_t>(utf8Len(u8[iu]), u8.size() - iu);
        const std::size_t ng = rt::gbCharLen(gb, ig);
        if (int(toGb ? iu + nu : ig + ng) > off)
            break;
        iu += nu;
        ig += ng;
    }
    return int(toGb ? ig : iu);
}

// GB18030 length of each BMP code point (1, 2 or 4), from one conversion of
// the whole plane.
const std::vector<unsigned char>& bmpGbLengths()
{
    static const std::vector<unsigned char> table = [] {
        const auto isSurrogate = [](char32_t c) { return c >= 0xD800 && c <= 0xDFFF; };
        std::u16string all;
        all.reserve(0x10000);
        for (char32_t c = 0; c < 0x10000; ++c)
            if (!isSurrogate(c))
                all.push_back(char16_t(c));
        const std::string gb = rt::utf16ToGb(all);
        std::vector<unsigned char> t(0x10000, 4);
        std::size_t i = 0;
        for (char32_t c = 0; c < 0x10000 && i < gb.size(); ++c) {
            if (isSurrogate(c))
                continue;
            const std::size_t n = rt::gbCharLen(gb, i);
            t[c] = static_cast<unsigned char>(n);
            i += n;
        }
        return t;
    }();
    return table;
}

// GB18030 length of UTF-8 text without converting it.
int gbLengthOfUtf8(std::string_view u8)
{
    const std::vector<unsigned char>& bmp = bmpGbLengths();
    int total = 0;
    for (std::size_t i = 0; i < u8.size();) {
        const auto b = static_cast<unsigned char>(u8[i]);
        const int n = utf8Len(b);
        if (n == 1) {
            if (b >= 0x80)  // stray byte: let the converter decide
                return int(rt::utf8ToGb(u8).size());
            total += 1;
        } else if (n == 4) {
            total += 4;
        } else {
            if (i + std::size_t(n) > u8.size())
                return int(rt::utf8ToGb(u8).size());
            char32_t cp = n == 2 ? (b & 0x1F) : (b & 0x0F);
            for (int k = 1; k < n; ++k)
                cp = (cp << 6) | (static_cast<unsigned char>(u8[i + std::size_t(k)]) & 0x3F);
            total += bmp[cp & 0xFFFF];
        }
        i += std::size_t(n);
    }
    return total;
}

}  // namespace

GbEditor::GbEditor(QsciScintilla* editor, QObject* parent)
    : QObject(parent), ed_(editor)
{
    connect(ed_, &QsciScintillaBase::SCN_MODIFIED, this,
            [this](int position, int type, const char*, int, int, int, int, int, int, int) {
                onModified(position, type);
            });
}

void GbEditor::onModified(int position, int modificationType)
{
    if (!(modificationType & (QsciScintillaBase::SC_MOD_INSERTTEXT |
                              QsciScintillaBase::SC_MOD_DELETETEXT)))
        return;
    // Lines up to the one holding the change keep their starts.
    const int line = int(ed_->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION,
                                            (unsigned long)position));
    validLines_ = std::min(validLines_, line + 1);
}

std::string GbEditor::utf8Line(int k) const
{
    const long len = ed_->SendScintilla(QsciScintillaBase::SCI_LINELENGTH, (unsigned long)k);
    if (len <= 0 || k < 0 || k >= lineCount())
        return {};
    std::string buf(std::size_t(len) + 1, '\0');
    ed_->SendScintilla(QsciScintillaBase::SCI_GETLINE, (unsigned long)k, (void*)buf.data());
    buf.resize(std::size_t(len));
    return buf;
}

void GbEditor::ensureStarts(int uptoLine) const
{
    const int n = lineCount();
    uptoLine = std::min(uptoLine, n - 1);
    if (int(gbStarts_.size()) < n)
        gbStarts_.resize(std::size_t(n));
    if (validLines_ == 0) {
        gbStarts_[0] = 0;
        validLines_ = 1;
    }
    if (validLines_ > uptoLine)
        return;
    // Read each line in place; only a line that straddles the editor's gap
    // makes it move the gap.
    long from = ed_->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE,
                                   (unsigned long)(validLines_ - 1));
    while (validLines_ <= uptoLine) {
        const long to = ed_->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE,
                                           (unsigned long)validLines_);
        const int prev = validLines_ - 1;
        const auto* text = reinterpret_cast<const char*>(ed_->SendScintilla(
            QsciScintillaBase::SCI_GETRANGEPOINTER, (unsigned long)from, to - from));
        gbStarts_[std::size_t(validLines_)] =
            gbStarts_[std::size_t(prev)] +
            (text ? gbLengthOfUtf8(std::string_view(text, std::size_t(to - from))) : lineLength(prev));
        from = to;
        ++validLines_;
    }
}

int GbEditor::lineCount() const
{
    return std::max(1, int(ed_->SendScintilla(QsciScintillaBase::SCI_GETLINECOUNT)));
}

std::string GbEditor::line(int k) const
{
    return rt::utf8ToGb(utf8Line(k));
}

int GbEditor::lineLength(int k) const
{
    return gbLengthOfUtf8(utf8Line(k));
}

int GbEditor::positionFromLine(int k) const
{
    if (k < 0)
        return 0;
    if (k >= lineCount())
        return toGbPos(int(ed_->SendScintilla(QsciScintillaBase::SCI_GETLENGTH)));
    ensureStarts(k);
    return gbStarts_[std::size_t(k)];
}

int GbEditor::lineFromPosition(int pos) const
{
    const int n = lineCount();
    // Extend the known starts until they pass pos, then search them.
    int lo = 0;
    ensureStarts(std::min(validLines_, n - 1));
    while (validLines_ < n && gbStarts_[std::size_t(validLines_ - 1)] <= pos)
        ensureStarts(validLines_);
    const auto end = gbStarts_.begin() + validLines_;
    lo = int(std::upper_bound(gbStarts_.begin(), end, pos) - gbStarts_.begin()) - 1;
    return std::clamp(lo, 0, n - 1);
}

int GbEditor::toEditorPos(int gbPos) const
{
    if (gbPos <= 0)
        return 0;
    const int k = lineFromPosition(gbPos);
    const int edStart = int(ed_->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE,
                                               (unsigned long)k));
    const std::string u8 = utf8Line(k);
    const std::string gb = rt::utf8ToGb(u8);
    const int off = gbPos - positionFromLine(k);
    return edStart + mapInLine(u8, gb, off, false);
}

int GbEditor::toGbPos(int editorPos) const
{
    if (editorPos <= 0)
        return 0;
    const int k = int(ed_->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION,
                                         (unsigned long)editorPos));
    const int edStart = int(ed_->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE,
                                               (unsigned long)k));
    const std::string u8 = utf8Line(k);
    const std::string gb = rt::utf8ToGb(u8);
    ensureStarts(k);
    return gbStarts_[std::size_t(k)] + mapInLine(u8, gb, editorPos - edStart, true);
}

int GbEditor::currentPos() const
{
    return toGbPos(int(ed_->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS)));
}

std::string GbEditor::textRange(int from, int to) const
{
    const long a = toEditorPos(from), b = toEditorPos(to);
    if (b <= a)
        return {};
    std::string buf(std::size_t(b - a) + 1, '\0');
    ed_->SendScintilla(QsciScintillaBase::SCI_GETTEXTRANGE, a, b, buf.data());
    buf.resize(std::size_t(b - a));
    return rt::utf8ToGb(buf);
}

int GbEditor::charAt(int pos) const
{
    if (pos < 0)
        return 0;
    const int k = lineFromPosition(pos);
    const std::string gb = line(k);
    const int off = pos - positionFromLine(k);
    if (off < 0 || off >= int(gb.size()))
        return 0;
    return static_cast<unsigned char>(gb[std::size_t(off)]);
}

int GbEditor::charLengthBefore(int pos) const
{
    if (pos <= 0)
        return 0;
    // The character before a line start is the previous line's break.
    const int k = lineFromPosition(pos - 1);
    const std::string gb = line(k);
    const int off = pos - positionFromLine(k);
    std::size_t i = 0, last = 0;
    while (i < gb.size() && int(i) < off) {
        last = i;
        i += rt::gbCharLen(gb, i);
    }
    return off - int(last);
}

int GbEditor::charLengthAt(int pos) const
{
    const int k = lineFromPosition(pos);
    const std::string gb = line(k);
    const int off = pos - positionFromLine(k);
    if (off < 0 || off >= int(gb.size()))
        return 0;
    return int(rt::gbCharLen(gb, std::size_t(off)));
}

void GbEditor::setSel(int anchor, int caret)
{
    ed_->SendScintilla(QsciScintillaBase::SCI_SETSEL, (unsigned long)toEditorPos(anchor),
                       long(toEditorPos(caret)));
}

void GbEditor::replaceSel(std::string_view gbText)
{
    const std::string u8 = rt::gbToUtf8(gbText);
    ed_->SendScintilla(QsciScintillaBase::SCI_REPLACESEL, u8.c_str());
}

int GbEditor::lineEndPosition(int k) const
{
    const std::string gb = line(k);
    std::size_t n = gb.size();
    while (n > 0 && (gb[n - 1] == '\n' || gb[n - 1] == '\r'))
        --n;
    return positionFromLine(k) + int(n);
}

}  // namespace fillscript
