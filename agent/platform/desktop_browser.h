// Opens URLs with the desktop's default handler: `xdg-open` (the freedesktop way, which works
// on any display server, and headless too), or Qt's own opener where xdg-open is missing.
#pragma once

#include "core/browser.h"

namespace qv {

class DesktopBrowser : public Browser {
  public:
    void open(const QUrl& url) override;
};

}  // namespace qv
