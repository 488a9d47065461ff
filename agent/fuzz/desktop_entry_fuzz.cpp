// Other applications' desktop entries: any file either gives an entry or none, and the agent's
// own autostart entry made from any installed entry starts the agent and nothing else.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "fuzz_world.h"
#include "platform/desktop_entries.h"
#include "platform/xdg_autostart.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/qv-fuzz-XXXXXX"));
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString path = dir.filePath(QStringLiteral("org.example.App.desktop"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        file.write(bytes);
    }
    if (const auto entry = qv::DesktopEntries::parse(path, QStringLiteral("org.example.App"),
                                                     QStringLiteral("de_DE"))) {
        if (entry->id != QLatin1String("org.example.App") || entry->path != path)
            qv::fuzz::broken();
    }

    const QString program = QStringLiteral("/opt/quorvia/bin/quorvia");
    const QString autostart = qv::autostartEntryFrom(QString::fromUtf8(bytes), program);
    if (autostart.isEmpty()) return 0;
    // Its [Desktop Entry] group starts the agent: exactly one Exec line there, this one.
    const QString exec = QStringLiteral("Exec=") + qv::desktopExecArgument(program);
    bool inEntry = false;
    int execs = 0;
    for (const QString& line : autostart.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1Char('['))) inEntry = trimmed == "[Desktop Entry]";
        // Only "key=value" lines are keys: a bare "Exec" is not one.
        if (!inEntry || !trimmed.startsWith(QLatin1String("Exec"))) continue;
        if (!trimmed.contains(QLatin1Char('='))) continue;
        const QString key = trimmed.section(QLatin1Char('='), 0, 0).trimmed();
        if (key != QLatin1String("Exec")) continue;
        ++execs;
        if (trimmed != exec) qv::fuzz::broken();
    }
    if (execs != 1) qv::fuzz::broken();
    return 0;
}
