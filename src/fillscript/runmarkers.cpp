#include "fillscript/runmarkers.h"

#include "runtime/textcodec.h"

#include <QHelpEvent>
#include <QToolTip>
#include <Qsci/qsciscintilla.h>

namespace fillscript {
namespace {

using B = QsciScintillaBase;

// Marker numbers, one per outcome; clear of the numbers QScintilla's folding
// and its markerDefine() allocation use.
constexpr int kFirstMarker = 10;
constexpr int markerOf(LineOutcome o) { return kFirstMarker + int(o); }
constexpr unsigned kMarkerMask = 0xFu << kFirstMarker;

struct MarkerLook {
    LineOutcome outcome;
    int symbol;
    QColor colour;
};

const MarkerLook kLooks[] = {
    {LineOutcome::Passed, B::SC_MARK_CIRCLE, QColor(40, 160, 60)},
    {LineOutcome::CheckFailed, B::SC_MARK_ROUNDRECT, QColor(150, 60, 200)},
    {LineOutcome::Error, B::SC_MARK_CIRCLE, QColor(210, 30, 30)},
    {LineOutcome::Undefined, B::SC_MARK_SHORTARROW, QColor(230, 140, 0)},
};

}  // namespace

RunMarkers::RunMarkers(QsciScintilla* editor, int margin) : QObject(editor), ed_(editor)
{
    for (const MarkerLook& look : kLooks) {
        const unsigned long n = (unsigned long)markerOf(look.outcome);
        ed_->SendScintilla(B::SCI_MARKERDEFINE, n, long(look.symbol));
        ed_->SendScintilla(B::SCI_MARKERSETFORE, n, look.colour.darker(130));
        ed_->SendScintilla(B::SCI_MARKERSETBACK, n, look.colour);
    }
    const long mask = ed_->SendScintilla(B::SCI_GETMARGINMASKN, (unsigned long)margin);
    ed_->SendScintilla(B::SCI_SETMARGINMASKN, (unsigned long)margin, long(mask | kMarkerMask));
    connect(ed_, &B::SCN_MODIFIED, this,
            [this](int position, int type, const char*, int, int, int, int, int, int, int) {
                onModified(position, type);
            });
    ed_->viewport()->installEventFilter(this);
}

void RunMarkers::onModified(int position, int type)
{
    if (!(type & (B::SC_MOD_INSERTTEXT | B::SC_MOD_DELETETEXT)))
        return;
    const int line = int(ed_->SendScintilla(B::SCI_LINEFROMPOSITION, (unsigned long)position));
    clear(line, line);
}

void RunMarkers::clear(int first, int last)
{
    for (auto it = entries_.begin(); it != entries_.end();) {
        const int line = int(ed_->SendScintilla(B::SCI_MARKERLINEFROMHANDLE, (unsigned long)it->first));
        if (line < 0 || (line >= first && line <= last)) {
            ed_->SendScintilla(B::SCI_MARKERDELETEHANDLE, (unsigned long)it->first);
            outcomes_.erase(it->first);
            it = entries_.erase(it);
        } else {
            ++it;
        }
    }
}

void RunMarkers::clearAll()
{
    clear(0, int(ed_->SendScintilla(B::SCI_GETLINECOUNT)));
}

void RunMarkers::mark(int line, LineOutcome outcome, const std::string& entry)
{
    clear(line, line);
    const int handle = int(ed_->SendScintilla(B::SCI_MARKERADD, (unsigned long)line,
                                              long(markerOf(outcome))));
    if (handle < 0)
        return;
    QString text = rt::gbToQString(entry);
    while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    entries_[handle] = text;
    outcomes_[handle] = outcome;
}

std::map<int, QString>::const_iterator RunMarkers::entryOn(int line) const
{
    for (auto it = entries_.begin(); it != entries_.end(); ++it)
        if (ed_->SendScintilla(B::SCI_MARKERLINEFROMHANDLE, (unsigned long)it->first) == line)
            return it;
    return entries_.end();
}

std::optional<LineOutcome> RunMarkers::outcomeAt(int line) const
{
    const auto it = entryOn(line);
    if (it == entries_.end())
        return std::nullopt;
    return outcomes_.at(it->first);
}

QString RunMarkers::entryAt(int line) const
{
    const auto it = entryOn(line);
    return it == entries_.end() ? QString() : it->second;
}

bool RunMarkers::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QObject::eventFilter(watched, event);
    auto* help = static_cast<QHelpEvent*>(event);
    // Anywhere on a marked line, the margin included.
    const long pos = ed_->SendScintilla(B::SCI_POSITIONFROMPOINT, (unsigned long)help->pos().x(),
                                        long(help->pos().y()));
    const int line = int(ed_->SendScintilla(B::SCI_LINEFROMPOSITION, (unsigned long)pos));
    const QString entry = entryAt(line);
    if (entry.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(help->globalPos(), entry, ed_->viewport());
    }
    return true;
}

}  // namespace fillscript
