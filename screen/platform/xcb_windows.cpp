#include "platform/xcb_windows.h"

#include <optional>

#include "platform/xcb_support.h"

namespace hc::xcb {

std::vector<std::string> splitWmClass(std::string_view value) {
    std::vector<std::string> ids;
    while (!value.empty()) {
        const std::size_t end = value.find('\0');
        const std::string_view id = value.substr(0, end);
        if (!id.empty()) ids.emplace_back(id);
        if (end == std::string_view::npos) break;
        value.remove_prefix(end + 1);
    }
    return ids;
}

namespace {

constexpr int FRAME_DEPTH = 2;  // window managers nest clients at most this deep in a frame

std::optional<std::vector<std::string>> wmClass(xcb_connection_t* c, xcb_window_t window) {
    const auto cookie = xcb_get_property(c, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256);
    Owned<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, cookie, nullptr));
    if (!reply || reply->type == XCB_ATOM_NONE) return std::nullopt;
    const auto* bytes = static_cast<const char*>(xcb_get_property_value(reply.get()));
    return splitWmClass(
        {bytes, static_cast<std::size_t>(xcb_get_property_value_length(reply.get()))});
}

}  // namespace

std::optional<bool> WindowStack::classifyTree(xcb_window_t window, int depth) {
    if (const auto ids = wmClass(c_, window)) {
        for (const std::string& id : *ids)
            if (hides_(id)) return true;
        return false;
    }
    if (depth == 0) return std::nullopt;
    Owned<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(c_, xcb_query_tree(c_, window), nullptr));
    if (!tree) return std::nullopt;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    std::optional<bool> result;
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        const std::optional<bool> child = classifyTree(children[i], depth - 1);
        if (child) result = result.value_or(false) || *child;
    }
    return result;
}

std::optional<bool> WindowStack::classify(xcb_window_t window) {
    // Only answers are remembered: a frame may still be waiting for its client.
    const auto it = known_.find(window);
    if (it != known_.end() && it->second) return it->second;
    return known_[window] = classifyTree(window, FRAME_DEPTH);
}

std::vector<StackedWindow> WindowStack::read() {
    Owned<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(c_, xcb_query_tree(c_, root_), nullptr));
    if (!tree) return {};
    const xcb_window_t* windows = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    // Ask for every window's state at once, then read the answers: one round trip, not 2n.
    std::vector<xcb_get_window_attributes_cookie_t> attributes(count);
    std::vector<xcb_get_geometry_cookie_t> geometries(count);
    for (int i = 0; i < count; ++i) {
        attributes[i] = xcb_get_window_attributes(c_, windows[i]);
        geometries[i] = xcb_get_geometry(c_, windows[i]);
    }
    std::unordered_map<xcb_window_t, std::optional<bool>> stillThere;
    std::vector<StackedWindow> stack;
    for (int i = 0; i < count; ++i) {
        Owned<xcb_get_window_attributes_reply_t> a(
            xcb_get_window_attributes_reply(c_, attributes[i], nullptr));
        Owned<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(c_, geometries[i], nullptr));
        if (!a || !g || a->map_state != XCB_MAP_STATE_VIEWABLE ||
            a->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT)
            continue;
        const std::optional<bool> hidden = classify(windows[i]);
        stillThere[windows[i]] = hidden;
        if (!hidden) continue;
        const int border = 2 * g->border_width;
        stack.push_back({{g->x, g->y, g->width + border, g->height + border}, *hidden});
    }
    known_ = std::move(stillThere);
    return stack;
}

}  // namespace hc::xcb
