#pragma once
// The form-fill bridge script (events/fillbridge.js, a resource of the web view
// library) with its identifier and port filled in.
#include <QString>

#include <string>

namespace webview {

// The bridge script with every "标识符" replaced by the identifier (escaped for
// the script string it stands in) and then every "端口号" by the port in
// decimal. Byte text (GB18030).
std::string fillBridgeScript(int port, const std::string& identifier);

// The identifier as it may stand inside a double-quoted page-script string:
// backslash, quotes, line breaks and the two line separators escaped.
QString scriptStringContent(const QString& text);

}  // namespace webview
