// The XDG autostart entry, in a temporary config home.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/xdg_autostart.h"

using qv::XdgAutostart;

namespace {

QString read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

void write(const QString& path, const QByteArray& text) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

TEST(XdgAutostart, EnableWritesAnEntryThatStartsThisProgramAndDisableRemovesIt) {
    QTemporaryDir home;
    XdgAutostart login(home.path() + "/config", "/opt/quorvia/bin/quorvia");
    EXPECT_FALSE(login.enabled());
    EXPECT_EQ(login.entryPath(), home.path() + "/config/autostart/com.lumaret.quorvia.desktop");

    login.enable();
    EXPECT_TRUE(login.enabled());
    const QString text = read(login.entryPath());
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(text.contains("\nType=Application\n"));
    EXPECT_TRUE(text.contains("\nExec=/opt/quorvia/bin/quorvia\n"));

    login.disable();
    EXPECT_FALSE(login.enabled());
    EXPECT_FALSE(QFile::exists(login.entryPath()));
    login.disable();  // nothing left to remove: still quietly off
    EXPECT_FALSE(login.enabled());
}

TEST(XdgAutostart, AnEntrySwitchedOffReadsAsDisabledUntilEnabledAgain) {
    struct Case {
        const char* text;
        bool enabled;
    };
    const Case cases[] = {
        {"[Desktop Entry]\nType=Application\nExec=quorvia\n", true},
        {"[Desktop Entry]\nType=Application\nHidden=true\nExec=quorvia\n", false},
        {"[Desktop Entry]\nHidden = true\n", false},
        {"[Desktop Entry]\nHidden=false\n", true},
        {"[Desktop Entry]\nX-GNOME-Autostart-enabled=false\n", false},
        {"[Desktop Entry]\nX-GNOME-Autostart-enabled=true\n", true},
        // Keys of other groups and comments say nothing about the entry.
        {"[Desktop Entry]\nExec=quorvia\n[Desktop Action x]\nHidden=true\n", true},
        {"[Desktop Entry]\n# Hidden=true\n", true},
    };
    for (const Case& c : cases) {
        QTemporaryDir home;
        XdgAutostart login(home.path(), "/usr/bin/quorvia");
        ASSERT_TRUE(QDir().mkpath(home.path() + "/autostart"));
        write(login.entryPath(), c.text);
        EXPECT_EQ(login.enabled(), c.enabled) << c.text;
        login.enable();
        EXPECT_TRUE(login.enabled()) << c.text;
        EXPECT_FALSE(read(login.entryPath()).contains("Hidden")) << c.text;
    }
}

TEST(XdgAutostart, AConfigHomeThatCannotHoldTheEntryFailsSilently) {
    QTemporaryDir home;
    write(home.path() + "/config", "a file where the folder should be");
    XdgAutostart login(home.path() + "/config", "/usr/bin/quorvia");
    login.enable();
    EXPECT_FALSE(login.enabled());
}

TEST(XdgAutostart, ExecQuotesAndEscapesThePath) {
    const std::pair<const char*, const char*> cases[] = {
        {"/usr/bin/quorvia", "/usr/bin/quorvia"},
        {"/home/a b/quorvia", "\"/home/a b/quorvia\""},
        {"/home/100%/quorvia", "/home/100%%/quorvia"},
        {"/home/$USER/quorvia", "\"/home/\\\\$USER/quorvia\""},
        {"/home/a\"b/quorvia", "\"/home/a\\\\\"b/quorvia\""},
        {"/home/a\\b/quorvia", "\"/home/a\\\\\\\\b/quorvia\""},
        {"/home/o'neil/quorvia", "\"/home/o'neil/quorvia\""},
    };
    for (const auto& [path, exec] : cases) {
        EXPECT_EQ(qv::desktopExecArgument(path).toStdString(), exec) << path;
    }
}

}  // namespace
