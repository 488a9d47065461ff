// The X11 window list against a private X server: the test's own client makes the windows
// (and, where a case needs one, plays the window manager by keeping the client list).
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QByteArray>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "platform/window_list.h"
#include "support/qt_wait.h"
#include "support/xvfb.h"

using namespace qv;
using namespace qv::test;

namespace {

// The test's own X client.
class Client {
  public:
    explicit Client(const std::string& display) : c_(xcb_connect(display.c_str(), nullptr)) {
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
    }
    ~Client() { xcb_disconnect(c_); }
    bool ok() const { return !xcb_connection_has_error(c_); }
    xcb_window_t root() const { return root_; }

    struct Window {
        std::string wmClass;  // instance and class alike; none when empty
        int pid = 0;          // none when 0
        const char* type = nullptr;
        const char* state = nullptr;
        const char* machine = nullptr;
        bool overrideRedirect = false;
        bool mapped = true;
    };
    xcb_window_t make(const Window& wanted) {
        const xcb_window_t w = xcb_generate_id(c_);
        const uint32_t values[] = {wanted.overrideRedirect ? 1u : 0u};
        xcb_create_window(c_, XCB_COPY_FROM_PARENT, w, root_, 0, 0, 100, 100, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                          XCB_CW_OVERRIDE_REDIRECT, values);
        if (!wanted.wmClass.empty()) setClass(w, wanted.wmClass);
        if (wanted.pid) {
            const uint32_t pid = wanted.pid;
            xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, atom("_NET_WM_PID"),
                                XCB_ATOM_CARDINAL, 32, 1, &pid);
        }
        if (wanted.type) setAtom(w, "_NET_WM_WINDOW_TYPE", wanted.type);
        if (wanted.state) setAtom(w, "_NET_WM_STATE", wanted.state);
        if (wanted.machine) {
            xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLIENT_MACHINE,
                                XCB_ATOM_STRING, 8, std::strlen(wanted.machine), wanted.machine);
        }
        if (wanted.mapped) xcb_map_window(c_, w);
        sync();
        return w;
    }
    void setClass(xcb_window_t w, const std::string& name) {
        const std::string both = name + '\0' + name + '\0';
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                            both.size(), both.data());
        sync();
    }
    void setAtom(xcb_window_t w, const char* property, const char* value) {
        const xcb_atom_t a = atom(value);
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, atom(property), XCB_ATOM_ATOM, 32, 1, &a);
        sync();
    }
    void setWindows(xcb_window_t w, const char* property, std::vector<xcb_window_t> windows) {
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, atom(property), XCB_ATOM_WINDOW, 32,
                            windows.size(), windows.data());
        sync();
    }
    void remove(xcb_window_t w, const char* property) {
        xcb_delete_property(c_, w, atom(property));
        sync();
    }
    void map(xcb_window_t w) {
        xcb_map_window(c_, w);
        sync();
    }
    void destroy(xcb_window_t w) {
        xcb_destroy_window(c_, w);
        sync();
    }

  private:
    xcb_atom_t atom(const char* name) {
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> r(
            xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, std::strlen(name), name), nullptr),
            &std::free);
        return r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
    }
    void sync() { std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)); }

    xcb_connection_t* c_;
    xcb_window_t root_ = 0;
};

// Points DISPLAY at the test's server while it lives.
class DisplayFor {
  public:
    explicit DisplayFor(const std::string& display) : saved_(qgetenv("DISPLAY")) {
        qputenv("DISPLAY", QByteArray::fromStdString(display));
    }
    ~DisplayFor() { qputenv("DISPLAY", saved_); }

  private:
    QByteArray saved_;
};

const TopLevelWindow* byId(const WindowList& list, xcb_window_t id) {
    static WindowList::Snapshot kept;  // keeps the returned element alive
    kept = list.snapshot();
    for (const TopLevelWindow& w : *kept.windows)
        if (w.id == id) return &w;
    return nullptr;
}

bool listed(const WindowList& list, xcb_window_t id, bool wanted = true) {
    return waitFor([&] { return (byId(list, id) != nullptr) == wanted; }, 5000);
}

TEST(X11WindowList, WithoutAWindowManagerTheMappedTopLevelWindowsCount) {
    Xvfb x;
    ASSERT_TRUE(x.running());
    Client client(x.display());
    ASSERT_TRUE(client.ok());
    DisplayFor display(x.display());
    const std::unique_ptr<WindowList> list = makeWindowList();
    ASSERT_TRUE(list->available());

    const xcb_window_t caller =
        client.make({.wmClass = "Caller", .pid = 4242, .type = "_NET_WM_WINDOW_TYPE_NORMAL"});
    const xcb_window_t hidden = client.make({.wmClass = "Later", .pid = 4243, .mapped = false});
    const xcb_window_t popup =
        client.make({.wmClass = "Menu", .pid = 4244, .overrideRedirect = true});
    const xcb_window_t dock =
        client.make({.wmClass = "Panel", .pid = 4245, .type = "_NET_WM_WINDOW_TYPE_DOCK"});
    const xcb_window_t helper =
        client.make({.wmClass = "Helper", .pid = 4246, .state = "_NET_WM_STATE_SKIP_TASKBAR"});
    const xcb_window_t remote =
        client.make({.wmClass = "Remote", .pid = 4247, .machine = "elsewhere.invalid"});
    const xcb_window_t plain = client.make({.wmClass = "Plain"});
    const xcb_window_t dialog =
        client.make({.wmClass = "Dialog", .pid = 4248, .type = "_NET_WM_WINDOW_TYPE_DIALOG"});

    ASSERT_TRUE(listed(*list, dialog));
    const TopLevelWindow* w = byId(*list, caller);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(*w, (TopLevelWindow{caller, 4242, "Caller", "Caller", true}));
    EXPECT_FALSE(byId(*list, hidden));
    EXPECT_FALSE(byId(*list, popup));
    ASSERT_TRUE(byId(*list, dock));
    EXPECT_FALSE(byId(*list, dock)->normal);
    ASSERT_TRUE(byId(*list, helper));
    EXPECT_FALSE(byId(*list, helper)->normal);
    ASSERT_TRUE(byId(*list, remote));
    EXPECT_EQ(byId(*list, remote)->pid, 0) << "a process id of another machine means nothing";
    ASSERT_TRUE(byId(*list, plain));
    EXPECT_EQ(byId(*list, plain)->pid, 0);
    EXPECT_TRUE(byId(*list, plain)->normal);
    EXPECT_TRUE(byId(*list, dialog)->normal);

    // Changes are followed.
    const uint64_t before = list->snapshot().generation;
    client.setClass(caller, "Renamed");
    EXPECT_TRUE(waitFor([&] { return byId(*list, caller)->wmClass == "Renamed"; }, 5000));
    EXPECT_GT(list->snapshot().generation, before);
    client.map(hidden);
    EXPECT_TRUE(listed(*list, hidden));
    client.destroy(caller);
    EXPECT_TRUE(listed(*list, caller, false));
}

TEST(X11WindowList, WithAWindowManagerItsClientListCounts) {
    Xvfb x;
    ASSERT_TRUE(x.running());
    Client wm(x.display());
    DisplayFor display(x.display());
    // A window manager's clients, unmapped here: the list is read, not the windows on screen.
    const xcb_window_t first = wm.make({.wmClass = "First", .pid = 11, .mapped = false});
    const xcb_window_t second = wm.make({.wmClass = "Second", .pid = 12, .mapped = false});
    const xcb_window_t frame = wm.make({.wmClass = "Frame", .pid = 13});
    const xcb_window_t check = wm.make({.mapped = false});
    wm.setWindows(check, "_NET_SUPPORTING_WM_CHECK", {check});
    wm.setWindows(wm.root(), "_NET_SUPPORTING_WM_CHECK", {check});
    wm.setWindows(wm.root(), "_NET_CLIENT_LIST", {second, first});

    const std::unique_ptr<WindowList> list = makeWindowList();
    const auto ids = [&] {
        std::vector<uint32_t> out;
        for (const TopLevelWindow& w : *list->snapshot().windows) out.push_back(w.id);
        return out;
    };
    EXPECT_TRUE(waitFor([&] { return ids() == std::vector<uint32_t>{second, first}; }, 5000));
    wm.setWindows(wm.root(), "_NET_CLIENT_LIST", {second});
    EXPECT_TRUE(waitFor([&] { return ids() == std::vector<uint32_t>{second}; }, 5000));
    wm.setClass(second, "Second2");  // a listed client's properties are followed
    EXPECT_TRUE(waitFor([&] { return byId(*list, second)->wmClass == "Second2"; }, 5000));

    // The window manager goes: the windows on screen count again.
    wm.remove(wm.root(), "_NET_SUPPORTING_WM_CHECK");
    EXPECT_TRUE(waitFor([&] { return ids() == std::vector<uint32_t>{frame}; }, 5000));
}

TEST(X11WindowList, WithoutADisplayNoWindowsAreKnown) {
    DisplayFor display(":4093");  // nothing serves it
    const std::unique_ptr<WindowList> list = makeWindowList();
    EXPECT_FALSE(list->available());
    EXPECT_TRUE(list->snapshot().windows->empty());
}

}  // namespace
