#pragma once
// The byte view of the script editor.
//
// The editor widget holds UTF-8, while the tool's rules (caret columns, word
// ranges, completion ranges, "the byte before the caret") count GB18030 bytes.
// GbEditor answers the editor queries the tool needs in GB18030 bytes and
// positions, converting lines and positions on the way, so that code above it
// does its byte arithmetic unchanged. A GB18030 position that falls inside a
// character maps to that character's start.
#include <QObject>
#include <string>
#include <string_view>
#include <vector>

class QsciScintilla;

namespace fillscript {

class GbEditor : public QObject {
    Q_OBJECT
public:
    explicit GbEditor(QsciScintilla* editor, QObject* parent = nullptr);

    QsciScintilla* widget() const { return ed_; }

    int lineCount() const;                       // at least 1
    std::string line(int k) const;               // line k with its line break
    int lineLength(int k) const;                 // bytes of line(k)
    int currentPos() const;                      // caret
    std::string textRange(int from, int to) const;
    int charAt(int pos) const;                   // byte value, 0 outside the text
    void setSel(int anchor, int caret);
    void replaceSel(std::string_view gbText);
    int positionFromLine(int k) const;
    int lineEndPosition(int k) const;            // before the line break
    int lineFromPosition(int pos) const;
    // Length in bytes of the character that ends at pos (0 at the start of
    // the text); the character starting at pos for charLengthAt.
    int charLengthBefore(int pos) const;
    int charLengthAt(int pos) const;

    // Position conversions between the two views.
    int toEditorPos(int gbPos) const;
    int toGbPos(int editorPos) const;

private:
    std::string utf8Line(int k) const;
    void ensureStarts(int uptoLine) const;
    void onModified(int position, int modificationType);

    QsciScintilla* ed_;
    // GB18030 start of each line; entries below validLines_ are current.
    mutable std::vector<int> gbStarts_;
    mutable int validLines_ = 0;
};

}  // namespace fillscript
