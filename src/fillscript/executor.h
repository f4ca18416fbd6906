#pragma once
// Execution of checked script lines through the page operations of a web view.
#include "fillscript/parser.h"

#include <QString>

#include <memory>
#include <string>
#include <vector>

namespace webview {
class WebView;
}

namespace fillscript {

// Runs one line whose name is in the catalogue and whose argument count
// matches it, on `view`, and gives the text to log. Argument texts are
// converted as the command's operation needs them (argInteger, argLogical).
// Names outside the catalogue give the empty text.
std::string executeCommand(webview::WebView& view, const std::string& name,
                           const std::vector<std::string>& args);

// A CommandExecutor working on its own copy of a web view; the copy shares the
// page of the view it was made from.
class WebViewExecutor : public CommandExecutor {
public:
    explicit WebViewExecutor(const webview::WebView& view);
    ~WebViewExecutor() override;
    std::string execute(const std::string& name, const std::vector<std::string>& args) override;
    bool lastUnanswered() const override { return lastUnanswered_; }
    std::string failureReason() const override { return reason_; }
    webview::WebView& view() { return *view_; }
    // The folder relative file paths of an upload are taken from (the
    // script's folder in an unattended run); empty: the working folder.
    void setFileFolder(const QString& folder) { fileFolder_ = folder; }

private:
    std::unique_ptr<webview::WebView> view_;
    QString fileFolder_;
    bool lastUnanswered_ = false;
    std::string reason_;
};

// Each relative path of "a|b|..." made absolute against folder; empty
// pieces stay empty.
std::string resolvedPaths(const std::string& paths, const QString& folder);

}  // namespace fillscript
