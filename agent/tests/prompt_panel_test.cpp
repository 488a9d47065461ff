// The prompt panel on the offscreen platform: placement, one at a time, time-out, buttons.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "support/qt_wait.h"
#include "ui/floating_panel.h"
#include "ui/panel_parts.h"
#include "ui/prompt_panel.h"
#include "ui/window_hints.h"

using namespace qv;
using qv::test::waitFor;

namespace {

TEST(PanelPlacement, TopRightOfTheAvailableAreaOrOfTheFallbackArea) {
    struct Case {
        std::optional<QRect> area;
        QSize size;
        QPoint origin;
    };
    const Case cases[] = {
        {std::nullopt, {370, 128}, {1054, 12}},
        {std::nullopt, {452, 112}, {972, 12}},
        {QRect(0, 0, 1920, 1080), {370, 128}, {1534, 12}},
        // A panel bar along the top, and a screen right of another one.
        {QRect(0, 32, 1920, 1048), {370, 128}, {1534, 44}},
        {QRect(1920, 0, 1280, 1024), {370, 128}, {2814, 12}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(panelOrigin(c.area, c.size), c.origin) << c.origin.x() << "," << c.origin.y();
    }
}

// A prompt and a record of which callbacks ran.
struct PromptWorld {
    NullWindowHints hints;
    PromptPanel prompt{hints};
    QStringList ran;

    // Closed panels go by deferred deletion; they must not linger into the next test, where
    // their windows going away would close that test's popups.
    ~PromptWorld() {
        prompt.close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void show(const QString& title, double seconds = 40) {
        prompt.show(
            title, "subtitle", "Open", "Close", [this, title] { ran << title + ":primary"; },
            [this, title] { ran << title + ":secondary"; }, seconds);
    }
    template <typename T>
    T* child(const char* name) const {
        return prompt.panel() ? prompt.panel()->findChild<T*>(name) : nullptr;
    }
};

TEST(PromptPanel, AppearsAtTheTopRightOfThePrimaryScreenAtItsSize) {
    PromptWorld w;
    w.show("Zoom is using your microphone");
    ASSERT_TRUE(w.prompt.visible());
    FloatingPanel* panel = w.prompt.panel();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isVisible());
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(panel->geometry(), QRect(panelOrigin(area, {370, 128}), QSize(370, 128)));
    EXPECT_TRUE(panel->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(panel->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(panel->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_EQ(w.child<ElidedLabel>("title")->text(), "Zoom is using your microphone");
    EXPECT_EQ(w.child<QPushButton>("primary")->text(), "Open");
    EXPECT_EQ(w.child<QPushButton>("secondary")->text(), "Close");
}

TEST(PromptPanel, ANewPromptHidesTheOldOneWhoseButtonsAndTimeOutAreGone) {
    PromptWorld w;
    w.show("first", 0.2);
    QPointer<FloatingPanel> first = w.prompt.panel();
    QPointer<QPushButton> firstButton = w.child<QPushButton>("primary");
    w.show("second", 30);
    EXPECT_TRUE(first.isNull() || !first->isVisible());
    ASSERT_TRUE(w.prompt.visible());
    EXPECT_EQ(w.child<ElidedLabel>("title")->text(), "second");
    // The old panel goes with the next deferred deletions; its time-out has been cancelled.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    EXPECT_TRUE(firstButton.isNull());
    qv::test::spin(400);
    EXPECT_TRUE(w.prompt.visible());
    EXPECT_TRUE(w.ran.isEmpty());
}

TEST(PromptPanel, TheTimeOutClosesItWithoutRunningACallback) {
    PromptWorld w;
    w.show("late", 0.1);
    QPointer<FloatingPanel> panel = w.prompt.panel();
    EXPECT_TRUE(waitFor([&] { return !w.prompt.visible(); }));
    EXPECT_TRUE(panel.isNull() || !panel->isVisible());
    EXPECT_TRUE(w.ran.isEmpty());
}

TEST(PromptPanel, AClickClosesThePromptBeforeItsCallbackRuns) {
    struct Case {
        const char* button;
        QString ran;
    };
    for (const Case& c : {Case{"primary", "offer:primary"}, Case{"secondary", "offer:secondary"}}) {
        PromptWorld w;
        bool visibleDuringCallback = true;
        w.prompt.show(
            "offer", "s", "Record this meeting", "Not now",
            [&] {
                visibleDuringCallback = w.prompt.visible();
                w.ran << "offer:primary";
            },
            [&] {
                visibleDuringCallback = w.prompt.visible();
                w.ran << "offer:secondary";
            });
        QPointer<FloatingPanel> panel = w.prompt.panel();
        QTest::mouseClick(w.child<QPushButton>(c.button), Qt::LeftButton);
        EXPECT_EQ(w.ran, QStringList{c.ran});
        EXPECT_FALSE(visibleDuringCallback);
        EXPECT_FALSE(w.prompt.visible());
        EXPECT_TRUE(panel.isNull() || !panel->isVisible());
    }
}

TEST(PromptPanel, ACallbackThatShowsANewPromptLeavesItVisible) {
    PromptWorld w;
    w.prompt.show(
        "Zoom is using your microphone", "", "Record this meeting", "Not now",
        [&] { w.show("Could not start recording."); }, [] {});
    QTest::mouseClick(w.child<QPushButton>("primary"), Qt::LeftButton);
    ASSERT_TRUE(w.prompt.visible());
    EXPECT_TRUE(w.prompt.panel()->isVisible());
    EXPECT_EQ(w.child<ElidedLabel>("title")->text(), "Could not start recording.");
    qv::test::spin(50);  // the replaced panel's deferred deletion must not touch the new one
    EXPECT_TRUE(w.prompt.visible());
    EXPECT_TRUE(w.prompt.panel()->isVisible());
}

TEST(PromptPanel, ReturnPressesThePrimaryButtonAndEscapeOnlyCloses) {
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        PromptWorld w;
        w.show("offer");
        QTest::keyClick(w.prompt.panel(), key);
        EXPECT_EQ(w.ran, QStringList{"offer:primary"});
        EXPECT_FALSE(w.prompt.visible());
    }
    // Return on the focused secondary button still means the primary answer.
    PromptWorld w;
    w.show("offer");
    QTest::keyClick(w.child<QPushButton>("secondary"), Qt::Key_Return);
    EXPECT_EQ(w.ran, QStringList{"offer:primary"});

    PromptWorld e;
    e.show("offer");
    QTest::keyClick(e.prompt.panel(), Qt::Key_Escape);
    EXPECT_FALSE(e.prompt.visible());
    EXPECT_TRUE(e.ran.isEmpty());
}

TEST(PromptPanel, CloseHidesWithoutCallbacksAndAWindowCloseCountsAsClose) {
    PromptWorld w;
    w.show("offer");
    w.prompt.close();
    EXPECT_FALSE(w.prompt.visible());
    w.prompt.close();  // nothing left to close
    w.show("again");
    w.prompt.panel()->close();  // as the window manager does
    EXPECT_FALSE(w.prompt.visible());
    EXPECT_TRUE(w.ran.isEmpty());
}

TEST(PromptPanel, LongTextsAreCutAtTheEndAndThePanelKeepsItsSize) {
    PromptWorld w;
    const QString longTitle = QString("Quarterly planning with the whole team ").repeated(4);
    w.prompt.show(
        longTitle, QString("A very long explanation ").repeated(6), "Open meeting", "Close", [] {},
        [] {});
    FloatingPanel* panel = w.prompt.panel();
    EXPECT_EQ(panel->size(), QSize(370, 128));
    for (const char* name : {"title", "subtitle"}) {
        auto* label = w.child<ElidedLabel>(name);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->width(), 290);
        EXPECT_TRUE(label->shownText().endsWith(QChar(0x2026))) << name;
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->shownText()), 290) << name;
        EXPECT_EQ(label->toolTip(), label->text()) << name;
    }
    // Text that fits is shown whole, with no tooltip.
    w.show("Short");
    EXPECT_EQ(w.child<ElidedLabel>("title")->shownText(), "Short");
    EXPECT_TRUE(w.child<ElidedLabel>("title")->toolTip().isEmpty());
}

TEST(PromptPanel, CaptionsAndTextsAreShownAsTheyStand) {
    PromptWorld w;
    w.prompt.show(
        "<b>Q&A</b>", "a & b", "Save & open", "Close", [] {}, [] {});
    EXPECT_EQ(w.child<ElidedLabel>("title")->shownText(), "<b>Q&A</b>");
    // A single '&' would mark a mnemonic; the button shows it as itself.
    EXPECT_EQ(w.child<QPushButton>("primary")->text(), "Save && open");
}

}  // namespace
