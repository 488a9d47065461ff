// Linux desktops do not gate calendar access: there is never anything to ask.
#pragma once

#include "ports/permissions.h"

namespace qv {

class UngatedCalendarAccess : public CalendarAccess {
  public:
    bool undetermined() const override { return false; }
    void requestFullAccess() override {}
};

}  // namespace qv
