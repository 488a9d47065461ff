// The tray entry that follows the desktop's hosts: a StatusNotifierItem while a watcher runs,
// the embedded X11 icon otherwise, with the title and the menu carried over at each switch.
#include <gtest/gtest.h>

#include <memory>

#include "core/tray_switch.h"
#include "support/fake_clock.h"
#include "support/fake_tray.h"

using namespace qv;
using namespace qv::test;
using Kind = SwitchingStatusItem::Kind;

namespace {

// What happened to the entries, in order: "made notifier", "gone embedded", ...
struct Log {
    std::vector<std::string> events;
};

class LoggedItem : public StatusItem {
  public:
    LoggedItem(Log& log, std::string kind) : log_(log), kind_(std::move(kind)) {
        log_.events.push_back("made " + kind_);
    }
    ~LoggedItem() override { log_.events.push_back("gone " + kind_); }
    void setTitle(const QString& elapsed) override { titles << elapsed; }
    void setMenuSource(std::function<MenuRows()> rows) override { source = std::move(rows); }
    QStringList titles;
    std::function<MenuRows()> source;

  private:
    Log& log_;
    std::string kind_;
};

struct SwitchWorld {
    FakeTrayHosts hosts;
    FakeClock clock;
    Log log;
    LoggedItem* notifier = nullptr;
    LoggedItem* embedded = nullptr;
    bool notifierAvailable = true;
    bool embeddedAvailable = true;

    std::unique_ptr<SwitchingStatusItem> make() {
        return std::make_unique<SwitchingStatusItem>(
            hosts, clock,
            [this]() -> std::unique_ptr<StatusItem> {
                if (!notifierAvailable) return nullptr;
                auto item = std::make_unique<LoggedItem>(log, "notifier");
                notifier = item.get();
                return item;
            },
            [this]() -> std::unique_ptr<StatusItem> {
                if (!embeddedAvailable) return nullptr;
                auto item = std::make_unique<LoggedItem>(log, "embedded");
                embedded = item.get();
                return item;
            });
    }
};

MenuRows oneRow(const QString& title) {
    MenuRow row;
    row.title = title;
    return {row};
}

TEST(SwitchingStatusItem, StartsWithTheKindTheDesktopOffers) {
    struct Case {
        bool watcher, notifierAvailable, embeddedAvailable;
        Kind kind;
    };
    const Case cases[] = {
        {true, true, true, Kind::Notifier},
        {false, true, true, Kind::Embedded},
        {false, true, false, Kind::None},  // Wayland without XWayland, no panel with a watcher
        {true, false, true, Kind::None},   // a watcher, but the item could not go on the bus
    };
    for (const Case& c : cases) {
        SwitchWorld w;
        w.hosts.watcher = c.watcher;
        w.notifierAvailable = c.notifierAvailable;
        w.embeddedAvailable = c.embeddedAvailable;
        auto item = w.make();
        EXPECT_EQ(item->kind(), c.kind) << c.watcher << c.notifierAvailable << c.embeddedAvailable;
        EXPECT_EQ(w.log.events.size(), c.kind == Kind::None ? 0u : 1u);
        // With nothing to show, the title is kept for later and nothing breaks.
        item->setTitle("0:05");
    }
}

TEST(SwitchingStatusItem, AWatcherThatAppearsReplacesTheEmbeddedIconAndGetsTitleAndMenu) {
    SwitchWorld w;
    auto item = w.make();
    ASSERT_EQ(item->kind(), Kind::Embedded);
    item->setMenuSource([] { return oneRow("Open Quorvia"); });
    item->setTitle("0:05");

    w.hosts.setWatcher(true);
    EXPECT_EQ(item->kind(), Kind::Notifier);
    // The old icon is gone before the new entry exists: never two icons at once.
    EXPECT_EQ(w.log.events,
              (std::vector<std::string>{"made embedded", "gone embedded", "made notifier"}));
    ASSERT_TRUE(w.notifier->source);
    EXPECT_EQ(w.notifier->source().at(0).title, "Open Quorvia");
    EXPECT_EQ(w.notifier->titles, QStringList{"0:05"});

    item->setTitle("0:06");
    EXPECT_EQ(w.notifier->titles, (QStringList{"0:05", "0:06"}));
}

TEST(SwitchingStatusItem, AnEntryThatCouldNotBeMadeIsTriedAgainAtTheNextChange) {
    SwitchWorld w;
    w.hosts.watcher = true;
    w.notifierAvailable = false;
    auto item = w.make();
    item->setTitle("0:07");
    EXPECT_EQ(item->kind(), Kind::None);
    w.notifierAvailable = true;
    w.hosts.setWatcher(true);  // a new watcher took the name
    EXPECT_EQ(item->kind(), Kind::Notifier);
    EXPECT_EQ(w.notifier->titles, QStringList{"0:07"});
}

TEST(SwitchingStatusItem, AWatcherGoneForLongerThanTheGraceGivesWayToTheEmbeddedIcon) {
    SwitchWorld w;
    w.hosts.watcher = true;
    auto item = w.make();
    item->setTitle("1:00:00");
    w.hosts.setWatcher(false);
    w.clock.advance(SwitchingStatusItem::kWatcherGraceSeconds - 0.1);
    EXPECT_EQ(item->kind(), Kind::Notifier);
    w.clock.advance(0.1);
    EXPECT_EQ(item->kind(), Kind::Embedded);
    EXPECT_EQ(w.embedded->titles, QStringList{"1:00:00"});

    // And back when a watcher starts again.
    w.hosts.setWatcher(true);
    EXPECT_EQ(item->kind(), Kind::Notifier);
    EXPECT_EQ(w.log.events,
              (std::vector<std::string>{"made notifier", "gone notifier", "made embedded",
                                        "gone embedded", "made notifier"}));
}

TEST(SwitchingStatusItem, APanelThatRestartsKeepsTheSameNotifierEntry) {
    SwitchWorld w;
    w.hosts.watcher = true;
    auto item = w.make();
    LoggedItem* first = w.notifier;
    // The old watcher's name goes, a new one takes it a moment later.
    w.hosts.setWatcher(false);
    w.clock.advance(1.0);
    w.hosts.setWatcher(true);
    w.clock.advance(10 * SwitchingStatusItem::kWatcherGraceSeconds);
    EXPECT_EQ(item->kind(), Kind::Notifier);
    EXPECT_EQ(w.notifier, first);
    EXPECT_EQ(w.log.events, std::vector<std::string>{"made notifier"});
}

TEST(SwitchingStatusItem, AGraceTimerOvertakenByLaterChangesDoesNothing) {
    SwitchWorld w;
    w.hosts.watcher = true;
    auto item = w.make();
    w.hosts.setWatcher(false);  // grace timer 1
    w.clock.advance(2.0);
    w.hosts.setWatcher(true);
    w.hosts.setWatcher(false);  // grace timer 2, due 3 s from now
    w.clock.advance(1.5);       // timer 1 falls due: it must not switch early
    EXPECT_EQ(item->kind(), Kind::Notifier);
    w.clock.advance(1.5);
    EXPECT_EQ(item->kind(), Kind::Embedded);
}

TEST(SwitchingStatusItem, OutlivedTimersAndHostsDoNotReachAGoneItem) {
    SwitchWorld w;
    w.hosts.watcher = true;
    auto item = w.make();
    EXPECT_TRUE(w.hosts.listening());
    w.hosts.setWatcher(false);
    item.reset();
    EXPECT_FALSE(w.hosts.listening());
    w.clock.advance(10);  // the grace timer fires with the item gone
    EXPECT_EQ(w.log.events, (std::vector<std::string>{"made notifier", "gone notifier"}));
}

}  // namespace
