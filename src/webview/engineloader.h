#pragma once
// Binds the page engine's functions by name at their first call. The engine
// library (libnode.so in the program directory) is loaded on the first call
// of any of them; nothing of the engine loads before.
//
//     WKE_CALL(wkeResize)(view, width, height);
//
// A missing library or function shows "无法找到指定DLL库文件“<file>”中的输出命令“<function>”"
// and ends the program. Tests replace the binding table (setEngineResolver) to
// record the exact calls, and the ending step (setEngineFailureHandler) to
// observe the message.
#include "webview/wke.h"

#include <QString>

#include <functional>

namespace webview {

// File name of the engine library and its path in the program directory.
QString engineLibraryFileName();
QString engineLibraryPath();

// One binding per call site; rebound after the resolver changes.
struct BoundFunction {
    void* address = nullptr;
    unsigned generation = 0;
};

// Address of the engine function name. A missing one is reported through the
// failure handler; when that returns (tests), the result is null.
void* engineFunction(const char* name, BoundFunction& binding);

// Maps a function name to its address (null: missing). Empty: the library in
// the program directory.
using EngineResolver = std::function<void*(const char* name)>;
void setEngineResolver(EngineResolver resolver);

// Receives the missing-function message. Empty: a message box, then the
// program ends.
using EngineFailureHandler = std::function<void(const QString& message)>;
void setEngineFailureHandler(EngineFailureHandler handler);

QString missingFunctionMessage(const QString& libraryFile, const char* function);

}  // namespace webview

#define WKE_CALL(fn)                                                                \
    (reinterpret_cast<decltype(&::fn)>(::webview::engineFunction(#fn, []() -> ::webview::BoundFunction& { \
        static ::webview::BoundFunction binding;                                    \
        return binding;                                                             \
    }())))
