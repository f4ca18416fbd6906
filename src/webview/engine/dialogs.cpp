#include "engine/dialogs.h"

#include "engine/events.h"

#include <QCoreApplication>

namespace engine::dialogs {
namespace {

struct DialogState {
    int mode = WKE_DIALOGS_SHOW;
    wkeDialogAnsweredCallback callback = nullptr;
    void* param = nullptr;
    std::optional<QStringList> nextFiles;
};

void report(wkeViewState* view, const DialogState& state, int kind, const QString& message)
{
    if (!state.callback)
        return;
    events::InlineCall inlineCall;  // the page waits for the answer
    const std::u16string text = message.toStdU16String();
    state.callback(view, state.param, kind, text.c_str());
}

}  // namespace

bool isLeavePageQuestion(const QString& message)
{
    // The text (and its translation) of the engine's own question.
    return message == QCoreApplication::translate(
                          "QWebEnginePage",
                          "Are you sure you want to leave this page? Changes that you made may not be saved.");
}

std::optional<bool> answer(wkeViewState* view, int kind, const QString& message)
{
    const DialogState& state = view->extension<DialogState>();
    if (state.mode == WKE_DIALOGS_SHOW)
        return std::nullopt;
    const bool accept = state.mode == WKE_DIALOGS_ACCEPT;
    report(view, state, kind, message);
    return accept;
}

std::optional<QStringList> fileChoice(wkeViewState* view, bool multiple)
{
    DialogState& state = view->extension<DialogState>();
    if (state.nextFiles) {
        QStringList files = *std::exchange(state.nextFiles, std::nullopt);
        if (!multiple && files.size() > 1)
            files = files.mid(0, 1);
        return files;
    }
    if (state.mode == WKE_DIALOGS_SHOW)
        return std::nullopt;
    report(view, state, WKE_DIALOG_FILECHOOSER, QString());
    return QStringList();  // as Cancel: nothing chosen
}

}  // namespace engine::dialogs

using namespace engine;

extern "C" {

WKE_API void wkeSetDialogAnswers(wkeWebView handle, int mode, wkeDialogAnsweredCallback callback,
                                 void* param)
{
    wkeViewState* view = liveView(handle);
    if (!view)
        return;
    auto& state = view->extension<dialogs::DialogState>();
    state.mode = mode == WKE_DIALOGS_ACCEPT || mode == WKE_DIALOGS_DISMISS ? mode : WKE_DIALOGS_SHOW;
    state.callback = callback;
    state.param = param;
}

WKE_API void wkeSetNextFileChoice(wkeWebView handle, const char16_t* paths)
{
    wkeViewState* view = liveView(handle);
    if (!view)
        return;
    auto& state = view->extension<dialogs::DialogState>();
    if (!paths) {
        state.nextFiles.reset();
        return;
    }
    state.nextFiles = QString::fromUtf16(paths).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

WKE_API bool wkeIsFileChoicePending(wkeWebView handle)
{
    wkeViewState* view = liveView(handle);
    return view && view->extension<dialogs::DialogState>().nextFiles.has_value();
}

}  // extern "C"
