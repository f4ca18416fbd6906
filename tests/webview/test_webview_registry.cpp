// The engine's registry of live views, on its own: ids, lookups and order.
// Work queued for a view finds it again by handle and id, so a later view
// made at a freed view's address must never pass for it.
#include "engine/registry.h"

#include <QtTest>

#include <memory>

// The record's destructor lives with the engine's start-up; the registry
// needs nothing of it.
wkeViewState::~wkeViewState() = default;

class TestWebviewRegistry : public QObject {
    Q_OBJECT
private slots:
    void viewsAreFoundWhileRegistered();
    void aReusedAddressGetsANewId();
};

void TestWebviewRegistry::viewsAreFoundWhileRegistered()
{
    auto first = std::make_unique<wkeViewState>();
    auto second = std::make_unique<wkeViewState>();
    engine::registerView(first.get());
    engine::registerView(second.get());
    QVERIFY(first->id != 0);
    QVERIFY(second->id != first->id);
    QCOMPARE(engine::liveView(first.get()), first.get());
    QCOMPARE(engine::viewById(second->id), second.get());
    QCOMPARE(engine::liveViews(), (std::vector<wkeViewState*>{first.get(), second.get()}));
    QCOMPARE(engine::liveView(nullptr), nullptr);

    engine::unregisterView(first.get());
    QCOMPARE(engine::liveView(first.get()), nullptr);
    QCOMPARE(engine::viewById(first->id), nullptr);
    QCOMPARE(engine::viewById(0), nullptr);
    QCOMPARE(engine::liveViews(), std::vector<wkeViewState*>{second.get()});
    engine::unregisterView(second.get());
    QVERIFY(engine::liveViews().empty());
}

void TestWebviewRegistry::aReusedAddressGetsANewId()
{
    // The same record registered again stands for a view made where the old
    // one was freed: it is live again, under an id the old one never had.
    wkeViewState view;
    engine::registerView(&view);
    const quint64 oldId = view.id;
    engine::unregisterView(&view);
    engine::registerView(&view);
    QCOMPARE(engine::liveView(&view), &view);
    QVERIFY(view.id > oldId);
    QCOMPARE(engine::viewById(oldId), nullptr);
    QCOMPARE(engine::viewById(view.id), &view);
    engine::unregisterView(&view);
}

QTEST_GUILESS_MAIN(TestWebviewRegistry)
#include "test_webview_registry.moc"
