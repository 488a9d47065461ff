// The tray entry in an X11 system tray (XEmbed): the glyph, the elapsed recording time as a red
// mark and a tooltip, and the status menu, rebuilt each time it opens. Made only while no
// StatusNotifierWatcher runs (see core/tray_switch.h), so Qt keeps it in the X11 tray. Main
// thread only.
#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <functional>

#include "ports/status_item.h"
#include "ui/menu_renderer.h"

namespace qv {

class WindowHints;

class TrayStatusItem : public QObject, public StatusItem {
  public:
    explicit TrayStatusItem(WindowHints& hints);

    void setTitle(const QString& elapsed) override;
    void setMenuSource(std::function<MenuRows()> rows) override;
    // How rows' icon names become images (for example a meeting's call service).
    void setIconResolver(std::function<QIcon(const QString& name)> icon);

    QSystemTrayIcon& tray() { return tray_; }
    QMenu& menu() { return menu_; }

  protected:
    bool eventFilter(QObject* object, QEvent* event) override;

  private:
    void popUpMenu();
    void refreshIcon();
    QColor glyphColour() const;

    WindowHints& hints_;
    QMenu menu_;
    QSystemTrayIcon tray_;
    QString elapsed_;
    std::function<MenuRows()> source_;
    MenuRendering rendering_;
};

// Whether the desktop's tray host takes menus over D-Bus (a StatusNotifierItem host), as Qt
// then exports the menu instead of showing it itself.
bool trayMenuIsExported();

}  // namespace qv
