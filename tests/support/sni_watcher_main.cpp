// sni_watcher: a StatusNotifierWatcher on the session bus that prints "registered SERVICE" for
// each item that registers, until it is terminated. For benchmarks and checks by hand.
#include <QCoreApplication>
#include <QDBusConnection>
#include <cstdio>

#include "support/sni_watcher.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    qv::test::SniWatcher watcher(QDBusConnection::sessionBus());
    if (!watcher.claimed()) {
        std::fprintf(stderr, "sni_watcher: could not claim org.kde.StatusNotifierWatcher\n");
        return 1;
    }
    QObject::connect(&watcher, &qv::test::SniWatcher::itemRegistered, [](const QString& s) {
        std::printf("registered %s\n", qPrintable(s));
        std::fflush(stdout);
    });
    std::printf("watching\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}
