// The agent's command line. The agent itself takes no arguments: `--help` and `--version` print
// and exit, Qt's own options (-platform NAME, ...) are Qt's, and anything else is an error.
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <optional>

namespace qv {

struct CommandLine {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    QString message;  // for Error: what was wrong, as one line
};

// Reads the arguments after the program name. The first --help (or -h) or --version decides,
// wherever it stands; otherwise the first other argument is an error; none means Run.
CommandLine parseCommandLine(const QStringList& args);

// The texts for --help and --version, each ending in a newline.
QString usageText();
QString versionText();

// Why no graphical session can be reached, or nothing: neither a Wayland nor an X11 display is
// named, and neither the environment nor the arguments choose a Qt platform themselves.
std::optional<QString> missingDisplay(const QProcessEnvironment& env, const QStringList& args);

// Before Qt starts, so that it works without a display: answers --help and --version, and
// refuses to start without a graphical session. Returns the exit status when the process is done.
std::optional<int> handleCommandLineBeforeQt(int argc, char** argv);

// Once Qt has taken its own options out of `arguments` (QCoreApplication::arguments()): what is
// left is an error. Returns the exit status when the process is done.
std::optional<int> handleCommandLineAfterQt(const QStringList& arguments);

}  // namespace qv
