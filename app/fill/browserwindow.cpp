#include "browserwindow.h"

#include "fillscript/opentool.h"
#include "runtime/textcodec.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

QString BrowserWindow::captionFor(const QString& pageTitle)
{
    // A page's title is its own text: line breaks and runs of spaces fold
    // into one space, and a long one is cut.
    constexpr int kLongest = 120;
    QString title = pageTitle.simplified();
    for (QChar& c : title)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            c = QLatin1Char(' ');
    title = title.simplified();
    if (title.size() > kLongest) {
        qsizetype keep = kLongest - 1;
        if (title.at(keep - 1).isHighSurrogate())  // never half a character
            --keep;
        title = title.left(keep) + QChar(0x2026);
    }
    const QString program = QStringLiteral("tolvane-fill");
    return title.isEmpty() ? program : title + QStringLiteral(" - ") + program;
}

BrowserWindow::BrowserWindow(const std::string& url, QWidget* parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("tolvane-fill"));
    resize(1024, 768);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(4, 4, 4, 4);
    address_ = new QLineEdit(rt::gbToQString(url), this);
    auto* tool = new QPushButton(QStringLiteral("动态代码调试工具"), this);
    bar->addWidget(address_, 1);
    bar->addWidget(tool);
    layout->addLayout(bar);

    host_ = new QWidget(this);
    host_->setMinimumSize(320, 240);
    layout->addWidget(host_, 1);

    connect(address_, &QLineEdit::returnPressed, this,
            [this] { view_.loadUrl(rt::qstringToGb(address_->text().trimmed())); });
    connect(tool, &QPushButton::clicked, this, [this] { fillscript::openScriptTool(view_); });
    // Keep the address bar and the caption on the page actually shown.
    auto* follow = new QTimer(this);
    connect(follow, &QTimer::timeout, this, [this] {
        if (!address_->hasFocus()) {
            const QString now = rt::gbToQString(view_.getUrl());
            if (!now.isEmpty() && now != address_->text())
                address_->setText(now);
        }
        const QString caption = captionFor(rt::gbToQString(view_.engine().getTitle()));
        if (caption != windowTitle())
            setWindowTitle(caption);
    });
    follow->start(500);

    view_.create(host_, "tolvane-fill", url, {});
}
