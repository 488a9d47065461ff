// WindowList for X11: a connection of its own, watched by a thread of its own. The thread
// follows the window manager's client list (_NET_CLIENT_LIST) and the properties of the listed
// windows through events, and rereads the list whenever one of them changes. Without a window
// manager that keeps such a list (a bare X server), the mapped top-level windows stand in.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_set>

#include "platform/process_identity.h"
#include "platform/unique_fd.h"
#include "platform/window_list.h"
#include "platform/xcb_handles.h"

namespace qv {

namespace {

// The window types a taskbar shows; every other standard type is left out.
constexpr std::array kShownTypes = {"_NET_WM_WINDOW_TYPE_NORMAL", "_NET_WM_WINDOW_TYPE_DIALOG"};
constexpr std::array kHiddenTypes = {
    "_NET_WM_WINDOW_TYPE_DESKTOP",       "_NET_WM_WINDOW_TYPE_DOCK",
    "_NET_WM_WINDOW_TYPE_TOOLBAR",       "_NET_WM_WINDOW_TYPE_MENU",
    "_NET_WM_WINDOW_TYPE_UTILITY",       "_NET_WM_WINDOW_TYPE_SPLASH",
    "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU", "_NET_WM_WINDOW_TYPE_POPUP_MENU",
    "_NET_WM_WINDOW_TYPE_TOOLTIP",       "_NET_WM_WINDOW_TYPE_NOTIFICATION",
    "_NET_WM_WINDOW_TYPE_COMBO",         "_NET_WM_WINDOW_TYPE_DND",
};

class X11WindowList : public WindowList {
  public:
    X11WindowList(XcbConnection connection, xcb_window_t root)
        : c_(std::move(connection)), root_(root) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) == 0) {
            wakeRead_ = UniqueFd(fds[0]);
            wakeWrite_ = UniqueFd(fds[1]);
        }
        snapshot_.windows = std::make_shared<const std::vector<TopLevelWindow>>();
        if (wakeRead_.valid()) thread_ = std::thread([this] { run(); });
    }

    ~X11WindowList() override {
        if (!thread_.joinable()) return;
        const char stop = 1;
        [[maybe_unused]] const ssize_t n = write(wakeWrite_.get(), &stop, 1);
        thread_.join();
    }

    bool available() const override { return true; }

    Snapshot snapshot() const override {
        std::lock_guard lock(mutex_);
        return snapshot_;
    }

  private:
    // The thread: everything below runs on it alone.
    void run() {
        internAtoms();
        const uint32_t rootEvents =
            XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(c(), root_, XCB_CW_EVENT_MASK, &rootEvents);
        rescan();
        std::array<pollfd, 2> fds = {pollfd{xcb_get_file_descriptor(c()), POLLIN, 0},
                                     pollfd{wakeRead_.get(), POLLIN, 0}};
        for (;;) {
            bool changed = false;
            while (auto event = own(xcb_poll_for_event(c()))) changed |= relevant(*event);
            if (xcb_connection_has_error(c())) {
                publish({});  // the display is gone, and its windows with it
                return;
            }
            if (changed) {
                rescan();
                continue;  // rereading may have queued further events
            }
            if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) return;
            if (fds[1].revents != 0) return;
        }
    }

    xcb_connection_t* c() const { return c_.get(); }

    void internAtoms() {
        const auto request = [&](const char* name) {
            return xcb_intern_atom(c(), 0, static_cast<uint16_t>(std::strlen(name)), name);
        };
        const auto take = [&](xcb_intern_atom_cookie_t cookie) {
            auto r = own(xcb_intern_atom_reply(c(), cookie, nullptr));
            return r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
        };
        const auto clientList = request("_NET_CLIENT_LIST");
        const auto check = request("_NET_SUPPORTING_WM_CHECK");
        const auto pid = request("_NET_WM_PID");
        const auto type = request("_NET_WM_WINDOW_TYPE");
        const auto state = request("_NET_WM_STATE");
        const auto skipTaskbar = request("_NET_WM_STATE_SKIP_TASKBAR");
        std::vector<xcb_intern_atom_cookie_t> shown, hidden;
        for (const char* name : kShownTypes) shown.push_back(request(name));
        for (const char* name : kHiddenTypes) hidden.push_back(request(name));
        clientList_ = take(clientList);
        check_ = take(check);
        pid_ = take(pid);
        type_ = take(type);
        state_ = take(state);
        skipTaskbar_ = take(skipTaskbar);
        for (auto cookie : shown) shownTypes_.insert(take(cookie));
        for (auto cookie : hidden) hiddenTypes_.insert(take(cookie));
    }

    // Whether an event can change the list: the client list itself, a window manager coming or
    // going, a property the list reads, or (without a window manager) a top-level window.
    bool relevant(const xcb_generic_event_t& event) {
        switch (event.response_type & ~0x80) {
            case XCB_PROPERTY_NOTIFY: {
                const auto& e = reinterpret_cast<const xcb_property_notify_event_t&>(event);
                if (e.window == root_) return e.atom == clientList_ || e.atom == check_;
                return e.atom == pid_ || e.atom == XCB_ATOM_WM_CLASS || e.atom == type_ ||
                       e.atom == state_ || e.atom == XCB_ATOM_WM_CLIENT_MACHINE;
            }
            case XCB_DESTROY_NOTIFY:
                watched_.erase(reinterpret_cast<const xcb_destroy_notify_event_t&>(event).window);
                return !managed_;
            case XCB_MAP_NOTIFY:
                return !managed_ &&
                       !reinterpret_cast<const xcb_map_notify_event_t&>(event).override_redirect;
            case XCB_UNMAP_NOTIFY:
            case XCB_REPARENT_NOTIFY:
                return !managed_;
            default:
                return false;  // errors for windows gone meanwhile, and the rest
        }
    }

    void rescan() {
        const std::vector<xcb_window_t> clients = clientWindows();
        // Follow the properties of the windows listed now, and forget the others: an id that
        // comes back (the server hands ids out again) is then watched anew.
        std::unordered_set<xcb_window_t> listed(clients.begin(), clients.end());
        for (xcb_window_t w : listed) {
            if (watched_.count(w)) continue;
            const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
            xcb_change_window_attributes(c(), w, XCB_CW_EVENT_MASK, &events);
        }
        watched_ = std::move(listed);
        xcb_flush(c());
        publish(describe(clients));
    }

    std::optional<xcb_window_t> windowProperty(xcb_window_t w, xcb_atom_t atom) {
        auto r = own(xcb_get_property_reply(
            c(), xcb_get_property(c(), 0, w, atom, XCB_ATOM_WINDOW, 0, 1), nullptr));
        if (!r || r->format != 32 || xcb_get_property_value_length(r.get()) < 4) {
            return std::nullopt;
        }
        return *static_cast<const xcb_window_t*>(xcb_get_property_value(r.get()));
    }

    // A window manager that follows the extended hints marks itself on the root window.
    bool windowManagerRuns() {
        const std::optional<xcb_window_t> w = windowProperty(root_, check_);
        return w && windowProperty(*w, check_) == w;
    }

    std::vector<xcb_window_t> clientWindows() {
        managed_ = windowManagerRuns();
        if (managed_) {
            auto r = own(xcb_get_property_reply(
                c(), xcb_get_property(c(), 0, root_, clientList_, XCB_ATOM_WINDOW, 0, 16384),
                nullptr));
            if (r && r->format == 32) {
                const auto* begin =
                    static_cast<const xcb_window_t*>(xcb_get_property_value(r.get()));
                return {begin, begin + xcb_get_property_value_length(r.get()) / 4};
            }
            managed_ = false;  // a manager without the list: read the windows themselves
        }
        return mappedTopLevels();
    }

    std::vector<xcb_window_t> mappedTopLevels() {
        auto tree = own(xcb_query_tree_reply(c(), xcb_query_tree(c(), root_), nullptr));
        if (!tree) return {};
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        const int count = xcb_query_tree_children_length(tree.get());
        std::vector<xcb_get_window_attributes_cookie_t> cookies;
        for (int i = 0; i < count; ++i)
            cookies.push_back(xcb_get_window_attributes(c(), children[i]));
        std::vector<xcb_window_t> mapped;
        for (int i = 0; i < count; ++i) {
            auto a = own(xcb_get_window_attributes_reply(c(), cookies[i], nullptr));
            if (a && a->map_state == XCB_MAP_STATE_VIEWABLE && !a->override_redirect) {
                mapped.push_back(children[i]);
            }
        }
        return mapped;
    }

    struct Cookies {
        xcb_get_property_cookie_t pid, wmClass, type, state, machine;
    };

    std::vector<TopLevelWindow> describe(const std::vector<xcb_window_t>& windows) {
        const auto get = [&](xcb_window_t w, xcb_atom_t atom, xcb_atom_t type, uint32_t length) {
            return xcb_get_property(c(), 0, w, atom, type, 0, length);
        };
        // All requests first, then all replies: one round trip for the whole list.
        std::vector<Cookies> cookies;
        cookies.reserve(windows.size());
        for (xcb_window_t w : windows) {
            cookies.push_back({get(w, pid_, XCB_ATOM_CARDINAL, 1),
                               get(w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 256),
                               get(w, type_, XCB_ATOM_ATOM, 32), get(w, state_, XCB_ATOM_ATOM, 32),
                               get(w, XCB_ATOM_WM_CLIENT_MACHINE, XCB_GET_PROPERTY_TYPE_ANY, 64)});
        }
        std::vector<TopLevelWindow> described;
        for (size_t i = 0; i < windows.size(); ++i) {
            TopLevelWindow window{.id = windows[i]};
            const bool exists = readPid(cookies[i].pid, window.pid);
            readClass(cookies[i].wmClass, window);
            window.normal = readNormal(cookies[i].type, cookies[i].state);
            // A client of another machine: its process id means nothing here.
            const std::optional<std::string> machine = text(cookies[i].machine);
            if (machine && !isThisMachine(QByteArray::fromStdString(*machine))) window.pid = 0;
            if (exists) described.push_back(std::move(window));
        }
        return described;
    }

    // False when the window is gone (its request failed).
    bool readPid(xcb_get_property_cookie_t cookie, int32_t& pid) {
        xcb_generic_error_t* error = nullptr;
        auto r = own(xcb_get_property_reply(c(), cookie, &error));
        const bool gone = error != nullptr;
        std::free(error);
        if (r && r->format == 32 && xcb_get_property_value_length(r.get()) >= 4) {
            pid = *static_cast<const int32_t*>(xcb_get_property_value(r.get()));
            if (pid < 0) pid = 0;
        }
        return !gone && r;
    }

    std::optional<std::string> text(xcb_get_property_cookie_t cookie) {
        auto r = own(xcb_get_property_reply(c(), cookie, nullptr));
        if (!r || r->format != 8 || r->type == XCB_ATOM_NONE) return std::nullopt;
        const char* v = static_cast<const char*>(xcb_get_property_value(r.get()));
        std::string s(v, xcb_get_property_value_length(r.get()));
        return s.substr(0, s.find('\0'));
    }

    // WM_CLASS: the instance name and the class name, each ending in a NUL.
    void readClass(xcb_get_property_cookie_t cookie, TopLevelWindow& window) {
        auto r = own(xcb_get_property_reply(c(), cookie, nullptr));
        if (!r || r->format != 8) return;
        const char* v = static_cast<const char*>(xcb_get_property_value(r.get()));
        const std::string both(v, xcb_get_property_value_length(r.get()));
        const size_t nul = both.find('\0');
        window.instance = both.substr(0, nul);
        if (nul != std::string::npos) {
            const std::string rest = both.substr(nul + 1);
            window.wmClass = rest.substr(0, rest.find('\0'));
        }
    }

    std::vector<xcb_atom_t> atoms(xcb_get_property_cookie_t cookie) {
        auto r = own(xcb_get_property_reply(c(), cookie, nullptr));
        if (!r || r->format != 32) return {};
        const auto* begin = static_cast<const xcb_atom_t*>(xcb_get_property_value(r.get()));
        return {begin, begin + xcb_get_property_value_length(r.get()) / 4};
    }

    // The first type the window names that this list knows decides; a window without one is
    // a normal window (or, when transient, a dialog).
    bool readNormal(xcb_get_property_cookie_t type, xcb_get_property_cookie_t state) {
        bool normal = true;
        for (xcb_atom_t t : atoms(type)) {
            if (shownTypes_.count(t)) break;
            if (hiddenTypes_.count(t)) {
                normal = false;
                break;
            }
        }
        for (xcb_atom_t s : atoms(state))
            if (s == skipTaskbar_) normal = false;
        return normal;
    }

    void publish(std::vector<TopLevelWindow> windows) {
        std::lock_guard lock(mutex_);
        if (*snapshot_.windows == windows) return;
        ++snapshot_.generation;
        snapshot_.windows = std::make_shared<const std::vector<TopLevelWindow>>(std::move(windows));
    }

    const XcbConnection c_;
    const xcb_window_t root_;
    UniqueFd wakeRead_, wakeWrite_;
    xcb_atom_t clientList_ = XCB_ATOM_NONE, check_ = XCB_ATOM_NONE, pid_ = XCB_ATOM_NONE,
               type_ = XCB_ATOM_NONE, state_ = XCB_ATOM_NONE, skipTaskbar_ = XCB_ATOM_NONE;
    std::unordered_set<xcb_atom_t> shownTypes_, hiddenTypes_;
    bool managed_ = false;                      // the window manager keeps the client list
    std::unordered_set<xcb_window_t> watched_;  // windows whose properties are followed

    mutable std::mutex mutex_;
    Snapshot snapshot_;  // under mutex_
    std::thread thread_;
};

}  // namespace

std::unique_ptr<WindowList> makeWindowList() {
    int screen = 0;
    XcbConnection c(xcb_connect(nullptr, &screen));
    if (!c || xcb_connection_has_error(c.get())) return std::make_unique<NullWindowList>();
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c.get()));
    for (int i = 0; i < screen && it.rem; ++i) xcb_screen_next(&it);
    if (!it.rem) return std::make_unique<NullWindowList>();
    const xcb_window_t root = it.data->root;
    return std::make_unique<X11WindowList>(std::move(c), root);
}

}  // namespace qv
