#include "platform/window_foreground.h"

#include <QGuiApplication>
#include <QWindow>

namespace qv {

void WindowForeground::activate() {
    QWindow* last = nullptr;
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        // Menus and tool tips come and go with the pointer; they are not the agent's panels.
        const Qt::WindowType type = window->type();
        if (!window->isVisible() || type == Qt::Popup || type == Qt::ToolTip) continue;
        window->raise();
        last = window;
    }
    if (last) last->requestActivate();
}

}  // namespace qv
