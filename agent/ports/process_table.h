// The system's process table, as far as the call watcher needs it. Main thread only.
#pragma once

#include <cstdint>

namespace qv {

class ProcessTable {
  public:
    virtual ~ProcessTable() = default;
    // The parent of `pid`; 0 when there is no such process (or it cannot be read).
    virtual int32_t parentPid(int32_t pid) = 0;
};

}  // namespace qv
