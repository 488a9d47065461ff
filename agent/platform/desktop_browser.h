// Opens URLs with the desktop's default handler (xdg-open or the desktop portal, through Qt).
#pragma once

#include "core/browser.h"

namespace qv {

class DesktopBrowser : public Browser {
  public:
    void open(const QUrl& url) override;
};

}  // namespace qv
