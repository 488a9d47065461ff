// The meeting card on the offscreen platform: size and place, texts, the main control and the
// "More" menu, one card at a time, the time-out, and the brief.
#include <gtest/gtest.h>

#include <QAction>
#include <QGuiApplication>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include "support/fake_clock.h"
#include "support/fake_services.h"
#include "support/qt_wait.h"
#include "ui/app_icon.h"
#include "ui/card_parts.h"
#include "ui/floating_panel.h"
#include "ui/meeting_card_panel.h"
#include "ui/panel_parts.h"
#include "ui/window_hints.h"

using namespace qv;
using namespace qv::test;

namespace {

// 09:30 UTC; the card's calendar shows it as 10:30.
const double kStart = QDateTime::fromString("2026-12-09T09:30:00Z", Qt::ISODate).toSecsSinceEpoch();
const LocalCalendar kCalendar{QTimeZone(3600), QLocale(QLocale::German, QLocale::Germany)};

struct CardWorld {
    NullWindowHints hints;
    FakeClock clock{kStart - 90};
    FakeInstalledApps apps;
    MeetingCardPanel card{hints, clock, apps, kCalendar};
    QStringList ran;
    QTemporaryDir dir;

    ~CardWorld() {
        card.close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // A card; `joinable` gives it a join action. Each callback notes its name and whether the
    // card was still visible when it ran.
    void show(const QString& title, bool joinable = true, const QString& brief = "",
              const QString& service = "zoom", double seconds = 150,
              std::optional<double> end = kStart + 2700) {
        auto note = [this, title](const char* what) {
            return [this, title, what] {
                ran << title + ":" + what + (card.visible() ? " (card visible)" : "");
            };
        };
        card.show(title, kStart, end, "#1E90FF", service, brief, note("joinRecord"), note("record"),
                  joinable ? std::function<void()>(note("join")) : nullptr, note("open"), seconds);
    }
    template <typename T>
    T* child(const char* name) const {
        return card.panel() ? card.panel()->findChild<T*>(name) : nullptr;
    }
    QString text(const char* name) const {
        auto* label = child<ElidedLabel>(name);
        return label ? label->text() : QString("<no %1>").arg(name);
    }
    // The "More" menu's entries as "tag:title".
    QStringList menuEntries() const {
        QStringList out;
        for (QAction* a : card.moreMenu()->actions()) {
            out << QString("%1:%2").arg(a->property("qvCardTag").toInt()).arg(a->text());
        }
        return out;
    }
    void choose(const QString& entry) {
        for (QAction* a : card.moreMenu()->actions()) {
            if (a->text() == entry) {
                a->trigger();
                return;
            }
        }
        ADD_FAILURE() << "no entry " << entry.toStdString();
    }
    // A file icon of one colour, as an application's Icon may name.
    QString iconFile(const QColor& colour) {
        QImage image(64, 64, QImage::Format_ARGB32);
        image.fill(colour);
        const QString path = dir.filePath(colour.name().mid(1) + ".png");
        image.save(path);
        return path;
    }
};

TEST(MeetingCardPanel, SizeAndPlaceWithAndWithoutABrief) {
    for (const auto& [brief, height] : {std::pair{"", 112}, std::pair{"Agenda", 168}}) {
        CardWorld w;
        w.show("Stand-up", true, brief);
        FloatingPanel* panel = w.card.panel();
        ASSERT_NE(panel, nullptr);
        EXPECT_TRUE(panel->isVisible());
        EXPECT_TRUE(panel->testAttribute(Qt::WA_ShowWithoutActivating));
        EXPECT_TRUE(panel->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        EXPECT_EQ(panel->geometry(), QRect(panelOrigin(area, {452, height}), QSize(452, height)));
        EXPECT_EQ(w.child<RoundedBox>("briefBox") != nullptr, *brief != 0);
        // Without a screen: 16 from the right and 12 below the top of a 1440 x 900 area, that
        // is (972, 776) or (972, 720) counted from the bottom left.
        const QPoint origin = panelOrigin(std::nullopt, {452, height});
        EXPECT_EQ(origin.x(), 972);
        EXPECT_EQ(900 - origin.y() - height, height == 112 ? 776 : 720);
    }
}

TEST(MeetingCardPanel, TheCountdownIsComputedOnceAtShowing) {
    const std::pair<double, const char*> cases[] = {
        {0, "Starting now"},     {-300, "Starting now"},  {0.5, "Starts in 1 min"},
        {60, "Starts in 1 min"}, {61, "Starts in 2 min"},
    };
    for (const auto& [ahead, countdown] : cases) {
        CardWorld w;
        w.clock.set(kStart - ahead);
        w.show("Stand-up");
        EXPECT_EQ(w.text("header"), QString("Quorvia  \u00B7  ") + countdown) << ahead;
    }
    CardWorld w;
    w.clock.set(kStart - 61);
    w.show("Stand-up");
    w.clock.advance(120);
    w.card.panel()->repaint();
    EXPECT_EQ(w.text("header"), "Quorvia  \u00B7  Starts in 2 min");
}

TEST(MeetingCardPanel, TitleTimeAndColour) {
    CardWorld w;
    w.show("<b>Design & review</b>");
    EXPECT_EQ(w.text("title"), "<b>Design & review</b>");  // shown as it stands
    EXPECT_EQ(w.text("time"), "10:30 \u2013 11:15");
    EXPECT_EQ(w.child<RoundedBox>("colourBar")->fill(),
              QColor::fromRgbF(30 / 255.0, 144 / 255.0, 1));
    w.show("No end", true, "", "zoom", 150, std::nullopt);
    EXPECT_EQ(w.text("time"), "10:30");
}

TEST(MeetingCardPanel, CaptionAndIconFollowTheServiceAndWhetherItCanBeJoined) {
    struct Case {
        const char* service;
        bool joinable;
        const char* first;
        const char* second;
        bool serviceIcon;  // else the agent's own
    };
    const Case cases[] = {
        {"teams", true, "Join Teams", "& record", true},
        {"Zoom", true, "Join call", "& record", true},  // keys are exact: the browser's icon
        {"teams", false, "Record", "this meeting", false},
    };
    for (const Case& c : cases) {
        CardWorld w;
        w.apps.apps.insert("teams", w.iconFile(Qt::red));
        w.apps.handlers.insert("https", w.iconFile(Qt::green));
        w.show("Stand-up", c.joinable, "", c.service);
        EXPECT_EQ(w.text("caption"), c.first) << c.service;
        EXPECT_EQ(w.text("caption2"), c.second) << c.service;
        auto* icon = w.child<IconView>("serviceIcon");
        ASSERT_NE(icon, nullptr);
        EXPECT_EQ(icon->size(), QSize(30, 30));
        const QColor centre = icon->grab().toImage().pixelColor(15, 15);
        const QColor expected = !c.serviceIcon                  ? QColor()
                                : QString(c.service) == "teams" ? QColor(Qt::red)
                                                                : QColor(Qt::green);
        if (c.serviceIcon) {
            EXPECT_EQ(centre, expected) << c.service;
        } else {
            EXPECT_EQ(icon->icon().pixmap(30).toImage(), applicationIcon().pixmap(30).toImage());
            EXPECT_TRUE(w.apps.asked.isEmpty());  // no lookup for a card that cannot join
        }
    }
}

TEST(MeetingCardPanel, MenuEntriesAndTheirActions) {
    struct Case {
        bool joinable;
        const char* entry;
        QStringList entries;
        QString ran;
    };
    const QStringList joinable = {"0:Record without joining", "1:Join without recording",
                                  "2:Open in Quorvia", "3:Not now"};
    const QStringList recordOnly = {"0:Open in Quorvia", "1:Not now"};
    const Case cases[] = {
        {true, "Record without joining", joinable, "c:record"},
        {true, "Join without recording", joinable, "c:join"},
        {true, "Open in Quorvia", joinable, "c:open"},
        {true, "Not now", joinable, ""},
        {false, "Open in Quorvia", recordOnly, "c:open"},
        {false, "Not now", recordOnly, ""},
    };
    for (const Case& c : cases) {
        CardWorld w;
        w.show("c", c.joinable);
        EXPECT_EQ(w.menuEntries(), c.entries);
        w.choose(c.entry);
        EXPECT_FALSE(w.card.visible()) << c.entry;
        EXPECT_EQ(w.ran, c.ran.isEmpty() ? QStringList{} : QStringList{c.ran}) << c.entry;
    }
}

TEST(MeetingCardPanel, TheMainButtonClosesTheCardThenJoinsAndRecordsOrRecords) {
    for (const auto& [joinable, ran] :
         {std::pair{true, "c:joinRecord"}, std::pair{false, "c:record"}}) {
        CardWorld w;
        w.show("c", joinable);
        auto* main = w.child<QPushButton>("main");
        ASSERT_NE(main, nullptr);
        EXPECT_EQ(main->geometry(), QRect(0, 0, 142, 56));
        // A click on the caption lands on the button lying over it.
        const QPoint onCaption = w.child<ElidedLabel>("caption")->geometry().center();
        EXPECT_EQ(main->parentWidget()->childAt(onCaption), main);
        QTest::mouseClick(main, Qt::LeftButton, {}, onCaption);
        EXPECT_EQ(w.ran, QStringList{ran});
        EXPECT_FALSE(w.card.visible());
    }
    // Return presses it too.
    CardWorld w;
    w.show("c");
    QTest::keyClick(w.card.panel(), Qt::Key_Return);
    EXPECT_EQ(w.ran, QStringList{"c:joinRecord"});
}

TEST(MeetingCardPanel, TheCloseButtonEscapeAndTheTimeOutOnlyClose) {
    {
        CardWorld w;
        w.show("c");
        QTest::mouseClick(w.child<QPushButton>("close"), Qt::LeftButton);
        EXPECT_FALSE(w.card.visible());
    }
    {
        CardWorld w;
        w.show("c");
        QTest::keyClick(w.card.panel(), Qt::Key_Escape);
        EXPECT_FALSE(w.card.visible());
        EXPECT_TRUE(w.ran.isEmpty());
    }
    CardWorld w;
    w.show("c", true, "", "zoom", 0.1);
    QPointer<FloatingPanel> panel = w.card.panel();
    EXPECT_TRUE(waitFor([&] { return !w.card.visible(); }));
    EXPECT_TRUE(panel.isNull() || !panel->isVisible());
    EXPECT_TRUE(w.ran.isEmpty());
}

TEST(MeetingCardPanel, MoreOpensTheMenuJustBelowItsButton) {
    CardWorld w;
    w.show("c");
    auto* more = w.child<QPushButton>("more");
    ASSERT_NE(more, nullptr);
    EXPECT_EQ(more->geometry(), QRect(142, 0, 34, 56));
    QTest::mouseClick(more, Qt::LeftButton);
    QMenu* menu = w.card.moreMenu();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    EXPECT_EQ(menu->pos().y(), more->mapToGlobal(QPoint(0, more->height() + 2)).y());
    EXPECT_EQ(menu->activeAction(), nullptr);  // nothing chosen beforehand
    EXPECT_TRUE(w.ran.isEmpty());
    w.choose("Join without recording");
    EXPECT_EQ(w.ran, QStringList{"c:join"});
    EXPECT_FALSE(menu->isVisible());
}

TEST(MeetingCardPanel, ANewCardReplacesTheOldOneWhoseControlsRunNothing) {
    CardWorld w;
    w.show("old", true, "", "zoom", 0.2);
    QPointer<FloatingPanel> old = w.card.panel();
    QPointer<QMenu> oldMenu = w.card.moreMenu();
    QPointer<QAction> oldRecord = oldMenu->actions()[0];  // tag 0, as the new card's "Open"
    QTest::mouseClick(w.child<QPushButton>("more"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(oldMenu));
    w.show("new", false);
    EXPECT_TRUE(old.isNull() || !old->isVisible());
    EXPECT_FALSE(oldMenu->isVisible());  // an open menu of the old card goes with it
    ASSERT_TRUE(w.card.visible());
    // Before the old card's widgets are gone, its menu entry no longer reaches anything.
    if (oldRecord) oldRecord->trigger();
    EXPECT_TRUE(w.ran.isEmpty());
    EXPECT_TRUE(w.card.visible());
    EXPECT_EQ(w.menuEntries(), (QStringList{"0:Open in Quorvia", "1:Not now"}));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(old.isNull());
    EXPECT_TRUE(oldMenu.isNull());
    spin(400);  // the old card's time-out has gone with it
    EXPECT_TRUE(w.card.visible());
}

TEST(MeetingCardPanel, AnActionThatShowsANewCardLeavesItVisible) {
    CardWorld w;
    w.card.show(
        "first", kStart, std::nullopt, "", "", "", [] {}, [&] { w.show("second"); }, nullptr,
        [] {});
    QTest::mouseClick(w.child<QPushButton>("main"), Qt::LeftButton);
    ASSERT_TRUE(w.card.visible());
    EXPECT_EQ(w.text("title"), "second");
    spin(50);
    EXPECT_TRUE(w.card.visible());
    EXPECT_TRUE(w.card.panel()->isVisible());
}

TEST(MeetingCardPanel, TheBriefShowsTwoLinesAtMostWithItsBoldRuns) {
    CardWorld w;
    w.show("c", true, "Agenda: **budget** and **hiring**");
    auto* brief = w.child<BriefLabel>("brief");
    ASSERT_NE(brief, nullptr);
    EXPECT_EQ(brief->geometry(), QRect(14, 6, 396, 38));
    EXPECT_EQ(brief->text(), "Agenda: budget and hiring");
    EXPECT_EQ(brief->shownLines(), QStringList{"Agenda: budget and hiring"});
    EXPECT_FALSE(brief->semiboldAt(0));
    EXPECT_TRUE(brief->semiboldAt(8));
    EXPECT_FALSE(brief->semiboldAt(14));
    EXPECT_TRUE(brief->semiboldAt(19));

    const QString longBrief =
        QString("Decide the **budget** for the next quarter and agree who joins the team. ")
            .repeated(4);
    w.show("c", true, longBrief);
    brief = w.child<BriefLabel>("brief");
    const QStringList lines = brief->shownLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(brief->text().startsWith(lines[0]));
    EXPECT_TRUE(lines[1].endsWith(QChar(0x2026)));
    EXPECT_EQ(w.card.panel()->height(), 168);

    // Line breaks break lines; markup other than "**" stays as it is.
    w.show("c", true, "# Goals\n- one *two*");
    EXPECT_EQ(w.child<BriefLabel>("brief")->shownLines(), (QStringList{"# Goals", "- one *two*"}));
}

}  // namespace
