// A stand-in call application for tests and hand checks: one normal top-level window on the
// display in DISPLAY, and a capture stream from a child process (parecord) on the audio server
// the environment names. Commands, one per line on standard input:
//   capture DEVICE   start capturing from DEVICE (a source name) in a child process
//   end              end the capture (the child exits), keep the window
//   quit             end everything
// It answers each command with one line on standard output: "ready" once the window is mapped,
// "capturing PID" and "ended".
//
//   call_app WM_CLASS
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

namespace {

struct Disconnect {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> r(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr),
        &std::free);
    return r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
}

void setProperty(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property, xcb_atom_t type,
                 uint8_t format, uint32_t length, const void* data) {
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, property, type, format, length, data);
}

// A window as a toolkit makes one: class, process, host, a normal type, mapped.
bool openWindow(xcb_connection_t* c, const std::string& wmClass) {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t w = xcb_generate_id(c);
    const uint32_t background = screen->white_pixel;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, 40, 40, 480, 320, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL,
                      &background);
    const std::string classes = wmClass + '\0' + wmClass + '\0';
    setProperty(c, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, classes.size(), classes.data());
    const uint32_t pid = static_cast<uint32_t>(getpid());
    setProperty(c, w, atom(c, "_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    setProperty(c, w, XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING, 8, std::strlen(host), host);
    const xcb_atom_t normal = atom(c, "_NET_WM_WINDOW_TYPE_NORMAL");
    setProperty(c, w, atom(c, "_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, 1, &normal);
    setProperty(c, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, wmClass.size(), wmClass.data());
    xcb_map_window(c, w);
    std::unique_ptr<xcb_get_input_focus_reply_t, decltype(&std::free)> sync(
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr), &std::free);
    return sync != nullptr;
}

pid_t startCapture(const std::string& device) {
    const pid_t child = fork();
    if (child == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        const std::string arg = "--device=" + device;
        execlp("parecord", "parecord", arg.c_str(), "--raw", "/dev/null",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    return child;
}

void endCapture(pid_t& child) {
    if (child <= 0) return;
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    child = -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: call_app WM_CLASS\n");
        return 2;
    }
    std::unique_ptr<xcb_connection_t, Disconnect> c(xcb_connect(nullptr, nullptr));
    if (xcb_connection_has_error(c.get()) || !openWindow(c.get(), argv[1])) {
        std::fprintf(stderr, "call_app: no display\n");
        return 1;
    }
    std::cout << "ready" << std::endl;
    pid_t child = -1;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line.rfind("capture ", 0) == 0) {
            endCapture(child);
            child = startCapture(line.substr(8));
            std::cout << "capturing " << child << std::endl;
        } else if (line == "end") {
            endCapture(child);
            std::cout << "ended" << std::endl;
        } else if (line == "quit") {
            break;
        }
    }
    endCapture(child);
    return 0;
}
