#pragma once
// Internal state of one engine view. Every engine source file reaches a view
// through liveView(handle), which answers null for a handle that is not (or no
// longer) a view, so a stale handle never touches freed memory.
//
// Groups of the library that keep per-view state of their own do not add
// fields here: they keep it in an extension record, made on first use and
// destroyed with the view before its page:
//     struct EventSlots { ... };                 // in the group's own file
//     auto& slots = view->extension<EventSlots>();
#include "webview/wke.h"

#include <QByteArray>
#include <QImage>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QTemporaryFile>
#include <QWidget>

#include <map>
#include <memory>
#include <string>
#include <typeindex>
#include <unordered_map>
#include <vector>

class QTimer;
class QWebEngineProfile;
class QWebEngineView;

namespace engine {

class EnginePage;
class EngineFrame;
class ViewObserver;

// Storage folders of a view. Each distinct pair is one profile; both empty
// means private (off-the-record) storage.
struct StoragePaths {
    QString cookieDir;
    QString localStorageDir;
    // A private pair with a session number other than 0 gets a private
    // profile of its own, shared with no other session.
    unsigned session = 0;
    bool isPrivate() const { return cookieDir.isEmpty() && localStorageDir.isEmpty(); }
    bool operator==(const StoragePaths&) const = default;
};

// A key press held back for one turn of the event loop, so that a key-down
// and the character that follows it reach the page as one key event.
struct HeldKey {
    bool held = false;
    int qtKey = 0;
    Qt::KeyboardModifiers modifiers;
    bool autoRepeat = false;
    unsigned generation = 0;
};

}  // namespace engine

struct wkeViewState {
    // Given by the registry (registry.h); never reused within a run.
    quint64 id = 0;

    // Widgets and page. The frame is the engine's top widget: a child of the
    // host while hosted, holding the web view. The page is owned here and is
    // always deleted before its profile.
    QPointer<engine::EngineFrame> frame;
    QPointer<QWebEngineView> widget;
    engine::EnginePage* page = nullptr;
    QWebEngineProfile* profile = nullptr;  // owned by the profile registry
    engine::ViewObserver* observer = nullptr;  // owned by the frame
    QPointer<QWidget> host;

    // The storage pair the page's profile was made for, and the pair asked
    // for since; a differing request moves the view at its next load.
    engine::StoragePaths storage;
    engine::StoragePaths requestedStorage;

    // Load state of the main frame.
    bool loading = false;
    bool loadSucceeded = false;
    bool loadFailed = false;
    bool documentReady = false;
    bool loadRequested = false;  // asked for, the engine has not reported its start yet
    int httpErrorStatus = 0;  // the server's error status for the last load, else 0

    // Texts handed out by the getters; valid until the next call.
    QByteArray urlText;
    std::u16string titleText;
    QByteArray name;

    // Painting.
    wkePaintUpdatedCallback paintCallback = nullptr;
    void* paintParam = nullptr;
    QImage pixels;      // what wkeGetViewDC hands out
    QRect pendingPaint; // painted since the last paint callback
    bool paintQueued = false;

    // Input.
    bool mouseEnabled = true;
    bool touchEnabled = false;
    Qt::KeyboardModifiers keyModifiers;  // from the modifier keys fired
    engine::HeldKey heldKey;
    QPoint lastRightPress;            // where and when (ms, monotonic) the
    qint64 lastRightPressAt = -1;     // right button last went down

    // Settings kept per view and applied again when the page is replaced.
    bool transparent = false;
    bool headless = false;
    bool awake = true;
    bool newWindowEnabled = true;
    bool cspCheck = true;
    bool memoryCache = true;  // off: the view's loads and reloads skip the HTTP cache
    bool pluginsEnabled = false;
    bool editable = false;
    double zoomFactor = 1.0;
    float mediaVolume = 1.0f;
    std::map<QString, QString> deviceScripts;  // device name -> override script
    QTimer* resourceGc = nullptr;              // owned by the frame

    // Windows the view opened (developer tools, pages opened in a new window).
    QPointer<QWidget> devTools;
    std::vector<QPointer<QWidget>> popups;
    std::unique_ptr<QTemporaryFile> htmlFile;  // large HTML handed to wkeLoadHTMLW

    // Address handed out as the main frame handle.
    char mainFrameTag = 0;

    std::unordered_map<std::type_index, std::shared_ptr<void>> extensions;

    template <typename T>
    T& extension()
    {
        std::shared_ptr<void>& slot = extensions[std::type_index(typeid(T))];
        if (!slot)
            slot = std::make_shared<T>();
        return *static_cast<T*>(slot.get());
    }

    // The record if the view has one, without making it.
    template <typename T>
    T* findExtension()
    {
        const auto found = extensions.find(std::type_index(typeid(T)));
        return found == extensions.end() ? nullptr : static_cast<T*>(found->second.get());
    }

    ~wkeViewState();
};

namespace engine {

// The live view behind a handle, or null (registry.cpp).
wkeViewState* liveView(wkeWebView handle);

// Widget that takes the view's input events (the render widget), or null.
QWidget* inputTarget(wkeViewState* view);
// Chromium runs a page's focus listeners and answers document.hasFocus() only
// while the page's widget has focus in the active window. A view that is
// hidden, offscreen or behind another active window (the script tool's) is
// given the page focus before a script runs, so that the page behaves as
// focused while scripts work on it.
void keepPageFocused(wkeViewState* view);

// Puts a page on the profile for paths into the view, replacing (and
// deleting) the page it had, and applies the view's settings to it.
void openPage(wkeViewState* view, const StoragePaths& paths);

// Moves the view to the storage asked for, if that differs from its own.
void applyRequestedStorage(wkeViewState* view);

// Applies the settings kept in the view to its current page.
void applyPageSettings(wkeViewState* view);

// Grabs the view's pixels into view->pixels (what wkeGetViewDC hands out).
const QImage& refreshPixels(wkeViewState* view);
// Whether the view's frame is shown in a window that is not minimised: only
// then does Chromium paint the page.
bool onDisplay(const wkeViewState* view);
// The page's content size in pixels (0 x 0 without a page).
QSize contentSize(wkeViewState* view);

// Shows the frame when it has a host and is neither headless nor asleep.
void updateFrameVisibility(wkeViewState* view);

}  // namespace engine
