// Which Qt platform the agent runs on. In a Wayland session a client can neither place its
// windows nor keep them above others without taking focus, which the prompt and the meeting
// card need; where XWayland runs, the agent is an X11 client there and its windows behave as
// on X11. A platform the user chose (QT_QPA_PLATFORM) always wins. Decided before the
// application object exists.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <vector>

namespace qv {

struct PlatformChoice {
    QByteArray platform;  // for QT_QPA_PLATFORM; empty: leave Qt's own choice
    QString note;         // one line for the log; empty when there is nothing to say
};

// `env` reads an environment variable (empty when unset); `displayOpens` tells whether the X
// display (DISPLAY) accepts a connection, and is asked only in a Wayland session.
PlatformChoice choosePlatform(const std::function<QByteArray(const char*)>& env,
                              const std::function<bool()>& displayOpens);

// The choice for this process's session; writes its note to standard error.
PlatformChoice platformForThisSession();

// The command line Qt is given: the program's own, with "-platform NAME" added when a platform
// was chosen. The choice goes to Qt alone, not to the environment that the backend, the browser
// and every other program the agent starts would inherit. Keeps the strings alive for as long
// as the application object uses them.
class QtArguments {
  public:
    QtArguments(int argc, char** argv, const QByteArray& platform);
    int& argc() { return argc_; }
    char** argv() { return pointers_.data(); }

  private:
    std::vector<QByteArray> strings_;
    std::vector<char*> pointers_;
    int argc_ = 0;
};

}  // namespace qv
