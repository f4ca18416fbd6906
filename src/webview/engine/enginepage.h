#pragma once
// The engine's Qt objects for one view: the page, the frame widget that holds
// the web view inside the host, and the observer on the view's widgets.
#include "engine/viewstate.h"

#include <QWebEnginePage>

#include <functional>
#include <optional>

class QWebEngineNewWindowRequest;

namespace engine {

class EnginePage : public QWebEnginePage {
    Q_OBJECT
public:
    EnginePage(QWebEngineProfile* profile, wkeViewState* view);

    // Hooks for other parts of the library; an empty hook keeps the default.
    struct Hooks {
        // Return false to refuse the navigation.
        std::function<bool(const QUrl& url, NavigationType type, bool isMainFrame)> navigationRequest;
        // Return true when the hook dealt with the request.
        std::function<bool(QWebEngineNewWindowRequest& request)> newWindow;
        // Return true when the hook answered the dialog (no dialog is shown).
        std::function<bool(const QUrl& origin, const QString& message)> alert;
        std::function<std::optional<bool>(const QUrl& origin, const QString& message)> confirm;
        // A null QString answer cancels the box.
        std::function<std::optional<QString>(const QUrl& origin, const QString& message,
                                             const QString& defaultValue)> prompt;
        std::function<void(JavaScriptConsoleMessageLevel level, const QString& message,
                           int line, const QString& sourceId)> console;
    } hooks;

    wkeViewState* view() const { return m_view; }

signals:
    // The main frame's document has been parsed (DOMContentLoaded).
    void documentReady();

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    void javaScriptAlert(const QUrl& origin, const QString& message) override;
    bool javaScriptConfirm(const QUrl& origin, const QString& message) override;
    bool javaScriptPrompt(const QUrl& origin, const QString& message, const QString& defaultValue,
                          QString* result) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                  int line, const QString& sourceId) override;
    QStringList chooseFiles(FileSelectionMode mode, const QStringList& oldFiles,
                            const QStringList& acceptedMimeTypes) override;

private:
    void openNewWindow(QWebEngineNewWindowRequest& request);

    wkeViewState* m_view;
};

// The engine's top widget: a child of the host holding the web view. Input
// that the page leaves unhandled stops here instead of travelling on to the
// host, which forwards input it receives to the engine.
class EngineFrame : public QWidget {
public:
    explicit EngineFrame(wkeViewState* view);

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    wkeViewState* m_view;
};

// Watches the web view's widgets: reports painting to the paint callback and
// applies the mouse and touch settings to native input.
class ViewObserver : public QObject {
public:
    ViewObserver(wkeViewState* view, QObject* parent);
    void watch(QWidget* widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void notifyPainted(const QRect& rect);
    bool emulateTouch(QWidget* target, QMouseEvent* event);

    wkeViewState* m_view;
    bool m_touchActive = false;
};

}  // namespace engine
