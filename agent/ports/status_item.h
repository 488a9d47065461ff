// The agent's tray entry as the logic drives it. Main thread only.
#pragma once

#include <QString>
#include <functional>

#include "ports/menu_model.h"

namespace qv {

class StatusItem {
  public:
    virtual ~StatusItem() = default;
    // The recording title: the elapsed time while recording, empty otherwise.
    virtual void setTitle(const QString& elapsed) = 0;
    // Where the menu's rows come from: called each time the menu is about to open, on the
    // main thread; the rows then shown are exactly the ones returned.
    virtual void setMenuSource(std::function<MenuRows()> rows) = 0;
};

}  // namespace qv
