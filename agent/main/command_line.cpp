#include "main/command_line.h"

#include <cstdio>

namespace qv {

namespace {

constexpr int kUsageErrorStatus = 2;
constexpr int kNoDisplayStatus = 1;

bool isHelp(const QString& arg) {
    return arg == QLatin1String("--help") || arg == QLatin1String("-h");
}

void print(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

// The arguments after the program name, as the locale's text.
QStringList argumentsOf(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    return args;
}

std::optional<int> answer(const CommandLine& line) {
    switch (line.action) {
        case CommandLine::Action::Help:
            print(stdout, usageText());
            return 0;
        case CommandLine::Action::Version:
            print(stdout, versionText());
            return 0;
        case CommandLine::Action::Error:
            print(stderr,
                  QStringLiteral("quorvia: %1\nTry 'quorvia --help' for more information.\n")
                      .arg(line.message));
            return kUsageErrorStatus;
        case CommandLine::Action::Run:
            break;
    }
    return std::nullopt;
}

}  // namespace

CommandLine parseCommandLine(const QStringList& args) {
    for (const QString& arg : args) {
        if (isHelp(arg)) return {CommandLine::Action::Help, {}};
        if (arg == QLatin1String("--version")) return {CommandLine::Action::Version, {}};
    }
    if (args.isEmpty()) return {};
    const QString& first = args.first();
    const QString message = first.startsWith(QLatin1Char('-'))
                                ? QStringLiteral("unknown option '%1'").arg(first)
                                : QStringLiteral("unexpected argument '%1'").arg(first);
    return {CommandLine::Action::Error, message};
}

QString usageText() {
    return QStringLiteral(
        "Usage: quorvia [--help | --version]\n"
        "\n"
        "Quorvia's tray agent: keeps the local backend running, shows its recording state in\n"
        "the tray, offers to record calls and reminds you of calendar meetings. A second start\n"
        "asks the running agent to open the home page in the browser.\n"
        "\n"
        "  -h, --help     show this help and exit\n"
        "      --version  show the version and exit\n"
        "\n"
        "Qt's own options (such as -platform NAME) are accepted. See quorvia(1).\n");
}

QString versionText() {
    return QStringLiteral("quorvia " QV_VERSION "\n");
}

std::optional<QString> missingDisplay(const QProcessEnvironment& env, const QStringList& args) {
    for (const char* name : {"WAYLAND_DISPLAY", "DISPLAY", "QT_QPA_PLATFORM"}) {
        if (!env.value(QLatin1String(name)).isEmpty()) return std::nullopt;
    }
    // Qt reads -platform and --platform alike.
    for (const QString& arg : args) {
        if (arg == QLatin1String("-platform") || arg == QLatin1String("--platform"))
            return std::nullopt;
    }
    return QStringLiteral(
        "no graphical session to show the tray icon in (neither WAYLAND_DISPLAY nor DISPLAY is "
        "set); start quorvia from a desktop session");
}

std::optional<int> handleCommandLineBeforeQt(int argc, char** argv) {
    const QStringList args = argumentsOf(argc, argv);
    const CommandLine line = parseCommandLine(args);
    // Other arguments may be Qt's own: only Qt can tell, once it runs.
    if (line.action == CommandLine::Action::Help || line.action == CommandLine::Action::Version)
        return answer(line);
    if (const auto why = missingDisplay(QProcessEnvironment::systemEnvironment(), args)) {
        print(stderr, QStringLiteral("quorvia: %1\n").arg(*why));
        return kNoDisplayStatus;
    }
    return std::nullopt;
}

std::optional<int> handleCommandLineAfterQt(const QStringList& arguments) {
    return answer(parseCommandLine(arguments.mid(1)));
}

}  // namespace qv
