// Whether the agent starts when the user logs in. Main thread only.
#pragma once

namespace qv {

class LoginItem {
  public:
    virtual ~LoginItem() = default;
    // Whether the agent is registered to start at login now.
    virtual bool enabled() const = 0;
    // Registers or unregisters the agent. A failure leaves the registration as it was and is
    // not reported: enabled() tells what came of it.
    virtual void enable() = 0;
    virtual void disable() = 0;
};

}  // namespace qv
