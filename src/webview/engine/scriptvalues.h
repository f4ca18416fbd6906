#pragma once
// Engine texts and script values, for the library's own source files.
#include "webview/wke.h"

#include <QString>

#include <string>

// A text the engine hands to a callback as wkeString. Make one on the stack
// for the duration of the call:
//     wkeStringTag title{page->title().toStdU16String()};
//     callback(view, param, &title);
struct wkeStringTag {
    std::u16string text;
};

namespace engine {

// Keeps text as a script value (never 0). The most recent values are kept;
// older ones read as no value.
jsValue keepScriptValue(const QString& text);

}  // namespace engine
