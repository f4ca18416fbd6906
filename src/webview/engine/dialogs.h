#pragma once
// Dialogs that no registered handler decided: shown to the user, or answered
// by the engine itself for an unattended run (wkeSetDialogAnswers), and the
// file choice a program hands to the next file chooser.
#include "engine/viewstate.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace engine::dialogs {

// The answer for a dialog of kind (WKE_DIALOG_*), or nullopt when the view
// shows its dialogs. An answered dialog is reported to the view's callback.
std::optional<bool> answer(wkeViewState* view, int kind, const QString& message);

// Whether a confirm box is the engine's question before leaving a page with
// a beforeunload handler (the engine asks it through the confirm box).
bool isLeavePageQuestion(const QString& message);

// The files for a file chooser: the program's pending choice (taken), an
// empty list for a view that answers its dialogs, or nullopt (show the
// dialog).
std::optional<QStringList> fileChoice(wkeViewState* view, bool multiple);

}  // namespace engine::dialogs
