#include "vnc_server.h"

#include "child_process.h"

namespace hc::test {

namespace {

bool onPath(const std::string& program) {
    return runCommand("command -v " + program + " >/dev/null").status == 0;
}

}  // namespace

std::string VncServer::missingTools() {
    std::string missing;
    if (!onPath("Xtigervnc")) missing += "Xtigervnc (tigervnc-standalone-server) ";
    if (!onPath("xrandr")) missing += "xrandr (x11-xserver-utils) ";
    return missing.empty() ? "" : "not installed: " + missing;
}

VncServer::VncServer(int width, int height)
    : server_("Xtigervnc",
              {"-geometry", std::to_string(width) + "x" + std::to_string(height), "-SecurityTypes",
               "None", "-localhost", "-rfbport", "-1", "-nolisten", "tcp"},
              20000, /*quiet=*/true) {}

bool VncServer::xrandr(const std::string& args) const {
    return runCommand("DISPLAY=" + display() + " xrandr " + args).status == 0;
}

}  // namespace hc::test
