// Private X servers for one test, each on a display number it picks itself. No Qt, so both
// programs' tests can use them. A server is killed when its object goes away.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace qv::test {

// Any X server that takes "-displayfd": started with `args` after that option, and waited for
// (at most `waitMs`) until it writes the display number it accepts clients on. `quiet` sends
// its output to /dev/null.
class XServer {
  public:
    XServer(const std::string& program, const std::vector<std::string>& args, int waitMs,
            bool quiet = false);
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool running() const { return !display_.empty(); }
    // ":N", for DISPLAY.
    const std::string& display() const { return display_; }

  private:
    pid_t pid_ = -1;
    std::string display_;
};

class Xvfb : public XServer {
  public:
    // `extraArgs` go to Xvfb as they stand (for example {"-extension", "MIT-SHM"} to run
    // without that extension).
    explicit Xvfb(int width = 1280, int height = 800, int depth = 24,
                  const std::vector<std::string>& extraArgs = {});
};

}  // namespace qv::test
