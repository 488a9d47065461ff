// The agent's command line: what each form asks for, and when no display can be reached.
#include <gtest/gtest.h>

#include "main/command_line.h"

using qv::CommandLine;

namespace {

struct Case {
    QStringList args;
    CommandLine::Action action;
    QString message;
};

TEST(CommandLine, HelpAndVersionWinAndAnyOtherArgumentIsAnError) {
    using A = CommandLine::Action;
    const Case cases[] = {
        {{}, A::Run, {}},
        {{"--help"}, A::Help, {}},
        {{"-h"}, A::Help, {}},
        {{"--version"}, A::Version, {}},
        // The first of them decides, wherever it stands among others.
        {{"--version", "--help"}, A::Version, {}},
        {{"-platform", "offscreen", "--help"}, A::Help, {}},
        {{"stray", "--version"}, A::Version, {}},
        // Everything else is refused, naming the first argument.
        {{"--bogus"}, A::Error, "unknown option '--bogus'"},
        {{"-v"}, A::Error, "unknown option '-v'"},
        {{"--Help"}, A::Error, "unknown option '--Help'"},
        {{"--help=all"}, A::Error, "unknown option '--help=all'"},
        {{"start", "--bogus"}, A::Error, "unexpected argument 'start'"},
        {{""}, A::Error, "unexpected argument ''"},
    };
    for (const Case& c : cases) {
        const CommandLine line = qv::parseCommandLine(c.args);
        EXPECT_EQ(line.action, c.action) << c.args.join(' ').toStdString();
        EXPECT_EQ(line.message, c.message) << c.args.join(' ').toStdString();
    }
}

TEST(CommandLine, TextsNameTheProgramAndItsOptions) {
    EXPECT_EQ(qv::versionText(), QStringLiteral("quorvia " QV_VERSION "\n"));
    const QString usage = qv::usageText();
    EXPECT_TRUE(usage.startsWith("Usage: quorvia [--help | --version]\n"));
    EXPECT_TRUE(usage.contains("--help")) << usage.toStdString();
    EXPECT_TRUE(usage.contains("--version")) << usage.toStdString();
    EXPECT_TRUE(usage.endsWith('\n'));
}

TEST(CommandLine, ADisplayOrAChosenPlatformIsEnough) {
    struct DisplayCase {
        QList<QPair<QString, QString>> env;
        QStringList args;
        bool reachable;
    };
    const DisplayCase cases[] = {
        {{}, {}, false},
        {{{"DISPLAY", ":0"}}, {}, true},
        {{{"WAYLAND_DISPLAY", "wayland-0"}}, {}, true},
        {{{"QT_QPA_PLATFORM", "offscreen"}}, {}, true},
        {{}, {"-platform", "offscreen"}, true},
        {{}, {"--platform", "offscreen"}, true},
        // Set but empty names nothing; a session type alone names no display.
        {{{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}}, {}, false},
        {{{"XDG_SESSION_TYPE", "wayland"}}, {}, false},
        {{}, {"offscreen"}, false},
    };
    for (const DisplayCase& c : cases) {
        QProcessEnvironment env;
        for (const auto& [name, value] : c.env) env.insert(name, value);
        const auto why = qv::missingDisplay(env, c.args);
        EXPECT_EQ(!why.has_value(), c.reachable) << c.args.join(' ').toStdString();
        if (why) {
            EXPECT_TRUE(why->contains("DISPLAY"));
        }
    }
}

}  // namespace
