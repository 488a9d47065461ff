// A private Xtigervnc for one test: an X server that, unlike Xvfb, follows RandR requests
// (`xrandr -s`, `xrandr --setmonitor`). Picks its own display number, listens on no network
// port, and is killed when the object goes away.
#pragma once

#include <string>

#include "support/xvfb.h"

namespace hc::test {

class VncServer {
  public:
    // Whether Xtigervnc and xrandr are installed; a test without them skips with this reason.
    static std::string missingTools();

    VncServer(int width, int height);
    VncServer(const VncServer&) = delete;
    VncServer& operator=(const VncServer&) = delete;

    bool running() const { return server_.running(); }
    const std::string& display() const { return server_.display(); }
    // Runs xrandr with `args` on this display; true when it succeeded.
    bool xrandr(const std::string& args) const;

  private:
    qv::test::XServer server_;
};

}  // namespace hc::test
