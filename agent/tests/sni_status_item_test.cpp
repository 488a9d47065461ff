// The StatusNotifierItem on a private session bus, read by a test watcher as a panel reads it:
// registration (also with a watcher that starts later or restarts), properties, the label and
// icon signals, and the menu over com.canonical.dbusmenu.
#include <gtest/gtest.h>

#include <QtEndian>
#include <memory>

#include "platform/sni_status_item.h"
#include "support/qt_wait.h"
#include "support/session_bus.h"
#include "support/sni_watcher.h"

using namespace qv;
using namespace qv::test;

namespace {

const QRgb kIdle = qRgb(0x11, 0x22, 0x33);
const QRgb kRecording = qRgb(0xEE, 0x10, 0x20);

SniOptions options() {
    return {
        .id = "com.lumaret.quorvia",
        .title = "Quorvia",
        .icon =
            [](int side, bool recording) {
                QImage image(side, side, QImage::Format_ARGB32);
                image.fill(recording ? kRecording : kIdle);
                image.setPixel(side - 1, side - 1, qRgba(0, 0, 0, 0));
                return image;
            },
        .iconName = "com.lumaret.quorvia-symbolic",
        .recordingIconName = "com.lumaret.quorvia-recording-symbolic",
        .iconThemePath = "/opt/quorvia/share/icons",
    };
}

// A private bus with the item on one connection and the panel's side on others.
struct BusWorld {
    SessionBus bus;
    QString prefix = QStringLiteral("sni-%1-").arg(quintptr(this));
    QDBusConnection itemBus = bus.connect(prefix + "item");
    QDBusConnection panelBus = bus.connect(prefix + "panel");
    int watchers = 0;
    QStringList connections{prefix + "item", prefix + "panel"};

    ~BusWorld() {
        for (const QString& name : connections) SessionBus::disconnect(name);
    }
    // A watcher on a connection of its own, as a panel process has.
    std::unique_ptr<SniWatcher> startWatcher() {
        const QString name = prefix + "watcher-" + QString::number(++watchers);
        connections << name;
        return std::make_unique<SniWatcher>(bus.connect(name));
    }
    // Ends a watcher as a panel that exits does: its connection goes away.
    void stopWatcher(std::unique_ptr<SniWatcher>& watcher) {
        watcher.reset();
        SessionBus::disconnect(prefix + "watcher-" + QString::number(watchers));
    }
};

TEST(SniStatusItem, RegistersWithTheWatcherUnderItsOwnNameAndDescribesItself) {
    BusWorld w;
    ASSERT_TRUE(w.bus.running());
    auto watcher = w.startWatcher();
    ASSERT_TRUE(watcher->claimed());
    SniStatusItem item(w.itemBus, options());
    ASSERT_TRUE(item.exported());
    ASSERT_TRUE(waitFor([&] { return !watcher->registrations.isEmpty(); }, 10000));
    EXPECT_EQ(watcher->registrations[0].service, item.serviceName());
    EXPECT_EQ(watcher->registrations[0].sender, w.itemBus.baseService());
    EXPECT_TRUE(item.serviceName().startsWith("org.kde.StatusNotifierItem-"));

    SniItemClient panel(w.panelBus, item.serviceName());
    const std::pair<const char*, QVariant> expected[] = {
        {"Category", "ApplicationStatus"},
        {"Id", "com.lumaret.quorvia"},
        {"Title", "Quorvia"},
        {"Status", "Active"},
        {"ItemIsMenu", true},
        {"IconName", "com.lumaret.quorvia-symbolic"},
        {"IconThemePath", "/opt/quorvia/share/icons"},
        {"XAyatanaLabel", ""},
        {"XAyatanaLabelGuide", ""},
        {"AttentionIconName", ""},
    };
    for (const auto& [name, value] : expected) EXPECT_EQ(panel.property(name), value) << name;
    EXPECT_EQ(panel.toolTipTitle(), "Quorvia");
}

TEST(SniStatusItem, IconPixmapsAreARGBInNetworkByteOrderAtThePanelSizes) {
    BusWorld w;
    SniStatusItem item(w.itemBus, options());
    SniItemClient panel(w.panelBus, item.serviceName());
    for (bool recording : {false, true}) {
        item.setTitle(recording ? "0:01" : "");
        const QList<Pixmap> pixmaps = panel.iconPixmap();
        ASSERT_EQ(pixmaps.size(), 5);
        const int sides[] = {16, 22, 24, 32, 48};
        for (int i = 0; i < 5; ++i) {
            const Pixmap& p = pixmaps[i];
            EXPECT_EQ(p.width, sides[i]);
            EXPECT_EQ(p.height, sides[i]);
            ASSERT_EQ(p.bytes.size(), sides[i] * sides[i] * 4);
            const QRgb colour = recording ? kRecording : kIdle;
            const auto* b = reinterpret_cast<const uchar*>(p.bytes.constData());
            // First pixel: alpha, red, green, blue.
            EXPECT_EQ(b[0], 0xFF);
            EXPECT_EQ(b[1], qRed(colour));
            EXPECT_EQ(b[2], qGreen(colour));
            EXPECT_EQ(b[3], qBlue(colour));
            // The last pixel is the transparent one.
            EXPECT_EQ(b[p.bytes.size() - 4], 0);
        }
    }
}

TEST(SniStatusItem, TheLabelCarriesTheElapsedTimeAndSignalsOnlyChanges) {
    BusWorld w;
    SniStatusItem item(w.itemBus, options());
    SniItemClient panel(w.panelBus, item.serviceName());

    item.setTitle("0:05");
    item.setTitle("0:05");  // the same title again: nothing to announce
    item.setTitle("0:06");
    item.setTitle("");
    ASSERT_TRUE(waitFor([&] { return panel.labels.size() >= 3; }, 10000));
    spin(200);  // nothing further may arrive
    EXPECT_EQ(panel.labels, (QStringList{" \u25CF 0:05", " \u25CF 0:06", ""}));
    EXPECT_EQ(panel.guides, (QStringList{" \u25CF 0:00", " \u25CF 0:00", ""}));
    // The icon changes when recording starts and when it ends, not on every tick.
    EXPECT_EQ(panel.newIcons, 2);
    EXPECT_EQ(panel.newToolTips, 3);

    item.setTitle("1:00:00");
    EXPECT_EQ(panel.property("XAyatanaLabel"), " \u25CF 1:00:00");
    EXPECT_EQ(panel.property("XAyatanaLabelGuide"), " \u25CF 0:00:00");
    EXPECT_EQ(panel.property("IconName"), "com.lumaret.quorvia-recording-symbolic");
    EXPECT_EQ(panel.toolTipTitle(), "Quorvia \u25CF 1:00:00");
}

TEST(SniStatusItem, APaletteChangeRedrawsTheIconAndTellsHosts) {
    BusWorld w;
    SniOptions o = options();
    QRgb colour = kIdle;
    o.icon = [&colour](int side, bool) {
        QImage image(side, side, QImage::Format_ARGB32);
        image.fill(colour);
        return image;
    };
    SniStatusItem item(w.itemBus, o);
    SniItemClient panel(w.panelBus, item.serviceName());
    ASSERT_EQ(uchar(panel.iconPixmap().at(0).bytes.at(1)), qRed(kIdle));

    colour = kRecording;  // the desktop switched to its dark colours, say
    QEvent change(QEvent::ApplicationPaletteChange);
    QCoreApplication::sendEvent(QCoreApplication::instance(), &change);
    ASSERT_TRUE(waitFor([&] { return panel.newIcons == 1; }, 10000));
    EXPECT_EQ(uchar(panel.iconPixmap().at(0).bytes.at(1)), qRed(kRecording));
}

TEST(SniStatusItem, RegistersWithAWatcherThatStartsLaterAndAgainAfterItRestarts) {
    BusWorld w;
    SniStatusItem item(w.itemBus, options());
    int registered = 0;
    QObject::connect(&item, &SniStatusItem::registered, [&] { ++registered; });
    spin(200);
    EXPECT_EQ(registered, 0);  // no watcher yet

    auto watcher = w.startWatcher();
    ASSERT_TRUE(waitFor([&] { return watcher->items.contains(item.serviceName()); }, 10000));
    ASSERT_TRUE(waitFor([&] { return registered == 1; }, 10000));

    w.stopWatcher(watcher);
    auto restarted = w.startWatcher();
    ASSERT_TRUE(restarted->claimed());
    ASSERT_TRUE(waitFor([&] { return restarted->items.contains(item.serviceName()); }, 10000));
    EXPECT_EQ(restarted->registrations.size(), 1);
    ASSERT_TRUE(waitFor([&] { return registered == 2; }, 10000));
}

TEST(SniStatusItem, AnItemThatGoesAwayLeavesTheWatchersList) {
    BusWorld w;
    auto watcher = w.startWatcher();
    auto item = std::make_unique<SniStatusItem>(w.itemBus, options());
    const QString name = item->serviceName();
    ASSERT_TRUE(waitFor([&] { return watcher->items.contains(name); }, 10000));
    item.reset();
    ASSERT_TRUE(waitFor([&] { return watcher->items.isEmpty(); }, 10000));
    // A new item on the same connection can take the object path again.
    SniStatusItem again(w.itemBus, options());
    EXPECT_TRUE(again.exported());
    EXPECT_NE(again.serviceName(), name);
}

MenuRows menuRows(int& opened, int& quits, bool& recording) {
    ++opened;
    MenuRows rows;
    rows.push_back(MenuRow{.title = "Open Quorvia", .key = "o"});
    rows.push_back(MenuRow::separator());
    rows.push_back(MenuRow{.title = recording ? "Stop recording" : "Record a meeting now",
                           .trigger = [&recording] { recording = !recording; }});
    rows.push_back(MenuRow{.title = "Quit Quorvia", .key = "q", .trigger = [&quits] { ++quits; }});
    return rows;
}

TEST(SniStatusItem, TheMenuIsServedOverDbusmenuAndRebuiltWhenAboutToShow) {
    BusWorld w;
    SniStatusItem item(w.itemBus, options());
    int opened = 0, quits = 0;
    bool recording = false;
    item.setMenuSource([&] { return menuRows(opened, quits, recording); });
    SniItemClient panel(w.panelBus, item.serviceName());
    EXPECT_EQ(panel.property("Menu").value<QDBusObjectPath>().path(), "/MenuBar");

    // A host that reads without AboutToShow still finds the rows.
    uint first = 0;
    const MenuEntry root = panel.layout(&first);
    EXPECT_EQ(root.childLabels(),
              (QStringList{"Open Quorvia", "---", "Record a meeting now", "Quit Quorvia"}));
    EXPECT_EQ(root.children[0].properties.value("shortcut").value<QList<QStringList>>(),
              QList<QStringList>{(QStringList{"Control", "o"})});
    EXPECT_EQ(opened, 1);
    // Group reads give the names asked for, of the items that exist.
    const auto group = panel.groupProperties({root.children[3].id, 9999}, {"label"});
    ASSERT_EQ(group.size(), 1);
    EXPECT_EQ(group[0].first, root.children[3].id);
    EXPECT_EQ(group[0].second, (QVariantMap{{"label", "Quit Quorvia"}}));

    // Choosing a row runs its action (once the call has returned), and the layout follows.
    const int toggle = root.children[2].id;
    EXPECT_EQ(panel.click(toggle), "");
    ASSERT_TRUE(waitFor([&] { return recording; }, 10000));
    ASSERT_TRUE(waitFor([&] { return !panel.layoutUpdates.isEmpty(); }, 10000));
    EXPECT_GT(panel.layoutUpdates.last(), first);

    const int updatesBefore = panel.layoutUpdates.size();
    const int openedBefore = opened;
    EXPECT_TRUE(panel.aboutToShow(0));
    EXPECT_EQ(opened, openedBefore + 1);
    ASSERT_TRUE(waitFor([&] { return panel.layoutUpdates.size() > updatesBefore; }, 10000));
    const MenuEntry now = panel.layout();
    EXPECT_EQ(now.childLabels(),
              (QStringList{"Open Quorvia", "---", "Stop recording", "Quit Quorvia"}));
    // Rows that stayed keep their ids; the quit row is still the quit row.
    EXPECT_EQ(now.children[0].id, root.children[0].id);
    EXPECT_EQ(now.children[3].id, root.children[3].id);
    // An id of a row that is gone reaches nothing, and says so.
    EXPECT_EQ(panel.click(toggle), "com.canonical.dbusmenu.UnknownId");
    EXPECT_EQ(panel.click(now.children[3].id), "");
    ASSERT_TRUE(waitFor([&] { return quits == 1; }, 10000));
    EXPECT_TRUE(recording);
}

}  // namespace
