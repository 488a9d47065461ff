#include "ui/tray_status_item.h"

#include <QApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QEvent>
#include <QScreen>

#include "core/tray_label.h"
#include "ui/status_icon.h"
#include "ui/window_hints.h"

namespace qv {

bool trayMenuIsExported() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(watcher)) return false;
    QDBusInterface props(watcher, QStringLiteral("/StatusNotifierWatcher"), watcher, bus);
    return props.property("IsStatusNotifierHostRegistered").toBool();
}

TrayStatusItem::TrayStatusItem(WindowHints& hints) : hints_(hints) {
    rendering_.exported = trayMenuIsExported();
    menu_.setObjectName(QStringLiteral("statusMenu"));
    connect(&menu_, &QMenu::aboutToShow, this, [this] {
        if (source_) renderMenu(menu_, source_(), rendering_);
    });
    tray_.setContextMenu(&menu_);
    // A left click opens the same menu, as on every other desktop's status items.
    connect(&tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::Trigger && !rendering_.exported) popUpMenu();
    });
    qApp->installEventFilter(this);
    refreshIcon();
    tray_.show();
}

void TrayStatusItem::setTitle(const QString& elapsed) {
    if (elapsed == elapsed_) return;
    const bool changedState = elapsed.isEmpty() != elapsed_.isEmpty();
    elapsed_ = elapsed;
    if (changedState) refreshIcon();
    tray_.setToolTip(trayToolTip(elapsed_));
}

void TrayStatusItem::popUpMenu() {
    // Below the icon when the tray is in the screen's upper half; otherwise from the pointer,
    // which Qt opens upwards when there is no room below.
    const QRect icon = tray_.geometry();
    const QScreen* screen = QGuiApplication::screenAt(icon.center());
    if (icon.isValid() && screen && icon.center().y() < screen->geometry().center().y()) {
        menu_.popup(QPoint(icon.left(), icon.bottom() + 1));
    } else {
        menu_.popup(QCursor::pos());
    }
}

void TrayStatusItem::setMenuSource(std::function<MenuRows()> rows) {
    source_ = std::move(rows);
}

void TrayStatusItem::setIconResolver(std::function<QIcon(const QString& name)> icon) {
    rendering_.icon = std::move(icon);
}

bool TrayStatusItem::eventFilter(QObject* object, QEvent* event) {
    // The glyph follows the desktop's colours when they change (light or dark).
    if (object == qApp && event->type() == QEvent::ApplicationPaletteChange) refreshIcon();
    return false;
}

void TrayStatusItem::refreshIcon() {
    tray_.setIcon(statusIcon(glyphColour(), !elapsed_.isEmpty()));
    if (tray_.toolTip().isEmpty()) tray_.setToolTip(QStringLiteral("Quorvia"));
}

QColor TrayStatusItem::glyphColour() const {
    if (const std::optional<QColor> asked = hints_.trayForeground()) return *asked;
    return defaultGlyphColour();
}

}  // namespace qv
