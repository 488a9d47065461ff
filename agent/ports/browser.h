// Opens URLs with the user's default handler (the web browser for http pages).
#pragma once

#include <QUrl>

namespace qv {

class Browser {
  public:
    virtual ~Browser() = default;
    // Hands a valid URL to the desktop; the outcome is not reported. Main thread.
    virtual void open(const QUrl& url) = 0;
};

}  // namespace qv
