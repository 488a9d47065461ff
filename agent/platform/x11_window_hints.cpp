// WindowHints for X11 through the xcb connection Qt already holds. Under another windowing
// system (a Wayland session) it falls back to NullWindowHints.
#include <xcb/xcb.h>

#include <QtGui/qguiapplication_platform.h>
#include <QByteArray>
#include <QEvent>
#include <QGuiApplication>
#include <QPlatformSurfaceEvent>
#include <QWindow>
#include <cstdlib>
#include <memory>

#include "main/constants.h"
#include "platform/xcb_handles.h"
#include "ui/window_hints.h"

namespace qv {

namespace {

class X11WindowHints : public QObject, public WindowHints {
  public:
    X11WindowHints(xcb_connection_t* c, int screen) : c_(c), screen_(screen) {}

    void tagAgentWindows() override { qApp->installEventFilter(this); }

    void makePanel(QWindow* window) override {
        const xcb_window_t w = static_cast<xcb_window_t>(window->winId());
        // Qt merges its own states into what an unmapped window already carries.
        const xcb_atom_t states[] = {atom("_NET_WM_STATE_SKIP_TASKBAR"),
                                     atom("_NET_WM_STATE_SKIP_PAGER"),
                                     atom("_NET_WM_STATE_STICKY")};
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, atom("_NET_WM_STATE"), XCB_ATOM_ATOM, 32,
                            3, states);
        const uint32_t allDesktops = 0xFFFFFFFF;
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, atom("_NET_WM_DESKTOP"),
                            XCB_ATOM_CARDINAL, 32, 1, &allDesktops);
        xcb_flush(c_);
    }

    bool compositing() const override {
        return owner("_NET_WM_CM_S" + QByteArray::number(screen_)) != XCB_NONE;
    }

    std::optional<QColor> trayForeground() const override {
        const xcb_window_t tray = owner("_NET_SYSTEM_TRAY_S" + QByteArray::number(screen_));
        if (tray == XCB_NONE) return std::nullopt;
        auto r = own(
            xcb_get_property_reply(c_,
                                   xcb_get_property(c_, 0, tray, atom("_NET_SYSTEM_TRAY_COLORS"),
                                                    XCB_ATOM_CARDINAL, 0, 12),
                                   nullptr));
        if (!r || r->format != 32 || xcb_get_property_value_length(r.get()) < 12) {
            return std::nullopt;
        }
        // Foreground first, as three 16-bit channels.
        const uint32_t* v = static_cast<const uint32_t*>(xcb_get_property_value(r.get()));
        return QColor::fromRgb(QRgba64::fromRgba64(v[0], v[1], v[2], 0xFFFF));
    }

  protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::PlatformSurface &&
            static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() ==
                QPlatformSurfaceEvent::SurfaceCreated) {
            if (auto* window = qobject_cast<QWindow*>(object)) setClass(window);
        }
        return false;
    }

  private:
    // WM_CLASS is instance name and class name, each ending in a NUL. Qt writes its own when
    // it creates the native window, just before telling the window; this replaces it.
    void setClass(QWindow* window) {
        const QByteArray id = APP_ID.toLatin1();
        const QByteArray value = id + '\0' + id + '\0';
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(window->winId()),
                            XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, value.size(), value.data());
        xcb_flush(c_);
    }

    xcb_atom_t atom(const QByteArray& name) const {
        auto r = own(xcb_intern_atom_reply(
            c_, xcb_intern_atom(c_, 0, static_cast<uint16_t>(name.size()), name.data()), nullptr));
        return r ? r->atom : XCB_NONE;
    }

    xcb_window_t owner(const QByteArray& selection) const {
        auto r = own(xcb_get_selection_owner_reply(c_, xcb_get_selection_owner(c_, atom(selection)),
                                                   nullptr));
        return r ? r->owner : XCB_NONE;
    }

    xcb_connection_t* c_;
    int screen_;
};

}  // namespace

std::unique_ptr<WindowHints> makeWindowHints() {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection()) return std::make_unique<NullWindowHints>();
    // Qt opens the display's default screen; its number picks the per-screen selections.
    int screen = 0;
    const QByteArray display = qgetenv("DISPLAY");
    const int dot = display.lastIndexOf('.');
    if (dot > display.lastIndexOf(':')) screen = display.mid(dot + 1).toInt();
    return std::make_unique<X11WindowHints>(x11->connection(), screen);
}

}  // namespace qv
