#include "engine/enginepage.h"

#include "engine/dialogs.h"

#include <QAuthenticator>
#include <QNetworkProxy>
#include <QResizeEvent>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>

namespace engine {
namespace {

const QString kReadyScript = QStringLiteral("tolvane-document-ready");
const QString kReadyMarker = QStringLiteral("\x01tolvane:document-ready");

// Runs in an isolated world, out of the page's reach, when the main frame's
// document has been parsed.
QWebEngineScript documentReadyScript()
{
    QWebEngineScript script;
    script.setName(kReadyScript);
    script.setInjectionPoint(QWebEngineScript::DocumentReady);
    script.setWorldId(QWebEngineScript::ApplicationWorld);
    script.setRunsOnSubFrames(false);
    script.setSourceCode(QStringLiteral("console.debug('\\u0001tolvane:document-ready');"));
    return script;
}

}  // namespace

EnginePage::EnginePage(QWebEngineProfile* profile, wkeViewState* view)
    : QWebEnginePage(profile), m_view(view)
{
    scripts().insert(documentReadyScript());

    connect(this, &QWebEnginePage::loadStarted, this, [view] {
        view->loading = true;
        view->loadRequested = false;
        view->loadSucceeded = false;
        view->loadFailed = false;
        view->documentReady = false;
    });
    connect(this, &QWebEnginePage::loadingChanged, this, [view](const QWebEngineLoadingInfo& info) {
        if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus)
            view->httpErrorStatus = 0;
        else if (info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain && info.errorCode() >= 400)
            view->httpErrorStatus = info.errorCode();
    });
    connect(this, &QWebEnginePage::loadFinished, this, [view](bool ok) {
        view->loading = false;
        view->loadRequested = false;
        view->loadSucceeded = ok;
        view->loadFailed = !ok;
        if (ok)
            view->documentReady = true;
    });
    connect(this, &QWebEnginePage::newWindowRequested, this,
            [this](QWebEngineNewWindowRequest& request) {
                if (hooks.newWindow && hooks.newWindow(request))
                    return;
                openNewWindow(request);
            });
    // The application proxy carries the credentials given with it.
    connect(this, &QWebEnginePage::proxyAuthenticationRequired, this,
            [](const QUrl&, QAuthenticator* authenticator, const QString& proxyHost) {
                const QNetworkProxy proxy = QNetworkProxy::applicationProxy();
                if (proxy.hostName() == proxyHost && !proxy.user().isEmpty()) {
                    authenticator->setUser(proxy.user());
                    authenticator->setPassword(proxy.password());
                }
            });
}

void EnginePage::openNewWindow(QWebEngineNewWindowRequest& request)
{
    if (!m_view->newWindowEnabled) {
        load(request.requestedUrl());
        return;
    }
    auto* window = new QWebEngineView;
    window->setAttribute(Qt::WA_DeleteOnClose);
    auto* page = new QWebEnginePage(profile(), window);
    window->setPage(page);
    request.openIn(page);
    const QRect geometry = request.requestedGeometry();
    window->resize(geometry.width() > 0 ? geometry.size() : QSize(800, 600));
    window->show();
    m_view->popups.emplace_back(window);
}

bool EnginePage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame)
{
    const bool accepted = hooks.navigationRequest ? hooks.navigationRequest(url, type, isMainFrame)
                                                  : QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    // A requested load refused before the engine reported its start ends
    // here as failed: the engine may report nothing more of it.
    if (!accepted && isMainFrame && m_view->loadRequested) {
        m_view->loadRequested = false;
        m_view->loading = false;
        m_view->loadFailed = true;
    }
    return accepted;
}

// A handler registered for the view decides first; then a view that answers
// its dialogs itself (an unattended run); else the dialog is shown.
void EnginePage::javaScriptAlert(const QUrl& origin, const QString& message)
{
    if (hooks.alert && hooks.alert(origin, message))
        return;
    if (dialogs::answer(m_view, WKE_DIALOG_ALERT, message))
        return;
    QWebEnginePage::javaScriptAlert(origin, message);
}

bool EnginePage::javaScriptConfirm(const QUrl& origin, const QString& message)
{
    if (hooks.confirm) {
        if (std::optional<bool> answer = hooks.confirm(origin, message))
            return *answer;
    }
    const int kind = dialogs::isLeavePageQuestion(message) ? WKE_DIALOG_BEFOREUNLOAD : WKE_DIALOG_CONFIRM;
    if (std::optional<bool> answer = dialogs::answer(m_view, kind, message))
        return *answer;
    return QWebEnginePage::javaScriptConfirm(origin, message);
}

bool EnginePage::javaScriptPrompt(const QUrl& origin, const QString& message,
                                  const QString& defaultValue, QString* result)
{
    if (hooks.prompt) {
        if (std::optional<QString> answer = hooks.prompt(origin, message, defaultValue)) {
            *result = *answer;
            return !answer->isNull();  // a null answer cancels the box
        }
    }
    if (std::optional<bool> accept = dialogs::answer(m_view, WKE_DIALOG_PROMPT, message)) {
        if (*accept)
            *result = defaultValue;
        return *accept;
    }
    return QWebEnginePage::javaScriptPrompt(origin, message, defaultValue, result);
}

QStringList EnginePage::chooseFiles(FileSelectionMode mode, const QStringList& oldFiles,
                                    const QStringList& acceptedMimeTypes)
{
    if (std::optional<QStringList> files = dialogs::fileChoice(m_view, mode == FileSelectOpenMultiple))
        return *files;
    return QWebEnginePage::chooseFiles(mode, oldFiles, acceptedMimeTypes);
}

void EnginePage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level,
                                          const QString& message, int line,
                                          const QString& sourceId)
{
    if (sourceId == QLatin1String("userscript:") + kReadyScript && message == kReadyMarker) {
        m_view->documentReady = true;
        emit documentReady();
        return;
    }
    if (hooks.console)
        hooks.console(level, message, line, sourceId);
    else
        QWebEnginePage::javaScriptConsoleMessage(level, message, line, sourceId);
}

EngineFrame::EngineFrame(wkeViewState* view) : m_view(view) {}

bool EngineFrame::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
        // Default handling (Tab moves the focus on), then stop.
        QWidget::event(event);
        event->accept();
        return true;
    default:
        return QWidget::event(event);
    }
}

void EngineFrame::resizeEvent(QResizeEvent* event)
{
    if (m_view->widget)
        m_view->widget->setGeometry(QRect(QPoint(0, 0), event->size()));
    QWidget::resizeEvent(event);
}

}  // namespace engine
