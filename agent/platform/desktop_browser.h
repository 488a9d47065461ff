// Opens URLs with the desktop's default handler: `xdg-open` (the freedesktop way, which works
// on any display server, and headless too), or Qt's own opener where xdg-open is missing. When
// neither takes the URL (no browser on a fresh machine, a session without a desktop), the user
// is told the address to open. Main thread.
#pragma once

#include <QUrl>
#include <functional>

#include "ports/browser.h"

namespace qv {

class DesktopBrowser : public Browser {
  public:
    // Told of every URL once its opener is done: `opened` false when no browser took it.
    using Settled = std::function<void(const QUrl& url, bool opened)>;

    // By default a URL no browser took is named on the log, one line.
    explicit DesktopBrowser(Settled settled = logUnopened);
    // Returns at once; xdg-open runs on in its own session (a browser it starts in the
    // foreground outlives the agent).
    void open(const QUrl& url) override;

    static void logUnopened(const QUrl& url, bool opened);

  private:
    Settled settled_;
};

}  // namespace qv
