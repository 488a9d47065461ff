// The agent's tray entry as the logic drives it. Main thread only.
#pragma once

#include <QString>

namespace qv {

class StatusItem {
  public:
    virtual ~StatusItem() = default;
    // The recording title: the elapsed time while recording, empty otherwise.
    virtual void setTitle(const QString& elapsed) = 0;
};

}  // namespace qv
