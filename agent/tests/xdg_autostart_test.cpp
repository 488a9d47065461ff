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

TEST(XdgAutostart, TheInstalledEntryLiesWhereTheInstallLayoutPutsItBesideTheProgram) {
    EXPECT_EQ(XdgAutostart::installedEntryFor("/usr/bin/quorvia"),
              "/usr/share/applications/com.lumaret.quorvia.desktop");
    EXPECT_EQ(XdgAutostart::installedEntryFor("/opt/q v/bin/quorvia"),
              "/opt/q v/share/applications/com.lumaret.quorvia.desktop");
}

TEST(XdgAutostart, EnableWritesTheInstalledEntryMadeToStartThisProgram) {
    QTemporaryDir home;
    const QString installed = home.path() + "/installed.desktop";
    const QByteArray text =
        "[Desktop Entry]\nType=Application\nName=Quorvia\nName[de]=Quorvia\n"
        "Icon=com.lumaret.quorvia\nExec=quorvia\nStartupWMClass=com.lumaret.quorvia\n";
    write(installed, text);
    XdgAutostart login(home.path() + "/config", "/opt/q/bin/quorvia", installed);
    login.enable();
    EXPECT_TRUE(login.enabled());
    EXPECT_EQ(read(login.entryPath()),
              qv::autostartEntryFrom(QString::fromUtf8(text), "/opt/q/bin/quorvia"));
    EXPECT_TRUE(read(login.entryPath()).contains("\nName[de]=Quorvia\n"));

    // Without an installed entry it writes one of its own, which starts the program too.
    QFile::remove(installed);
    login.enable();
    EXPECT_TRUE(login.enabled());
    const QString own = read(login.entryPath());
    EXPECT_TRUE(own.startsWith("[Desktop Entry]\n")) << own.toStdString();
    for (const char* line : {"\nType=Application\n", "\nName=Quorvia\n",
                             "\nExec=/opt/q/bin/quorvia\n", "\nIcon=com.lumaret.quorvia\n"})
        EXPECT_TRUE(own.contains(line)) << line;
}

TEST(XdgAutostart, TheAutostartEntryStartsTheProgramAndKeepsEverythingElse) {
    struct Case {
        const char* name;
        const char* installed;
        const char* autostart;
    };
    const Case cases[] = {
        {"plain", "[Desktop Entry]\nName=Quorvia\nExec=quorvia\nIcon=q\n",
         "[Desktop Entry]\nName=Quorvia\nExec=/opt/q/bin/quorvia\nIcon=q\n"
         "X-GNOME-Autostart-enabled=true\n"},
        {"switched_off_hidden_tryexec",
         "[Desktop Entry]\nName=Q\nTryExec=quorvia\nExec = quorvia %U\nHidden=true\n"
         "X-GNOME-Autostart-enabled=false\n",
         "[Desktop Entry]\nName=Q\nExec=/opt/q/bin/quorvia\nX-GNOME-Autostart-enabled=true\n"},
        {"other_groups_and_comments",
         "# made by hand\n[Desktop Entry]\n# Exec=old\nName=Q\nExec=quorvia\n\n"
         "[Desktop Action new]\nExec=quorvia --new\nHidden=true\n",
         "# made by hand\n[Desktop Entry]\n# Exec=old\nName=Q\nExec=/opt/q/bin/quorvia\n"
         "X-GNOME-Autostart-enabled=true\n\n[Desktop Action new]\nExec=quorvia --new\n"
         "Hidden=true\n"},
        {"no_exec_no_final_newline", "[Desktop Entry]\nName=Q",
         "[Desktop Entry]\nName=Q\nExec=/opt/q/bin/quorvia\nX-GNOME-Autostart-enabled=true\n"},
        {"no_main_group", "[Desktop Action x]\nExec=quorvia\n", ""},
        // A line without "=" is no key, whatever it begins with: the one Exec key stays ours.
        {"main_group_twice",
         "[Desktop Entry]\nName=Q\nExec=quorvia\n[Desktop Action x]\nExec=x\n"
         "[Desktop Entry]\nExec=other\nHidden=true\nIcon=q\n",
         "[Desktop Entry]\nName=Q\nExec=/opt/q/bin/quorvia\nX-GNOME-Autostart-enabled=true\n"
         "[Desktop Action x]\nExec=x\n[Desktop Entry]\nIcon=q\n"},
        {"main_group_twice_exec_only_in_the_second",
         "[Desktop Entry]\nName=Q\n[Desktop Entry]\nExec=other\n",
         "[Desktop Entry]\nName=Q\nExec=/opt/q/bin/quorvia\nX-GNOME-Autostart-enabled=true\n"
         "[Desktop Entry]\n"},
        {"bare_exec_line", "[Desktop Entry]\nExec=quorvia %U\nExec\nName=Q\n",
         "[Desktop "
         "Entry]\nExec=/opt/q/bin/quorvia\nExec\nName=Q\nX-GNOME-Autostart-enabled=true\n"},
        {"empty", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(qv::autostartEntryFrom(c.installed, "/opt/q/bin/quorvia").toStdString(),
                  c.autostart)
            << c.name;
    }
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
        XdgAutostart login(home.path(), "/usr/bin/quorvia", home.path() + "/no-entry.desktop");
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
