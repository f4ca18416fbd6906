#pragma once
// The recovery file's life: offered back after a crash, kept in step with
// saving, and settled when the designer ends (by a close or by a signal).
#include <QString>

namespace design {
class Autosave;
}

namespace designer {

class MainWindow;

// When `folder` holds recovery files of designers that are gone, asks once
// whether to restore the newest into the window's design (as an unsaved
// change). The files are removed once the question is answered; a question
// cut short (the designer ending under it) keeps them. Answers whether it
// restored.
bool offerRecovery(MainWindow& window, const QString& folder);

// Keeps the recovery file in step with saving: while the design matches its
// saved (or read) file there is none, so no later end, however abrupt,
// offers back work that was saved. The next change writes it again.
void followSaves(MainWindow& window, design::Autosave& autosave);

// From here on SIGTERM and SIGHUP (a logout, a closed terminal) end the
// application as closing the main window would, but asking nothing, even
// from inside a dialog. Call once, after the application exists.
void quitOnEndSignals();
// Whether SIGTERM or SIGHUP ended the run.
bool endedBySignal();

// At the end of the run: after a close the user has answered for unsaved
// changes, so the recovery file goes; after a signal it stays, with the
// latest design, exactly when there are unsaved changes.
void settleRecovery(MainWindow& window, design::Autosave& autosave);

}  // namespace designer
