#pragma once
// The seam between the script tool window and whatever watches the page for
// it: the window switches recording and picking on and off, and the recorder
// hands back finished script lines and picked locators.
#include <functional>
#include <string>

namespace fillscript {

// A locator as script arguments: tag, key, skip count, frame path and
// attribute name (GB18030).
struct RecordedLocator {
    std::string tag;
    std::string key;
    int skip = 0;
    std::string frame;
    std::string attribute;
};

class PageRecorder {
public:
    virtual ~PageRecorder() = default;

    // While on, the user's actions in the page come back as lines.
    virtual void setRecording(bool on) = 0;
    virtual bool isRecording() const = 0;
    // While on, the element under the pointer is highlighted and the next
    // click in the page picks it instead of acting; picking then ends.
    virtual void setPicking(bool on) = 0;
    virtual bool isPicking() const = 0;

    // Set by the window.
    std::function<void(const std::string& gbLine)> onLine;
    std::function<void(const RecordedLocator&)> onPick;
    std::function<void()> onStateChanged;
};

}  // namespace fillscript
