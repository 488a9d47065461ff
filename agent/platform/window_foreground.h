// Brings the agent's visible windows (its panels) in front and gives one of them the focus.
// The window manager may decline to move the focus; nothing is shown that was hidden.
#pragma once

#include "ports/foreground.h"

namespace qv {

class WindowForeground : public Foreground {
  public:
    void activate() override;
};

}  // namespace qv
