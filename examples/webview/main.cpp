// Embeds a WebView in a window, registers an event, loads a page and runs a
// page script on it. Prints what it saw and exits: 0 when the page answered.
//
//   webview-example [--stay]     (--stay keeps the window open)
#include <webview/appsetup.h>
#include <webview/webview.h>
#include <runtime/textcodec.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <cstdio>
#include <cstring>

namespace {

const char kPage[] =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Example</title></head>"
    "<body><p id=\"greeting\">Hello from the page</p>"
    "<script>document.title = 'Example: ' + (2 + 3);</script></body></html>";

struct Seen {
    int titleChanges = 0;
};

void onTitle(wkeWebView, void* parameter, const wkeString)
{
    ++static_cast<Seen*>(parameter)->titleChanges;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool stay = argc > 1 && std::strcmp(argv[1], "--stay") == 0;
    webview::prepareApplication();  // before the QApplication exists
    QApplication app(argc, argv);

    QTemporaryDir dir;
    const QString pagePath = dir.filePath("page.html");
    {
        QFile f(pagePath);
        if (!f.open(QIODevice::WriteOnly) || f.write(kPage) < 0)
            return 2;
    }

    QWidget window;
    window.setWindowTitle("Tolvane web view example");
    window.resize(640, 400);
    window.show();

    webview::WebView view;
    Seen seen;
    // Texts are GB18030 byte text; rt::gb converts from UTF-8 literals.
    view.create(&window, "example", rt::gb(QUrl::fromLocalFile(pagePath).toString().toStdString()), {});
    view.onTitleChanged(onTitle, &seen);

    int exitCode = 1;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!view.isLoadingCompleted())
            return;
        poll.stop();
        const std::string text = view.runScriptText("text = document.getElementById('greeting').textContent;");
        const std::string title = view.runScriptText("text = document.title;");
        std::printf("page text: %s\ntitle: %s\ntitle events: %d\n", rt::gbToUtf8(text).c_str(),
                    rt::gbToUtf8(title).c_str(), seen.titleChanges);
        exitCode = text == "Hello from the page" ? 0 : 1;
        if (!stay)
            app.quit();
    });
    poll.start(20);
    QTimer::singleShot(60000, &app, [&] {
        std::fputs("the page did not load in time\n", stderr);
        app.quit();
    });
    app.exec();
    return exitCode;
}
