#pragma once
// The form-fill bridge script (fillbridge/fillbridge.js, a resource of the web view
// library) with its identifier and port filled in, and the texts the
// program-held bridge (FillBridgeLink) makes of page values.
#include <QJsonValue>
#include <QString>

#include <string>

namespace webview {

// The bridge script with every "标识符" replaced by the identifier (escaped for
// the script string it stands in) and then every "端口号" by the port in
// decimal. Byte text (GB18030).
std::string fillBridgeScript(int port, const std::string& identifier);

// The same script without its start step: its globals and functions only, for
// a page whose connection the program holds.
std::string fillBridgeDefinitions(int port, const std::string& identifier);

// The identifier as it may stand inside a double-quoted page-script string:
// backslash, quotes, line breaks and the two line separators escaped.
QString scriptStringContent(const QString& text);

// A number as the page language writes it (Number's toString): shortest
// round-trip digits, "1e+21" from 1e21 on, "1e-7" below 1e-6, "NaN",
// "Infinity", and 0 for -0.
QString scriptNumberText(double value);

// The text the page language makes of a value that the engine handed over as
// JSON: null as "undefined" (the engine gives null for both), arrays joined
// with "," (null elements empty), other objects as "[object Object]".
QString scriptValueText(const QJsonValue& value);

}  // namespace webview
