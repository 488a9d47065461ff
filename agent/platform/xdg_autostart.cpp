#include "platform/xdg_autostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTextStream>

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

XdgAutostart::XdgAutostart(QString configHome, QString program)
    : configHome_(std::move(configHome)), program_(std::move(program)) {}

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
    QSaveFile file(entryPath());
    if (!file.open(QIODevice::WriteOnly)) return;
    QTextStream out(&file);
    out << "[Desktop Entry]\n"
        << "Type=Application\n"
        << "Name=Quorvia\n"
        << "Comment=Records your meetings and gets them minuted\n"
        << "Exec=" << desktopExecArgument(program_) << "\n"
        << "Terminal=false\n"
        << "X-GNOME-Autostart-enabled=true\n";
    out.flush();
    file.commit();
}

void XdgAutostart::disable() {
    QFile::remove(entryPath());
}

}  // namespace qv
