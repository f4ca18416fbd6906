// Editing the selection as a whole: keyboard, clipboard, stacking, align and
// distribute, rubber band and the box menu.
#include "design/packing.h"
#include "design/rule.h"
#include "designer_ui/designcanvas.h"
#include "designer_ui/mainwindow.h"
#include "runtime/textcodec.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>

#include <algorithm>
#include <climits>
#include <cmath>
#include <unordered_set>

namespace designer {

namespace {

enum MergeKey { kNudge = 2 };

// Clipboard format of copied boxes: their exact texts (design/packing.h).
const QString kBoxesMime = QStringLiteral("application/x-tolvane-boxes");

}  // namespace

// ---------------------------------------------------------------- keyboard

bool MainWindow::editingText() const
{
    // Keys that the panel's edit boxes pass on (Esc) are theirs to ignore.
    QWidget* focus = QApplication::focusWidget();
    return qobject_cast<QLineEdit*>(focus) || qobject_cast<QPlainTextEdit*>(focus);
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const int step = (mods & Qt::ShiftModifier) ? 10 : 1;
    if (event == QKeySequence::Copy)
        copySelection();
    else if (event == QKeySequence::Paste)
        paste();
    else if (event->key() == Qt::Key_D && mods == Qt::ControlModifier)
        duplicateSelection();
    else if (event->key() == Qt::Key_Delete && mods == Qt::NoModifier)
        deleteSelection();
    else if (event->key() == Qt::Key_Escape && mods == Qt::NoModifier && !editingText())
        clearSelection();
    else if (event->key() == Qt::Key_Left && (mods & ~Qt::ShiftModifier) == 0)
        nudgeSelection(-step, 0);
    else if (event->key() == Qt::Key_Right && (mods & ~Qt::ShiftModifier) == 0)
        nudgeSelection(step, 0);
    else if (event->key() == Qt::Key_Up && (mods & ~Qt::ShiftModifier) == 0)
        nudgeSelection(0, -step);
    else if (event->key() == Qt::Key_Down && (mods & ~Qt::ShiftModifier) == 0)
        nudgeSelection(0, step);
    else
        QWidget::keyPressEvent(event);
}

void MainWindow::nudgeSelection(int dx, int dy)
{
    if (selection_.empty() || edit_.dragActive)
        return;
    design::StepScope step(design_, tr("Nudge"), kNudge);
    for (design::BoxHandle b : selection_) {
        const int pos = design_.findComponentByBox(b);
        if (!pos)
            continue;
        const std::string& rule = design_.componentAt(pos).rule;
        design::ComponentUpdate u;
        u.left = design::ruleNumber(design::readRuleLeft(rule)) + dx;
        u.top = design::ruleNumber(design::readRuleTop(rule)) + dy;
        design_.updateComponent(b, u);
        if (b == design_.selectedBox()) {
            if (!isMixed(leftBox_))
                leftBox_->setText(QString::number(*u.left));
            if (!isMixed(topBox_))
                topBox_->setText(QString::number(*u.top));
        }
    }
}

void MainWindow::deleteSelection()
{
    if (selection_.empty() || edit_.dragActive)
        return;
    const std::vector<design::BoxHandle> doomed = selection_.boxes();
    selection_.selectNone();
    design::StepScope step(design_, tr("Delete"));
    for (design::BoxHandle b : doomed) {
        design_.removeComponentByBox(b);
        canvas_->destroyBox(b);
    }
    clearPropertyPanel();
}

void MainWindow::duplicateSelection()
{
    design::ComponentList copies;
    for (design::BoxHandle b : selection_)
        if (const int pos = design_.findComponentByBox(b))
            copies.push_back(design_.componentAt(pos));
    if (copies.empty())
        return;
    addCopies(copies, 10);
}

void MainWindow::addCopies(const design::ComponentList& items, int offset)
{
    // Copies go on top, shifted so that they do not hide their originals,
    // and become the selection. Each gets a class name of its own, as an
    // added box does: two rules for one class would put both elements at
    // the second rule's place.
    std::vector<design::BoxHandle> made;
    {
        design::StepScope step(design_, tr("Paste"));
        std::unordered_set<std::string> used = design_.classNamesInUse();
        for (const design::Component& item : items) {
            const std::string& rule = item.rule;
            const design::BoxHandle box = canvas_->cloneBox();
            canvas_->showBox(box);
            design_.appendComponent(rule, item.innerText, box);
            design::ComponentUpdate u;
            u.className = design::makeUnusedClassName(used);
            used.insert(*u.className);
            u.left = design::ruleNumber(design::readRuleLeft(rule)) + offset;
            u.top = design::ruleNumber(design::readRuleTop(rule)) + offset;
            design_.updateComponent(box, u);
            made.push_back(box);
        }
    }
    selection_.setBoxes(std::move(made));
    refillPanel();
}

void MainWindow::copySelection()
{
    design::ComponentList list;
    // Document order, whatever the order of selecting.
    for (const design::Component& c : design_.components())
        if (selection_.contains(c.boxHandle))
            list.push_back(c);
    if (list.empty())
        return;
    design::Design page;
    for (const design::Component& c : list)
        page.appendComponent(c.rule, c.innerText, 0);
    auto* mime = new QMimeData;
    mime->setData(kBoxesMime, QByteArray::fromStdString(design::packComponents(list)));
    // As text, the copied elements' page.
    mime->setText(rt::gbToQString(page.generateDocument()));
    QApplication::clipboard()->setMimeData(mime);
}

void MainWindow::paste()
{
    const QMimeData* mime = QApplication::clipboard()->mimeData();
    if (!mime || !mime->hasFormat(kBoxesMime))
        return;
    const QByteArray data = mime->data(kBoxesMime);
    const auto items = design::unpackComponents(std::string_view(data.constData(), std::size_t(data.size())));
    if (items && !items->empty())
        addCopies(*items, 10);
}

void MainWindow::bringToFront()
{
    restack(true);
}

void MainWindow::sendToBack()
{
    restack(false);
}

void MainWindow::restack(bool toFront)
{
    std::vector<int> chosen, others;
    for (int i = 1; i <= design_.componentCount(); ++i) {
        const design::BoxHandle b = design_.componentAt(i).boxHandle;
        (selection_.contains(b) ? chosen : others).push_back(i);
    }
    if (chosen.empty())
        return;
    std::vector<int> order = toFront ? others : chosen;
    const std::vector<int>& tail = toFront ? chosen : others;
    order.insert(order.end(), tail.begin(), tail.end());
    design_.reorder(order);
    // The moved Components have new boxes; select them again.
    std::vector<design::BoxHandle> boxes;
    const int first = toFront ? int(others.size()) + 1 : 1;
    for (int i = 0; i < int(chosen.size()); ++i)
        boxes.push_back(design_.componentAt(first + i).boxHandle);
    selection_.setBoxes(std::move(boxes));
}

// ---------------------------------------------------------------- arranging

void MainWindow::selectInRect(QRect canvasRect)
{
    std::vector<design::BoxHandle> hit;
    for (const design::Component& c : design_.components()) {
        const design::BoxGeometry g = design::ruleGeometry(c.rule);
        if (canvasRect.intersects(QRect(g.left, g.top, std::max(1, g.width), std::max(1, g.height))))
            hit.push_back(c.boxHandle);
    }
    selection_.setBoxes(std::move(hit));
    refillPanel();
}

void MainWindow::moveBoxesTo(const std::vector<std::pair<design::BoxHandle, design::BoxGeometry>>& places,
                             const QString& stepText)
{
    design::StepScope step(design_, stepText);
    for (const auto& [box, g] : places) {
        design::ComponentUpdate u;
        u.left = g.left;
        u.top = g.top;
        design_.updateComponent(box, u);
    }
    refillPanel();
}

namespace {

using Placed = std::vector<std::pair<design::BoxHandle, design::BoxGeometry>>;

Placed placesOf(const design::Design& d, const std::vector<design::BoxHandle>& boxes)
{
    Placed out;
    for (design::BoxHandle b : boxes)
        if (const int pos = d.findComponentByBox(b))
            out.emplace_back(b, design::ruleGeometry(d.componentAt(pos).rule));
    return out;
}

}  // namespace

void MainWindow::alignSelection(Align how)
{
    Placed places = placesOf(design_, selection_.boxes());
    if (places.size() < 2)
        return;
    int minLeft = INT_MAX, minTop = INT_MAX, maxRight = INT_MIN, maxBottom = INT_MIN;
    for (const auto& [b, g] : places) {
        minLeft = std::min(minLeft, g.left);
        minTop = std::min(minTop, g.top);
        maxRight = std::max(maxRight, g.left + g.width);
        maxBottom = std::max(maxBottom, g.top + g.height);
    }
    for (auto& [b, g] : places) {
        switch (how) {
        case Align::Left: g.left = minLeft; break;
        case Align::Right: g.left = maxRight - g.width; break;
        case Align::Top: g.top = minTop; break;
        case Align::Bottom: g.top = maxBottom - g.height; break;
        case Align::CentreX: g.left = (minLeft + maxRight) / 2 - g.width / 2; break;
        case Align::CentreY: g.top = (minTop + maxBottom) / 2 - g.height / 2; break;
        }
    }
    moveBoxesTo(places, tr("Align"));
}

void MainWindow::distributeSelection(Qt::Orientation orientation)
{
    Placed places = placesOf(design_, selection_.boxes());
    if (places.size() < 3)
        return;
    const bool h = orientation == Qt::Horizontal;
    auto start = [h](design::BoxGeometry& g) -> int& { return h ? g.left : g.top; };
    auto extent = [h](const design::BoxGeometry& g) { return h ? g.width : g.height; };
    std::stable_sort(places.begin(), places.end(),
                     [&](auto a, auto b) { return start(a.second) < start(b.second); });
    // The first and the last stay; the gaps between neighbours become equal.
    long long span = start(places.back().second) + extent(places.back().second) - start(places.front().second);
    for (auto& p : places)
        span -= extent(p.second);
    const double gap = double(span) / double(places.size() - 1);
    double at = start(places.front().second);
    for (auto& p : places) {
        start(p.second) = int(std::lround(at));
        at += extent(p.second) + gap;
    }
    moveBoxesTo(places, tr("Distribute"));
}

void MainWindow::showBoxMenu(design::BoxHandle box, QPoint cursor)
{
    if (edit_.deleteMode != 0)
        return;
    if (!selection_.contains(box)) {
        selection_.selectOnly(box);
        refillPanel();
    }
    QMenu menu(this);
    menu.addAction(QStringLiteral("置于顶层"), this, &MainWindow::bringToFront);
    menu.addAction(QStringLiteral("置于底层"), this, &MainWindow::sendToBack);
    menu.addSeparator();
    const bool several = selection_.size() >= 2;
    const std::pair<const char16_t*, Align> aligns[] = {
        {u"左对齐", Align::Left},      {u"右对齐", Align::Right},        {u"顶端对齐", Align::Top},
        {u"底端对齐", Align::Bottom},  {u"水平居中", Align::CentreX},     {u"垂直居中", Align::CentreY}};
    for (const auto& [text, how] : aligns)
        menu.addAction(QString::fromUtf16(text), this, [this, how = how] { alignSelection(how); })
            ->setEnabled(several);
    menu.addSeparator();
    const bool three = selection_.size() >= 3;
    menu.addAction(QStringLiteral("水平等距分布"), this, [this] { distributeSelection(Qt::Horizontal); })
        ->setEnabled(three);
    menu.addAction(QStringLiteral("垂直等距分布"), this, [this] { distributeSelection(Qt::Vertical); })
        ->setEnabled(three);
    menu.exec(cursor);
}

}  // namespace designer
