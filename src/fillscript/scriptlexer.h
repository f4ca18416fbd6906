#pragma once
// Colouring of form-fill scripts: command names in one colour, arguments in
// another, and a squiggle under every line the run would reject (unknown
// command, wrong argument count), by the same checks as the run.
#include <Qsci/qscilexercustom.h>

namespace fillscript {

class ScriptLexer : public QsciLexerCustom {
    Q_OBJECT
public:
    enum Style { Default = 0, Command = 1, Argument = 2, Punctuation = 3, UnknownCommand = 4 };
    // The squiggle's indicator number.
    static constexpr int kCheckIndicator = 8;

    explicit ScriptLexer(QObject* parent = nullptr);

    const char* language() const override { return "FillScript"; }
    QString description(int style) const override;
    QColor defaultColor(int style) const override;
    QFont defaultFont(int style) const override;
    void styleText(int start, int end) override;
};

}  // namespace fillscript
