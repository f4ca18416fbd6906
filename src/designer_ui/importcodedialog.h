#pragma once
// ImportCodeDialog: a modal window where the user pastes or types a block of
// style code. "确认" hands the code back and closes it; any other way of
// closing it hands nothing back.
#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace designer {

class ImportCodeDialog : public QDialog {
    Q_OBJECT
public:
    explicit ImportCodeDialog(QWidget* parent = nullptr);

    // Opens the dialog and waits. Returns the confirmed code with CR LF line
    // breaks, as local byte text; empty when nothing was confirmed.
    static std::string askForCode(QWidget* parent);

    QPlainTextEdit* codeBox() const { return codeBox_; }
    QPushButton* pasteButton() const { return pasteButton_; }
    QPushButton* confirmButton() const { return confirmButton_; }
    // What "确认" handed back (empty until then).
    const std::string& confirmedCode() const { return confirmed_; }

private:
    void paste();
    void confirm();

    QPlainTextEdit* codeBox_;
    QPushButton* pasteButton_;
    QPushButton* confirmButton_;
    std::string confirmed_;
};

}  // namespace designer
