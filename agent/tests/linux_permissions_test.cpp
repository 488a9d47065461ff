// The Linux permission adapter with a real audio server: the microphone state follows the
// server's capture sources (and the server's coming and going), and the settings program is
// picked by desktop.
#include <gtest/gtest.h>

#include "platform/linux_permissions.h"
#include "platform/pulse_connection.h"
#include "support/pulse_daemon.h"
#include "support/qt_wait.h"

using namespace qv;
using namespace qv::test;

namespace {

bool micIs(LinuxPermissions& p, MicAccess expected) {
    return waitFor([&] { return p.micAccess() == expected; }, 10000);
}

TEST(LinuxPermissions, MicrophoneIsGrantedOnlyWhileACaptureSourceThatIsNoMonitorExists) {
    PulseDaemon daemon;
    ASSERT_TRUE(daemon.start());
    daemon.use();
    PulseConnection audio("quorvia-test", 200);
    LinuxPermissions permissions(audio);
    ASSERT_TRUE(waitFor([&] { return audio.ready(); }, 10000));
    spin(300);  // the first source listing has come back: only the output's monitor
    EXPECT_EQ(permissions.micAccess(), MicAccess::Denied);

    const int mic = daemon.addMicrophone();
    ASSERT_GE(mic, 0);
    EXPECT_TRUE(micIs(permissions, MicAccess::Granted));
    daemon.removeModule(mic);
    EXPECT_TRUE(micIs(permissions, MicAccess::Denied));
}

TEST(LinuxPermissions, FollowsTheAudioServerGoingAwayAndComingBack) {
    PulseDaemon daemon;
    daemon.use();
    PulseConnection audio("quorvia-test", 200);
    LinuxPermissions permissions(audio);
    spin(500);
    EXPECT_FALSE(audio.ready());
    EXPECT_EQ(permissions.micAccess(), MicAccess::Denied);  // no audio server at all

    ASSERT_TRUE(daemon.start());
    ASSERT_GE(daemon.addMicrophone(), 0);
    EXPECT_TRUE(micIs(permissions, MicAccess::Granted));  // found in the background

    daemon.stop();
    EXPECT_TRUE(micIs(permissions, MicAccess::Denied));
    ASSERT_TRUE(daemon.start());
    ASSERT_GE(daemon.addMicrophone(), 0);
    EXPECT_TRUE(micIs(permissions, MicAccess::Granted));
}

TEST(LinuxPermissions, RequestingTheMicrophoneAnswersOnTheMainThreadWithoutAsking) {
    PulseDaemon daemon;
    daemon.use();  // no server: nothing to ask anyway
    PulseConnection audio("quorvia-test", 200);
    LinuxPermissions permissions(audio);
    bool answered = false;
    permissions.requestMicAccess([&] { answered = true; });
    EXPECT_FALSE(answered);  // later, from the event loop, like a real answer
    EXPECT_TRUE(waitFor([&] { return answered; }));
}

TEST(SoundInputSettings, PickedByDesktopAmongTheInstalledPrograms) {
    struct Case {
        QString desktop;
        QStringList installed;
        QStringList command;
    };
    const QStringList all = {"gnome-control-center", "systemsettings", "systemsettings5",
                             "pavucontrol"};
    const Case cases[] = {
        {"GNOME", all, {"gnome-control-center", "sound"}},
        {"ubuntu:GNOME", all, {"gnome-control-center", "sound"}},
        {"KDE", all, {"systemsettings", "kcm_pulseaudio"}},
        {"KDE", {"systemsettings5", "pavucontrol"}, {"systemsettings5", "kcm_pulseaudio"}},
        {"XFCE", all, {"pavucontrol", "--tab=4"}},
        {"", all, {"pavucontrol", "--tab=4"}},
        {"GNOME", {"pavucontrol"}, {"pavucontrol", "--tab=4"}},
        {"GNOME", {}, {}},
        {"XFCE", {"gnome-control-center", "systemsettings"}, {}},
    };
    for (const Case& c : cases) {
        const auto installed = [&](const QString& p) { return c.installed.contains(p); };
        EXPECT_EQ(soundInputSettingsCommand(c.desktop, installed), c.command)
            << c.desktop.toStdString() << " " << c.installed.join(',').toStdString();
    }
}

}  // namespace
