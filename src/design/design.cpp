#include "design/design.h"

#include <QUndoCommand>
#include <QUndoStack>

#include <algorithm>
#include <unordered_map>

namespace design {

// What one step changed, as primitive changes in the order they happened.
struct Journal {
    enum class Kind { Insert, Remove, Set };
    struct Entry {
        Kind kind;
        std::size_t index;
        Component before;  // Remove, Set
        Component after;   // Insert, Set
    };
    std::vector<Entry> entries;
    // Set entries by list index, while no insert or remove came after them.
    std::unordered_map<std::size_t, std::size_t> setEntry;
    QString text;
    int mergeKey = 0;

    // The list positions the step leaves changed; used to merge and to
    // restore the selection.
    std::vector<std::size_t> touched() const
    {
        std::vector<std::size_t> t;
        for (const Entry& e : entries)
            t.push_back(e.index);
        std::sort(t.begin(), t.end());
        t.erase(std::unique(t.begin(), t.end()), t.end());
        return t;
    }

    void add(Entry e)
    {
        // Repeated edits of one Component (a drag) keep one entry.
        if (e.kind != Kind::Set) {
            setEntry.clear();
        } else if (auto it = setEntry.find(e.index); it != setEntry.end()) {
            entries[it->second].after = std::move(e.after);
            return;
        } else {
            setEntry.emplace(e.index, entries.size());
        }
        entries.push_back(std::move(e));
    }
};

class StepCommand : public QUndoCommand {
public:
    StepCommand(Design& d, Journal j) : QUndoCommand(j.text), design_(d), journal_(std::move(j)) {}

    int id() const override { return journal_.mergeKey == 0 ? -1 : journal_.mergeKey; }

    bool mergeWith(const QUndoCommand* other) override
    {
        const auto* o = static_cast<const StepCommand*>(other);
        const bool onlySets = [](const Journal& j) {
            return std::all_of(j.entries.begin(), j.entries.end(),
                               [](const Journal::Entry& e) { return e.kind == Journal::Kind::Set; });
        }(journal_) && std::all_of(o->journal_.entries.begin(), o->journal_.entries.end(),
                                   [](const Journal::Entry& e) { return e.kind == Journal::Kind::Set; });
        if (!onlySets || journal_.touched() != o->journal_.touched())
            return false;
        for (const Journal::Entry& e : o->journal_.entries) {
            auto it = std::find_if(journal_.entries.begin(), journal_.entries.end(),
                                   [&](const Journal::Entry& m) { return m.index == e.index; });
            it->after = e.after;
        }
        return true;
    }

    // The first redo happens as the step is pushed: the changes are made already.
    void redo() override
    {
        if (pushed_) {
            pushed_ = false;
            return;
        }
        design_.replaying_ = true;
        for (const Journal::Entry& e : journal_.entries)
            apply(e, false);
        design_.replaying_ = false;
        finish();
    }

    void undo() override
    {
        design_.replaying_ = true;
        for (auto it = journal_.entries.rbegin(); it != journal_.entries.rend(); ++it)
            apply(*it, true);
        design_.replaying_ = false;
        finish();
    }

private:
    void apply(const Journal::Entry& e, bool backwards)
    {
        using K = Journal::Kind;
        const bool insert = (e.kind == K::Insert) != backwards;
        if (e.kind == K::Set)
            design_.setAt(e.index, backwards ? e.before.rule : e.after.rule,
                          backwards ? e.before.innerText : e.after.innerText);
        else if (insert)
            design_.insertAt(e.index, e.kind == K::Insert ? e.after : e.before, true);
        else
            design_.removeAt(e.index, true);
    }

    void finish()
    {
        std::vector<BoxHandle> boxes;
        for (std::size_t i : journal_.touched())
            if (i < design_.list_.size())
                boxes.push_back(design_.list_[i].boxHandle);
        design_.selection_.setBoxes(std::move(boxes));
        emit design_.selectionRestored();
        emit design_.changed();
    }

    Design& design_;
    Journal journal_;
    bool pushed_ = true;
};

BoxGeometry ruleGeometry(std::string_view rule)
{
    return {ruleNumber(readRuleLeft(rule)), ruleNumber(readRuleTop(rule)), ruleNumber(readRuleWidth(rule)),
            ruleNumber(readRuleHeight(rule))};
}

Design::Design(QObject* parent) : QObject(parent), undo_(new QUndoStack(this))
{
    undo_->setUndoLimit(kUndoLimit);
}

Design::~Design() = default;

BoxGeometry Design::prototypeGeometry() const
{
    return canvas_ ? canvas_->prototypeGeometry() : kPrototypeGeometry;
}

void Design::beginStep(const QString& text, int mergeKey)
{
    if (depth_++ == 0) {
        open_ = std::make_unique<Journal>();
        open_->text = text;
        open_->mergeKey = mergeKey;
    }
}

void Design::endStep()
{
    if (depth_ == 0 || --depth_ > 0)
        return;
    std::unique_ptr<Journal> j = std::move(open_);
    if (j->entries.empty())
        return;
    undo_->push(new StepCommand(*this, std::move(*j)));
    emit changed();
}

BoxHandle Design::makeBox(const std::string& rule, std::size_t index)
{
    if (!canvas_)
        return 0;
    const BoxHandle box = canvas_->cloneBox();
    const BoxGeometry g = ruleGeometry(rule);
    canvas_->setBoxGeometry(box, g.left, g.top, g.width, g.height);
    if (index < list_.size())
        canvas_->stackBoxUnder(box, list_[index].boxHandle);
    canvas_->showBox(box);
    return box;
}

void Design::insertAt(std::size_t index, Component c, bool withBox)
{
    if (withBox)
        c.boxHandle = makeBox(c.rule, index);
    if (open_ && !replaying_)
        open_->add({Journal::Kind::Insert, index, {}, c});
    list_.insert(list_.begin() + std::ptrdiff_t(index), std::move(c));
}

void Design::removeAt(std::size_t index, bool withBox)
{
    Component c = std::move(list_[index]);
    list_.erase(list_.begin() + std::ptrdiff_t(index));
    if (withBox && canvas_)
        canvas_->destroyBox(c.boxHandle);
    if (open_ && !replaying_)
        open_->add({Journal::Kind::Remove, index, std::move(c), {}});
}

void Design::setAt(std::size_t index, std::string rule, std::string innerText)
{
    Component& c = list_[index];
    if (c.rule == rule && c.innerText == innerText)
        return;
    if (open_ && !replaying_)
        open_->add({Journal::Kind::Set, index, c, Component{rule, innerText, c.boxHandle}});
    c.rule = std::move(rule);
    c.innerText = std::move(innerText);
    if (replaying_) {
        const BoxGeometry g = ruleGeometry(c.rule);
        moveBox(c.boxHandle, g.left, g.top, g.width, g.height);
    }
}

void Design::appendComponent(const std::string& rule, const std::string& innerText,
                             BoxHandle boxHandle)
{
    StepScope step(*this, tr("Add"));
    insertAt(list_.size(), Component{rule, innerText, boxHandle}, false);
}

int Design::findComponentByBox(BoxHandle handle) const
{
    for (std::size_t i = 0; i < list_.size(); ++i)
        if (list_[i].boxHandle == handle)
            return int(i) + 1;
    return 0;
}

std::unordered_set<std::string> Design::classNamesInUse() const
{
    std::unordered_set<std::string> names;
    names.reserve(list_.size());
    for (const Component& c : list_)
        names.insert(readRuleClass(c.rule));
    return names;
}

void Design::removeComponentByBox(BoxHandle handle)
{
    if (const int pos = findComponentByBox(handle)) {
        StepScope step(*this, tr("Delete"));
        removeAt(std::size_t(pos - 1), false);
    }
}

void Design::clearComponents()
{
    StepScope step(*this, tr("Clear"));
    while (!list_.empty())
        removeAt(list_.size() - 1, false);
}

BoxHandle Design::createComponentWithBox(const std::string& tag, const std::string& className,
                                         int left, int top, int width, int height,
                                         const std::string& extra, const std::string& innerText)
{
    BoxHandle box = 0;
    if (canvas_) {
        box = canvas_->cloneBox();
        canvas_->setBoxGeometry(box, left, top, width, height);
        canvas_->showBox(box);
    }
    RuleFields fields;
    fields.tag = tag;
    fields.className = className;
    fields.left = left;
    fields.top = top;
    fields.width = width;
    fields.height = height;
    fields.extra = extra;
    StepScope step(*this, tr("Add"));
    insertAt(list_.size(), Component{buildRule(fields, prototypeGeometry()), innerText, box}, false);
    return box;
}

void Design::replaceComponents(const ComponentList& list, const QString& stepText)
{
    StepScope step(*this, stepText);
    while (!list_.empty())
        removeAt(list_.size() - 1, true);
    for (const Component& c : list)
        insertAt(list_.size(), c, true);
}

void Design::reorder(const std::vector<int>& order)
{
    if (order.size() != list_.size())
        return;
    // Only the stretch that changes is rewritten: its boxes are made anew in
    // the new order, which also stacks them so.
    std::size_t first = 0, last = order.size();
    while (first < last && order[first] == int(first) + 1)
        ++first;
    while (last > first && order[last - 1] == int(last))
        --last;
    if (first == last)
        return;
    std::vector<Component> moved;
    for (std::size_t i = first; i < last; ++i)
        moved.push_back(list_[std::size_t(order[i] - 1)]);
    StepScope step(*this, tr("Stacking"));
    for (std::size_t i = last; i-- > first;)
        removeAt(i, true);
    for (std::size_t i = 0; i < moved.size(); ++i)
        insertAt(first + i, moved[i], true);
}

void Design::updateComponent(BoxHandle boxHandle, ComponentUpdate& u)
{
    if (boxHandle == 0)
        return;
    const int pos = findComponentByBox(boxHandle);
    if (pos == 0)
        return;
    const std::string cur = componentAt(pos).rule;

    if (!u.tag)
        u.tag = readRuleTag(cur);
    if (!u.className)
        u.className = readRuleClass(cur);
    const int left = u.left ? *u.left : ruleNumber(readRuleLeft(cur));
    const int top = u.top ? *u.top : ruleNumber(readRuleTop(cur));
    const int width = u.width ? *u.width : ruleNumber(readRuleWidth(cur));
    const int height = u.height ? *u.height : ruleNumber(readRuleHeight(cur));
    if (!u.extra)
        u.extra = readRuleExtra(cur);

    if (!u.innerText)
        u.innerText = componentAt(pos).innerText;

    RuleFields f;
    f.tag = u.tag;
    f.className = u.className;
    f.left = left;
    f.top = top;
    f.width = width;
    f.height = height;
    f.extra = u.extra;
    {
        StepScope step(*this, tr("Edit"));
        setAt(std::size_t(pos - 1), buildRule(f), *u.innerText);
    }

    moveBox(boxHandle, left, top, width, height);
}

void Design::moveBox(BoxHandle boxHandle, int left, int top, int width, int height)
{
    if (canvas_)
        canvas_->setBoxGeometry(boxHandle, left, top, width, height);
}

}  // namespace design
