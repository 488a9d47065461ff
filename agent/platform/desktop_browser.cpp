#include "platform/desktop_browser.h"

#include <QDesktopServices>

namespace qv {

void DesktopBrowser::open(const QUrl& url) {
    QDesktopServices::openUrl(url);
}

}  // namespace qv
