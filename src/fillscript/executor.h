#pragma once
// Execution of checked script lines through the page operations of a web view.
#include "fillscript/parser.h"

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
    std::string failureReason() const override { return reason_; }
    webview::WebView& view() { return *view_; }

private:
    std::unique_ptr<webview::WebView> view_;
    std::string reason_;
};

}  // namespace fillscript
