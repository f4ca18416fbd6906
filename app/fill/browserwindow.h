#pragma once
// A plain browser window: an address bar above a web view, the page's title
// in the caption.
#include "webview/webview.h"

#include <QWidget>

class QLineEdit;

class BrowserWindow : public QWidget {
    Q_OBJECT
public:
    // Creates the view in a profile of its own (cookies and local storage
    // kept between runs) and loads url.
    explicit BrowserWindow(const std::string& url, QWidget* parent = nullptr);

    webview::WebView& view() { return view_; }

    // The caption for a page title: "title - tolvane-fill", or the program's
    // name alone for a page without one.
    static QString captionFor(const QString& pageTitle);

private:
    QLineEdit* address_ = nullptr;
    QWidget* host_ = nullptr;
    webview::WebView view_;
};
