#pragma once
// Included first by every web view test. Before main (and so before the
// QApplication) it points HOME and the XDG folders at a fresh temporary
// folder, removed at exit (child processes started with
// TOLVANE_TEST_SHARED_ENV set keep their parent's), so that neither the test nor Chromium writes into
// the real home folder, and prepares the application for the engine.
#include "webview/appsetup.h"

#include <QByteArray>
#include <QString>

#include <cstdlib>
#include <system_error>
#include <filesystem>

namespace webview_test {

struct IsolatedEnvironment {
    std::filesystem::path root;

    IsolatedEnvironment()
    {
        // A child process of a test shares its parent's folders.
        if (qEnvironmentVariableIsSet("TOLVANE_TEST_SHARED_ENV")) {
            webview::prepareApplication();
            return;
        }
        char pattern[] = "/tmp/tolvane-webview-test-XXXXXX";
        if (!::mkdtemp(pattern))
            std::abort();
        root = pattern;
        const auto set = [&](const char* name, const char* sub) {
            std::filesystem::path p = root / sub;
            std::filesystem::create_directories(p);
            std::filesystem::permissions(p, std::filesystem::perms::owner_all);
            qputenv(name, QByteArray(p.c_str()));
        };
        set("HOME", "home");
        set("XDG_DATA_HOME", "data");
        set("XDG_CACHE_HOME", "cache");
        set("XDG_CONFIG_HOME", "config");
        set("XDG_RUNTIME_DIR", "runtime");
        webview::prepareApplication();
    }

    // At exit, after main has returned and the engine has gone with the
    // application object.
    ~IsolatedEnvironment()
    {
        std::error_code ignored;
        if (!root.empty())
            std::filesystem::remove_all(root, ignored);
    }

    static IsolatedEnvironment& instance();
};

inline IsolatedEnvironment& IsolatedEnvironment::instance()
{
    static IsolatedEnvironment environment;
    return environment;
}

// Made before main by every test that includes this header.
inline const bool environmentReady = (IsolatedEnvironment::instance(), true);

inline QString dataHome()
{
    return QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME"));
}

}  // namespace webview_test
