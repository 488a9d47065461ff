// What the agent says at start about the screen source and the tray host.
#include <gtest/gtest.h>

#include "main/startup_notes.h"

namespace {

TEST(StartupNotes, ScreenSourceFollowsTheSessionsVariables) {
    struct Case {
        QList<QPair<QString, QString>> env;
        QString note;
    };
    const Case cases[] = {
        {{{"DISPLAY", ":1"}}, "screen source: the X11 display :1"},
        // A Wayland session names the Wayland display, whatever XWayland adds.
        {{{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-0"}},
         "screen source: the Wayland session wayland-0, shared through the desktop's screen-cast "
         "portal"},
        {{{"DISPLAY", ":0"}, {"XDG_SESSION_TYPE", "wayland"}},
         "screen source: the Wayland session (no WAYLAND_DISPLAY), shared through the desktop's "
         "screen-cast portal"},
        {{{"XDG_SESSION_TYPE", "x11"}, {"DISPLAY", ":0"}}, "screen source: the X11 display :0"},
        {{}, "screen source: none, no display is named: recordings with the screen will fail"},
        {{{"DISPLAY", ""}},
         "screen source: none, no display is named: recordings with the screen will fail"},
    };
    for (const Case& c : cases) {
        QProcessEnvironment env;
        for (const auto& [name, value] : c.env) env.insert(name, value);
        EXPECT_EQ(qv::screenSourceNote(env).toStdString(), c.note.toStdString());
    }
}

TEST(StartupNotes, TrayNoteOnlyWhenNoHostShowsTheIcon) {
    EXPECT_EQ(qv::trayNote(true, true), std::nullopt);
    EXPECT_EQ(qv::trayNote(true, false),
              QString("no tray host yet: the tray icon appears when one starts"));
    const auto never = qv::trayNote(false, false);
    ASSERT_TRUE(never.has_value());
    EXPECT_TRUE(never->startsWith("no tray host: running without a tray icon"));
    EXPECT_TRUE(never->contains("http://localhost:8765/"));
    EXPECT_EQ(qv::trayNote(false, true), never);
}

}  // namespace
