#include "platform/desktop_browser.h"

#include <QDesktopServices>
#include <QProcess>

namespace qv {

void DesktopBrowser::open(const QUrl& url) {
    // Detached: the browser outlives the agent, and the agent never waits for it.
    if (QProcess::startDetached(QStringLiteral("xdg-open"), {url.toString(QUrl::FullyEncoded)}))
        return;
    QDesktopServices::openUrl(url);
}

}  // namespace qv
