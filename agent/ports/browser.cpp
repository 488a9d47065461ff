#include "ports/browser.h"

#include "main/constants.h"

namespace qv {

void openWeb(Browser& browser, const QString& path) {
    const QUrl url(WEB + "/" + path, QUrl::StrictMode);
    if (!url.isValid()) return;
    browser.open(url);
}

}  // namespace qv
