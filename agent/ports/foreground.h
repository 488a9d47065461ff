// Bringing the agent in front of other applications, as before asking the user something.
#pragma once

namespace qv {

class Foreground {
  public:
    virtual ~Foreground() = default;
    // Raises and activates the agent's visible windows, if it has any; nothing otherwise.
    // Main thread.
    virtual void activate() = 0;
};

}  // namespace qv
