#include "fillscript/runmarkers.h"

#include "runtime/textcodec.h"

#include <QHelpEvent>
#include <QToolTip>
#include <Qsci/qsciscintilla.h>

#include <array>

namespace fillscript {
namespace {

using B = QsciScintillaBase;

// Marker numbers, one per outcome, then the pointer's; clear of the numbers
// QScintilla's folding and its markerDefine() allocation use.
constexpr int kFirstMarker = 10;
constexpr int markerOf(LineOutcome o) { return kFirstMarker + int(o); }
constexpr unsigned kOutcomeMask = 0xFu << kFirstMarker;
constexpr int kPointerRunning = kFirstMarker + 4;
constexpr int kPointerStopping = kFirstMarker + 5;
constexpr int kPointerNext = kFirstMarker + 6;
constexpr int kRunningLine = kFirstMarker + 7;  // the running line's background
constexpr unsigned kPointerMask = 0x7u << kPointerRunning;

struct MarkerLook {
    int number;
    int symbol;
    QColor colour;
};

const MarkerLook kLooks[] = {
    {markerOf(LineOutcome::Passed), B::SC_MARK_CIRCLE, QColor(40, 160, 60)},
    {markerOf(LineOutcome::CheckFailed), B::SC_MARK_ROUNDRECT, QColor(150, 60, 200)},
    {markerOf(LineOutcome::Error), B::SC_MARK_CIRCLE, QColor(210, 30, 30)},
    {markerOf(LineOutcome::Undefined), B::SC_MARK_SHORTARROW, QColor(230, 140, 0)},
    {kPointerRunning, B::SC_MARK_ARROW, QColor(250, 190, 0)},
    {kPointerStopping, B::SC_MARK_ARROW, QColor(150, 150, 150)},
    {kPointerNext, B::SC_MARK_ARROW, QColor(255, 255, 255)},
    {kRunningLine, B::SC_MARK_BACKGROUND, QColor(255, 246, 200)},
};

QString withoutLineBreak(QString s)
{
    while (s.endsWith(QLatin1Char('\n')) || s.endsWith(QLatin1Char('\r')))
        s.chop(1);
    return s;
}

}  // namespace

RunMarkers::RunMarkers(QsciScintilla* editor, int margin, int pointerMargin)
    : QObject(editor), ed_(editor)
{
    for (const MarkerLook& look : kLooks) {
        const auto n = (unsigned long)look.number;
        ed_->SendScintilla(B::SCI_MARKERDEFINE, n, long(look.symbol));
        ed_->SendScintilla(B::SCI_MARKERSETFORE, n,
                           look.number == kPointerNext ? QColor(200, 140, 0) : look.colour.darker(130));
        ed_->SendScintilla(B::SCI_MARKERSETBACK, n, look.colour);
    }
    // Each margin shows only its own markers; the running line's background
    // is in no margin's mask, so it colours the line itself.
    ed_->SendScintilla(B::SCI_SETMARGINMASKN, (unsigned long)margin, long(kOutcomeMask));
    ed_->SendScintilla(B::SCI_SETMARGINTYPEN, (unsigned long)pointerMargin, long(B::SC_MARGIN_SYMBOL));
    ed_->SendScintilla(B::SCI_SETMARGINWIDTHN, (unsigned long)pointerMargin, 12L);
    ed_->SendScintilla(B::SCI_SETMARGINMASKN, (unsigned long)pointerMargin, long(kPointerMask));
    connect(ed_, &B::SCN_MODIFIED, this,
            [this](int position, int type, const char*, int, int linesAdded, int, int, int, int, int) {
                onModified(position, type, linesAdded);
            });
    ed_->viewport()->installEventFilter(this);
}

QString RunMarkers::lineText(int line) const
{
    return withoutLineBreak(ed_->text(line));
}

// Scintilla moves markers on its own rules (a deleted line's markers merge
// into the line above); the records follow their lines by text instead and
// are drawn again.
void RunMarkers::onModified(int position, int type, int linesAdded)
{
    if (!(type & (B::SC_MOD_INSERTTEXT | B::SC_MOD_DELETETEXT)))
        return;
    const int line = int(ed_->SendScintilla(B::SCI_LINEFROMPOSITION, (unsigned long)position));
    // At a line's start the line's old text ends up after the change.
    const bool atLineStart = position == int(ed_->SendScintilla(B::SCI_POSITIONFROMLINE, (unsigned long)line));

    if (linesAdded == 0) {
        const auto it = records_.find(line);
        if (it != records_.end() && it->second.text != lineText(line)) {
            ed_->SendScintilla(B::SCI_MARKERDELETE, (unsigned long)line, long(markerOf(it->second.outcome)));
            records_.erase(it);
        }
        return;
    }

    std::map<int, Record> moved;
    std::array<std::optional<Record>, 2> atChange;  // old records now meeting at `line`
    std::array<int, 2> candidateLines{line, line};
    if (linesAdded > 0) {
        // Old line `line` was split: its text stays at `line` or, inserted
        // before, moves to line + linesAdded.
        candidateLines = atLineStart ? std::array<int, 2>{line + linesAdded, line}
                                     : std::array<int, 2>{line, line + linesAdded};
        for (auto& [l, r] : records_) {
            if (l < line)
                moved.emplace(l, std::move(r));
            else if (l == line)
                atChange[0] = std::move(r);
            else
                moved.emplace(l + linesAdded, std::move(r));
        }
    } else {
        // Old lines line..line-linesAdded became `line`; those between went.
        const int lastOld = line - linesAdded;
        for (auto& [l, r] : records_) {
            if (l < line)
                moved.emplace(l, std::move(r));
            else if (l == line)
                atChange[atLineStart ? 1 : 0] = std::move(r);
            else if (l == lastOld)
                atChange[atLineStart ? 0 : 1] = std::move(r);
            else if (l > lastOld)
                moved.emplace(l + linesAdded, std::move(r));
        }
    }
    // The first old record whose text stands unchanged on a candidate line
    // keeps its marker there.
    for (std::optional<Record>& r : atChange) {
        if (!r)
            continue;
        for (const int candidate : candidateLines) {
            if (!moved.count(candidate) && lineText(candidate) == r->text) {
                moved.emplace(candidate, std::move(*r));
                break;
            }
        }
    }
    records_ = std::move(moved);

    if (pointerLine_ > line) {
        pointerLine_ = linesAdded > 0 ? pointerLine_ + linesAdded : std::max(line, pointerLine_ + linesAdded);
    } else if (pointerLine_ == line && linesAdded > 0 && atLineStart) {
        pointerLine_ += linesAdded;
    }
    redraw();
}

void RunMarkers::drawRecord(int line, const Record& r)
{
    ed_->SendScintilla(B::SCI_MARKERADD, (unsigned long)line, long(markerOf(r.outcome)));
}

void RunMarkers::drawPointer()
{
    for (const int n : {kPointerRunning, kPointerStopping, kPointerNext, kRunningLine})
        ed_->SendScintilla(B::SCI_MARKERDELETEALL, (unsigned long)n);
    if (kind_ == Pointer::None || pointerLine_ < 0)
        return;
    const auto at = (unsigned long)pointerLine_;
    const int symbol = kind_ == Pointer::Running ? kPointerRunning
                       : kind_ == Pointer::Stopping ? kPointerStopping
                                                    : kPointerNext;
    ed_->SendScintilla(B::SCI_MARKERADD, at, long(symbol));
    if (kind_ != Pointer::Next)
        ed_->SendScintilla(B::SCI_MARKERADD, at, long(kRunningLine));
}

void RunMarkers::redraw()
{
    for (const MarkerLook& look : kLooks)
        if ((1u << look.number) & kOutcomeMask)
            ed_->SendScintilla(B::SCI_MARKERDELETEALL, (unsigned long)look.number);
    for (const auto& [line, r] : records_)
        drawRecord(line, r);
    drawPointer();
}

void RunMarkers::clear(int first, int last)
{
    for (auto it = records_.lower_bound(first); it != records_.end() && it->first <= last;) {
        ed_->SendScintilla(B::SCI_MARKERDELETE, (unsigned long)it->first, long(markerOf(it->second.outcome)));
        it = records_.erase(it);
    }
}

void RunMarkers::clearAll()
{
    records_.clear();
    redraw();
}

void RunMarkers::mark(int line, LineOutcome outcome, const std::string& entry, const std::string& reason)
{
    if (line < 0 || line >= int(ed_->SendScintilla(B::SCI_GETLINECOUNT)))
        return;
    clear(line, line);
    Record r{outcome, withoutLineBreak(rt::gbToQString(entry)), rt::gbToQString(reason), lineText(line)};
    drawRecord(line, r);
    records_.emplace(line, std::move(r));
}

std::optional<LineOutcome> RunMarkers::outcomeAt(int line) const
{
    const auto it = records_.find(line);
    if (it == records_.end())
        return std::nullopt;
    return it->second.outcome;
}

QString RunMarkers::entryAt(int line) const
{
    const auto it = records_.find(line);
    return it == records_.end() ? QString() : it->second.entry;
}

QString RunMarkers::toolTipAt(int line) const
{
    const auto it = records_.find(line);
    if (it == records_.end())
        return {};
    if (it->second.reason.isEmpty())
        return it->second.entry;
    return it->second.entry + QLatin1Char('\n') + it->second.reason;
}

void RunMarkers::setPointer(int line, Pointer kind)
{
    pointerLine_ = line;
    kind_ = line < 0 ? Pointer::None : kind;
    drawPointer();
}

bool RunMarkers::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QObject::eventFilter(watched, event);
    auto* help = static_cast<QHelpEvent*>(event);
    // Anywhere on a marked line, the margins included.
    const long pos = ed_->SendScintilla(B::SCI_POSITIONFROMPOINT, (unsigned long)help->pos().x(),
                                        long(help->pos().y()));
    const int line = int(ed_->SendScintilla(B::SCI_LINEFROMPOSITION, (unsigned long)pos));
    const QString tip = toolTipAt(line);
    if (tip.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(help->globalPos(), tip, ed_->viewport());
    }
    return true;
}

}  // namespace fillscript
