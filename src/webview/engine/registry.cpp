#include "engine/registry.h"

#include <algorithm>

namespace engine {
namespace {

struct Registry {
    std::vector<wkeViewState*> views;
    quint64 nextId = 1;
};

// Never destroyed: clients may still call in while the program's own static
// objects are being destroyed.
Registry& registry()
{
    static auto* r = new Registry;
    return *r;
}

}  // namespace

void registerView(wkeViewState* view)
{
    Registry& r = registry();
    view->id = r.nextId++;
    r.views.push_back(view);
}

void unregisterView(wkeViewState* view)
{
    auto& views = registry().views;
    views.erase(std::remove(views.begin(), views.end(), view), views.end());
}

wkeViewState* viewById(quint64 id)
{
    for (wkeViewState* view : registry().views) {
        if (view->id == id)
            return view;
    }
    return nullptr;
}

const std::vector<wkeViewState*>& liveViews()
{
    return registry().views;
}

wkeViewState* liveView(wkeWebView handle)
{
    if (!handle)
        return nullptr;
    const auto& views = registry().views;
    return std::find(views.begin(), views.end(), handle) != views.end() ? handle : nullptr;
}

}  // namespace engine
