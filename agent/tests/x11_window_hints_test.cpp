// The X11 window hints against a private X server: what the agent's windows carry, and what the
// adapter reads back from the desktop (a compositor, a tray host's colours).
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QWidget>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "support/xvfb.h"
#include "ui/floating_panel.h"
#include "ui/prompt_panel.h"
#include "ui/window_hints.h"

namespace {

// A second client of the test's X server, playing the desktop and reading properties.
class Desktop {
  public:
    Desktop() : c_(xcb_connect(nullptr, nullptr)) {
        screen_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
    }
    ~Desktop() { xcb_disconnect(c_); }

    xcb_atom_t atom(const char* name) {
        auto* r = xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, strlen(name), name), nullptr);
        const xcb_atom_t a = r ? r->atom : XCB_NONE;
        std::free(r);
        return a;
    }
    // The property's raw value.
    QByteArray property(xcb_window_t w, xcb_atom_t name) {
        auto* r = xcb_get_property_reply(
            c_, xcb_get_property(c_, 0, w, name, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024), nullptr);
        QByteArray value;
        if (r)
            value = QByteArray(static_cast<const char*>(xcb_get_property_value(r)),
                               xcb_get_property_value_length(r));
        std::free(r);
        return value;
    }
    QList<xcb_atom_t> atoms(xcb_window_t w, const char* name) {
        const QByteArray v = property(w, atom(name));
        const auto* a = reinterpret_cast<const xcb_atom_t*>(v.constData());
        return QList<xcb_atom_t>(a, a + v.size() / 4);
    }
    // Takes a selection with a window of its own, carrying `props`, as a desktop service does.
    xcb_window_t own(const char* selection, const char* prop = nullptr,
                     std::vector<uint32_t> values = {}) {
        const xcb_window_t w = xcb_generate_id(c_);
        xcb_create_window(c_, XCB_COPY_FROM_PARENT, w, screen_->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual, 0, nullptr);
        if (prop)
            xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, atom(prop), XCB_ATOM_CARDINAL, 32,
                                values.size(), values.data());
        xcb_set_selection_owner(c_, w, atom(selection), XCB_CURRENT_TIME);
        xcb_aux_sync();
        return w;
    }
    void release(xcb_window_t w) {
        xcb_destroy_window(c_, w);
        xcb_aux_sync();
    }

  private:
    void xcb_aux_sync() {
        std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
    }
    xcb_connection_t* c_;
    xcb_screen_t* screen_;
};

const QByteArray kClass("com.lumaret.quorvia\0com.lumaret.quorvia\0", 40);

TEST(X11WindowHints, EveryAgentWindowCarriesTheAgentsClass) {
    auto hints = qv::makeWindowHints();
    hints->tagAgentWindows();
    Desktop desktop;

    QWidget window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(desktop.property(window.winId(), XCB_ATOM_WM_CLASS), kClass);

    QMenu menu;
    menu.addAction("Quit Quorvia");
    menu.popup(QPoint(20, 20));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
    EXPECT_EQ(desktop.property(menu.winId(), XCB_ATOM_WM_CLASS), kClass);
    menu.hide();
}

TEST(X11WindowHints, PanelsFloatOnEveryWorkspaceOutsideTheTaskbar) {
    auto hints = qv::makeWindowHints();
    hints->tagAgentWindows();
    Desktop desktop;
    qv::PromptPanel prompt(*hints);
    prompt.show(
        "Zoom is using your microphone", "", "Record this meeting", "Not now", [] {}, [] {});
    QWidget* panel = prompt.panel();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel));

    const QList<xcb_atom_t> states = desktop.atoms(panel->winId(), "_NET_WM_STATE");
    for (const char* state : {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER",
                              "_NET_WM_STATE_STICKY", "_NET_WM_STATE_ABOVE"}) {
        EXPECT_TRUE(states.contains(desktop.atom(state))) << state;
    }
    const QByteArray desk = desktop.property(panel->winId(), desktop.atom("_NET_WM_DESKTOP"));
    ASSERT_EQ(desk.size(), 4);
    EXPECT_EQ(*reinterpret_cast<const uint32_t*>(desk.constData()), 0xFFFFFFFFu);
    EXPECT_EQ(desktop.property(panel->winId(), XCB_ATOM_WM_CLASS), kClass);
    // The panel never asked for the focus: the user's window keeps it.
    EXPECT_NE(QApplication::activeWindow(), panel);
    prompt.close();
}

TEST(X11WindowHints, WithoutACompositorPanelsCutTheirCornersOff) {
    auto hints = qv::makeWindowHints();
    Desktop desktop;
    EXPECT_FALSE(hints->compositing());
    qv::FloatingPanel plain({370, 128}, 14, *hints);
    EXPECT_FALSE(plain.testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_FALSE(plain.mask().contains(QPoint(0, 0)));
    EXPECT_TRUE(plain.mask().contains(QPoint(185, 64)));

    const xcb_window_t compositor = desktop.own("_NET_WM_CM_S0");
    EXPECT_TRUE(hints->compositing());
    qv::FloatingPanel blended({370, 128}, 14, *hints);
    EXPECT_TRUE(blended.testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_TRUE(blended.mask().isEmpty());
    desktop.release(compositor);
    EXPECT_FALSE(hints->compositing());
}

TEST(X11WindowHints, TheTrayHostsForegroundColourWhenItGivesOne) {
    auto hints = qv::makeWindowHints();
    Desktop desktop;
    EXPECT_FALSE(hints->trayForeground().has_value());

    const xcb_window_t silent = desktop.own("_NET_SYSTEM_TRAY_S0");
    EXPECT_FALSE(hints->trayForeground().has_value());
    desktop.release(silent);

    // Foreground, error, warning, success: 16-bit channels.
    const xcb_window_t tray =
        desktop.own("_NET_SYSTEM_TRAY_S0", "_NET_SYSTEM_TRAY_COLORS",
                    {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0, 0, 0xFFFF, 0xFFFF, 0, 0, 0xFFFF, 0});
    ASSERT_TRUE(hints->trayForeground().has_value());
    EXPECT_EQ(hints->trayForeground()->rgb(), QColor(Qt::white).rgb());
    desktop.release(tray);
}

}  // namespace

// The whole binary runs on its own X server, through Qt's xcb platform.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    qv::test::Xvfb xvfb;
    if (!xvfb.running()) {
        fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    setenv("DISPLAY", xvfb.display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
