// The tool window's typing aids: the editor widget's key hook, the caret
// and the word before it, command completion, parameter hints and the keys
// the tool handles itself.
#include "fillscript/catalogue.h"
#include "fillscript/completion.h"
#include "fillscript/gbeditor.h"
#include "fillscript/scriptrun.h"
#include "fillscript/scripttoolwindow.h"
#include "runtime/gbtext.h"
#include "runtime/textcodec.h"

#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>

namespace fillscript {
namespace {

constexpr int kNameRole = Qt::UserRole + 1;  // GB18030 bytes of the item's command name
constexpr int kCountRole = Qt::UserRole;     // the item value: the parameter count

}  // namespace

// ---- ScriptEditor ----

ScriptEditor::ScriptEditor(QWidget* parent) : QsciScintilla(parent) {}

int ScriptEditor::toolKeyOf(const QKeyEvent* e)
{
    // Only plain keys: with a modifier (Shift+arrows selecting, Ctrl+Backspace)
    // the editor's own handling applies.
    if (e->modifiers() & ~Qt::KeypadModifier)
        return 0;
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return KeyEnter;
    case Qt::Key_Left:
        return KeyLeft;
    case Qt::Key_Right:
        return KeyRight;
    case Qt::Key_Up:
        return KeyUp;
    case Qt::Key_Down:
        return KeyDown;
    case Qt::Key_Backspace:
        return KeyBackspace;
    case Qt::Key_Space:
        return KeySpace;
    default:
        return 0;
    }
}

void ScriptEditor::keyPressEvent(QKeyEvent* e)
{
    const int key = toolKeyOf(e);
    if (key && keyDown && keyDown(key)) {
        e->accept();
    } else {
        QsciScintilla::keyPressEvent(e);
    }
    if (afterInput)
        afterInput();
}

void ScriptEditor::inputMethodEvent(QInputMethodEvent* e)
{
    QsciScintilla::inputMethodEvent(e);
    if (afterInput)
        afterInput();
}

// ---- ScriptToolWindow ----

void ScriptToolWindow::flushChange()
{
    if (!changePending_)
        return;
    changePending_ = false;
    onScriptChanged();
}

int ScriptToolWindow::caretLine() const
{
    const int c = gb_->currentPos();
    int line = gb_->lineFromPosition(c);
    if (line > 0 && c == gb_->positionFromLine(line))
        --line;
    return line;
}

int ScriptToolWindow::caretColumn() const
{
    const int c = gb_->currentPos();
    const int line = gb_->lineFromPosition(c);
    if (line > 0 && c == gb_->positionFromLine(line))
        return gb_->lineLength(line - 1);
    return c - gb_->positionFromLine(line);
}

QRect ScriptToolWindow::caretRect() const
{
    using B = QsciScintillaBase;
    const long pos = editor_->SendScintilla(B::SCI_GETCURRENTPOS);
    const int x = int(editor_->SendScintilla(B::SCI_POINTXFROMPOSITION, 0UL, pos));
    const int y = int(editor_->SendScintilla(B::SCI_POINTYFROMPOSITION, 0UL, pos));
    const long line = editor_->SendScintilla(B::SCI_LINEFROMPOSITION, (unsigned long)pos);
    const int h = int(editor_->SendScintilla(B::SCI_TEXTHEIGHT, (unsigned long)line));
    return QRect(x, y, 1, h);
}

std::string ScriptToolWindow::wordBeforeCaret()
{
    const int c = gb_->currentPos();
    int start = 0;
    int n = c - 1;
    // Scan back line by line; a line feed or space ends the word.
    for (int k = gb_->lineFromPosition(c); n >= 0 && k >= 0; --k) {
        const int ls = gb_->positionFromLine(k);
        const std::string text = gb_->line(k);
        bool found = false;
        for (; n >= ls; --n) {
            const std::size_t off = std::size_t(n - ls);
            const char b = off < text.size() ? text[off] : '\0';
            if (b == '\n' || b == ' ') {
                found = true;
                break;
            }
        }
        if (found) {
            start = n + 1;
            break;
        }
    }
    // A word at the start of a line may begin with "variable=": the command
    // after it is what gets completed.
    const int lineStart = gb_->positionFromLine(gb_->lineFromPosition(c));
    if (start >= lineStart &&
        gb_->textRange(lineStart, start).find_first_not_of(' ') == std::string::npos)
        start += int(assignmentPrefixLength(gb_->textRange(start, c)));
    completionStart_ = start;
    completionEnd_ = c;
    return gb_->textRange(start, c);
}

void ScriptToolWindow::placePopup(QWidget* popup) const
{
    const QRect r = caretRect();
    popup->move(r.left(), editor_->y() + r.top() + 15);
    popup->raise();
}

void ScriptToolWindow::onScriptChanged()
{
    const int l = caretLine();
    const int col = caretColumn();
    const std::string s = normaliseLine(gb_->line(l), false);
    const ParsedLine p = parseLine(s);

    hintLabel_->hide();
    if (!p.name.empty() && p.openPos <= col && col < p.closePos) {
        int j = 1;
        int t = p.openPos;
        for (;;) {
            const std::size_t at = rt::gbFind(s, ",", std::size_t(t - 1));
            const int P = at == std::string::npos ? -1 : int(at) + 1;
            if (P == -1 || col < P)
                break;
            ++j;
            t = P + 1;
        }
        const std::string command = namedCommand(p.name).command;
        const std::vector<std::string> d = splitText(findParamDescText(command), "|");
        if (int(d.size()) >= j) {
            placePopup(hintLabel_);
            hintLabel_->setText(rt::gbToQString("   " + d[std::size_t(j - 1)]));
            hintLabel_->show();
        }
    }

    const std::string w = wordBeforeCaret();
    completionList_->clear();
    if (!w.empty()) {
        for (const CompletionCandidate& c : completionCandidates(w, false)) {
            auto* item = new QListWidgetItem(rt::gbToQString(c.name));
            item->setData(kNameRole, QByteArray(c.name.data(), qsizetype(c.name.size())));
            item->setData(kCountRole, c.count);
            completionList_->addItem(item);
        }
    }
    if (completionList_->count() == 0) {
        completionList_->hide();
    } else if (completionList_->isHidden()) {
        placePopup(completionList_);
        completionList_->show();
    }
}

void ScriptToolWindow::insertCompletion(const std::string& name, int paramCount)
{
    gb_->setSel(completionStart_, completionEnd_);
    gb_->replaceSel(completionText(name, paramCount));
}

bool ScriptToolWindow::onScriptKeyDown(int key)
{
    const auto selectedItem = [this]() -> QListWidgetItem* {
        return completionList_->item(completionList_->currentRow());
    };
    const auto insertItem = [this](const QListWidgetItem* item) {
        const QByteArray name = item->data(kNameRole).toByteArray();
        insertCompletion(std::string(name.constData(), std::size_t(name.size())),
                         item->data(kCountRole).toInt());
    };

    switch (key) {
    case KeyEnter: {
        const int l = caretLine();
        const std::string raw = gb_->line(l);
        const std::string s = normaliseLine(raw, false);
        if (s != raw && !parseLine(s).name.empty()) {
            gb_->setSel(gb_->positionFromLine(l), gb_->lineEndPosition(l));
            gb_->replaceSel(s);
            return true;
        }
        if (completionList_->isVisible() && completionList_->currentRow() >= 0) {
            if (const QListWidgetItem* item = selectedItem()) {
                wordBeforeCaret();
                insertItem(item);
                return true;
            }
        }
        const std::string w = wordBeforeCaret();
        if (!w.empty()) {
            const std::vector<CompletionCandidate> whole = completionCandidates(w, true);
            if (!whole.empty()) {
                insertCompletion(whole.front().name, whole.front().count);
                return true;
            }
        }
        return false;
    }
    case KeyLeft: {
        const int c = gb_->currentPos();
        if (gb_->charAt(c - 1) >= 0x80) {
            const int to = c - gb_->charLengthBefore(c);
            gb_->setSel(to, to);
            return true;
        }
        return false;
    }
    case KeyRight: {
        const int c = gb_->currentPos();
        if (gb_->charAt(c) >= 0x80) {
            const int to = c + gb_->charLengthAt(c);
            gb_->setSel(to, to);
            return true;
        }
        return false;
    }
    case KeyDown:
        if (!completionList_->isVisible())
            return false;
        // Past the last item the list has no selection; the next Down selects
        // the first item again.
        completionList_->setCurrentRow(completionList_->currentRow() < 0
                                           ? 0 : completionList_->currentRow() + 1);
        return true;
    case KeyUp: {
        if (!completionList_->isVisible())
            return false;
        const int row = completionList_->currentRow();
        completionList_->setCurrentRow(row == 0 ? 0
                                       : row < 0 ? completionList_->count() - 1
                                                 : row - 1);
        return true;
    }
    case KeyBackspace: {
        // The whole character before the caret goes; the key is consumed, as
        // the editor would otherwise delete one more character.
        const int c = gb_->currentPos();
        if (gb_->charAt(c - 1) >= 0x80) {
            gb_->setSel(c - gb_->charLengthBefore(c), c);
            gb_->replaceSel("");
            return true;
        }
        return false;
    }
    case KeySpace: {
        if (!completionList_->isVisible())
            return false;
        if (completionList_->currentRow() < 0)
            completionList_->setCurrentRow(0);
        const QListWidgetItem* item = selectedItem();
        completionList_->hide();
        if (item)
            insertItem(item);
        return true;
    }
    default:
        return false;
    }
}

}  // namespace fillscript
