// Remembers things done once per login session of the user, across restarts of the agent
// within that session. Main thread only.
#pragma once

#include <QString>

namespace qv {

class OncePerLogin {
  public:
    virtual ~OncePerLogin() = default;
    // Whether `what` was marked done in this login session.
    virtual bool done(const QString& what) const = 0;
    // Marks `what` done until the session ends. A failure to remember is silent: at worst the
    // thing is done again at the next start.
    virtual void markDone(const QString& what) = 0;
};

}  // namespace qv
