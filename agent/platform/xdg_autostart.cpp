#include "platform/xdg_autostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "main/constants.h"

namespace qv {

namespace {

// Reads a key of the [Desktop Entry] group, or an empty string. Localised variants and other
// groups are skipped; the keys read here have none.
QString entryValue(const QString& text, const QString& key) {
    bool inMain = false;
    for (const QString& raw : text.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inMain = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inMain || line.startsWith(QLatin1Char('#'))) continue;
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq > 0 && line.left(eq).trimmed() == key) return line.mid(eq + 1).trimmed();
    }
    return QString();
}

}  // namespace

QString desktopExecArgument(const QString& program) {
    // Quoting rules of the Exec key: inside double quotes, '"', '`', '$' and '\' take a
    // backslash; '%' starts a field code anywhere and is doubled.
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool quote = false;
    QString arg;
    for (const QChar c : program) {
        if (reserved.contains(c)) quote = true;
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\')) {
            arg += QLatin1Char('\\');
        }
        arg += c == QLatin1Char('%') ? QStringLiteral("%%") : QString(c);
    }
    if (quote) arg = QLatin1Char('"') + arg + QLatin1Char('"');
    // The whole value is a desktop-entry string: backslashes and control characters escaped.
    QString value;
    for (const QChar c : arg) {
        if (c == QLatin1Char('\\'))
            value += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            value += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            value += QStringLiteral("\\t");
        else if (c == QLatin1Char('\r'))
            value += QStringLiteral("\\r");
        else
            value += c;
    }
    return value;
}

QString autostartEntryFrom(const QString& installed, const QString& program) {
    static const QStringList dropped = {QStringLiteral("TryExec"), QStringLiteral("Hidden"),
                                        QStringLiteral("X-GNOME-Autostart-enabled")};
    const QString exec = QStringLiteral("Exec=") + desktopExecArgument(program);
    QStringList out;
    // A [Desktop Entry] group that comes again is the same group to readers that merge them:
    // its Exec and switches are dropped there too, and the agent's lines go into the first.
    bool inMain = false, inFirstMain = false, sawMain = false, wroteExec = false;
    const auto closeMain = [&] {
        const bool first = inFirstMain;
        inMain = inFirstMain = false;
        if (!first) return;
        // Before the blank lines that part the group from the next one.
        qsizetype at = out.size();
        while (at > 0 && out[at - 1].trimmed().isEmpty()) --at;
        QStringList tail;
        if (!wroteExec) tail << exec;
        tail << QStringLiteral("X-GNOME-Autostart-enabled=true");
        for (const QString& line : tail) out.insert(at++, line);
        wroteExec = true;
    };
    QStringList lines = installed.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    for (const QString& line : lines) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1Char('['))) {
            closeMain();
            inMain = trimmed == QLatin1String("[Desktop Entry]");
            inFirstMain = inMain && !sawMain;
            sawMain = sawMain || inMain;
            out << line;
            continue;
        }
        const qsizetype eq = trimmed.indexOf(QLatin1Char('='));
        const QString key = eq > 0 ? trimmed.left(eq).trimmed() : QString();
        if (inMain && !trimmed.startsWith(QLatin1Char('#')) && dropped.contains(key)) continue;
        if (inMain && !trimmed.startsWith(QLatin1Char('#')) && key == QLatin1String("Exec")) {
            if (inFirstMain && !wroteExec) out << exec;
            wroteExec = wroteExec || inFirstMain;
            continue;
        }
        out << line;
    }
    closeMain();
    if (!sawMain) return QString();
    return out.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

XdgAutostart::XdgAutostart(QString configHome, QString program, QString installedEntry)
    : configHome_(std::move(configHome)),
      program_(std::move(program)),
      installedEntry_(installedEntry.isEmpty() ? installedEntryFor(program_)
                                               : std::move(installedEntry)) {}

QString XdgAutostart::installedEntryFor(const QString& program) {
    return QDir::cleanPath(QFileInfo(program).absolutePath() +
                           QStringLiteral("/" QV_DATA_FROM_BIN "/applications/") + APP_ID +
                           QStringLiteral(".desktop"));
}

QString XdgAutostart::defaultConfigHome() {
    const QString fromEnv = qEnvironmentVariable("XDG_CONFIG_HOME");
    // A relative path is invalid in the base-directory rules and ignored.
    if (!fromEnv.isEmpty() && QDir::isAbsolutePath(fromEnv)) return fromEnv;
    return QDir::homePath() + QStringLiteral("/.config");
}

QString XdgAutostart::defaultProgram() {
    return QCoreApplication::applicationFilePath();
}

QString XdgAutostart::entryPath() const {
    return configHome_ + QStringLiteral("/autostart/") + APP_ID + QStringLiteral(".desktop");
}

bool XdgAutostart::enabled() const {
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QString text = QString::fromUtf8(file.readAll());
    if (entryValue(text, QStringLiteral("Hidden")) == QLatin1String("true")) return false;
    return entryValue(text, QStringLiteral("X-GNOME-Autostart-enabled")) != QLatin1String("false");
}

void XdgAutostart::enable() {
    if (!QDir().mkpath(configHome_ + QStringLiteral("/autostart"))) return;
    QString text;
    QFile installed(installedEntry_);
    if (installed.open(QIODevice::ReadOnly))
        text = autostartEntryFrom(QString::fromUtf8(installed.readAll()), program_);
    if (text.isEmpty()) {
        // Run from somewhere without its desktop entry: an entry of its own.
        text =
            autostartEntryFrom(QStringLiteral("[Desktop Entry]\n"
                                              "Type=Application\n"
                                              "Name=Quorvia\n"
                                              "Comment=Record your meetings and get them minuted\n"
                                              "Icon=") +
                                   APP_ID + QStringLiteral("\nTerminal=false\n"),
                               program_);
    }
    QSaveFile file(entryPath());
    if (!file.open(QIODevice::WriteOnly)) return;
    file.write(text.toUtf8());
    file.commit();
}

void XdgAutostart::disable() {
    QFile::remove(entryPath());
}

}  // namespace qv
