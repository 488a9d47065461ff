// Opens URLs with the user's default handler (the web browser for http pages).
#pragma once

#include <QString>
#include <QUrl>

namespace qv {

class Browser {
  public:
    virtual ~Browser() = default;
    // Hands a valid URL to the desktop; the outcome is not reported. Main thread.
    virtual void open(const QUrl& url) = 0;
};

// Opens a page of the backend's web interface, WEB + "/" + path, in `browser`; a string that is
// not a valid URL (a meeting id with characters a URL cannot hold) opens nothing.
void openWeb(Browser& browser, const QString& path);

}  // namespace qv
