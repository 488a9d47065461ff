// The texts beside and over the tray icon: the label with its width guide, and the tooltip.
#include <gtest/gtest.h>

#include "core/status_title.h"
#include "core/tray_label.h"

using namespace qv;

namespace {

TEST(TrayLabel, IsTheMarkAndTheElapsedTimeWithAGuideOfZeros) {
    struct Case {
        double seconds;
        const char* label;
        const char* guide;
    };
    const Case cases[] = {
        {0, " \u25CF 0:00", " \u25CF 0:00"},
        {5, " \u25CF 0:05", " \u25CF 0:00"},
        {59, " \u25CF 0:59", " \u25CF 0:00"},
        {61, " \u25CF 1:01", " \u25CF 0:00"},
        {599.99, " \u25CF 9:59", " \u25CF 0:00"},
        {600, " \u25CF 10:00", " \u25CF 00:00"},
        {3599.9, " \u25CF 59:59", " \u25CF 00:00"},
        {3600, " \u25CF 1:00:00", " \u25CF 0:00:00"},
        {37230, " \u25CF 10:20:30", " \u25CF 00:00:00"},
    };
    for (const Case& c : cases) {
        const TrayLabel got = trayLabel(elapsedText(c.seconds));
        EXPECT_EQ(got.label.toStdString(), c.label) << c.seconds;
        EXPECT_EQ(got.guide.toStdString(), c.guide) << c.seconds;
        // The guide is as long as the label, so a host that sizes from it never cuts the label.
        EXPECT_EQ(got.guide.size(), got.label.size()) << c.seconds;
    }
}

TEST(TrayLabel, IsEmptyWhenNotRecording) {
    EXPECT_EQ(trayLabel(QString()), TrayLabel{});
    EXPECT_TRUE(trayLabel(QString()).guide.isEmpty());
}

TEST(TrayToolTip, NamesTheAgentAndWhileRecordingTheTime) {
    EXPECT_EQ(trayToolTip(QString()), "Quorvia");
    EXPECT_EQ(trayToolTip("0:05"), "Quorvia \u25CF 0:05");
    EXPECT_EQ(trayToolTip("1:00:00"), "Quorvia \u25CF 1:00:00");
}

}  // namespace
