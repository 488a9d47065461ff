// A private X server (Xvfb) for one test, on a display number it picks itself. No Qt, so
// both programs' tests can use it. The server is killed when the object goes away.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace qv::test {

class Xvfb {
  public:
    // `extraArgs` go to Xvfb as they stand (for example {"-extension", "MIT-SHM"} to run
    // without that extension).
    explicit Xvfb(int width = 1280, int height = 800, int depth = 24,
                  const std::vector<std::string>& extraArgs = {});
    ~Xvfb();
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;

    bool running() const { return !display_.empty(); }
    // ":N", for DISPLAY.
    const std::string& display() const { return display_; }

  private:
    pid_t pid_ = -1;
    std::string display_;
};

}  // namespace qv::test
