#include "platform/desktop_browser.h"

#include <unistd.h>

#include <QDebug>
#include <QDesktopServices>
#include <QProcess>

namespace qv {

DesktopBrowser::DesktopBrowser(Settled settled) : settled_(std::move(settled)) {}

void DesktopBrowser::logUnopened(const QUrl& url, bool opened) {
    if (opened) return;
    qWarning().noquote() << QStringLiteral("no browser could be opened: open %1 in one")
                                .arg(url.toString(QUrl::FullyEncoded));
}

void DesktopBrowser::open(const QUrl& url) {
    // Not parented: an opener still running when the agent quits is neither waited for nor
    // killed, and its own session keeps the terminal's Ctrl+C from the browser it starts.
    auto* opener = new QProcess();
    opener->setProcessChannelMode(QProcess::ForwardedChannels);
    opener->setChildProcessModifier([] { ::setsid(); });
    const Settled settled = settled_;
    QObject::connect(opener, &QProcess::finished, opener,
                     [opener, settled, url](int code, QProcess::ExitStatus status) {
                         settled(url, status == QProcess::NormalExit && code == 0);
                         opener->deleteLater();
                     });
    QObject::connect(opener, &QProcess::errorOccurred, opener,
                     [opener, settled, url](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart) return;
                         // No xdg-open: Qt's opener, which answers at once.
                         settled(url, QDesktopServices::openUrl(url));
                         opener->deleteLater();
                     });
    opener->start(QStringLiteral("xdg-open"), {url.toString(QUrl::FullyEncoded)});
}

}  // namespace qv
