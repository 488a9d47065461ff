// The tray entry as a StatusNotifierItem over D-Bus (org.kde.StatusNotifierItem), the tray
// protocol of GNOME's AppIndicator extension, KDE, Xfce, MATE, Budgie and the Wayland panels.
// It owns a bus name of its own, registers with org.kde.StatusNotifierWatcher whenever a watcher
// owns that name (at start, when one starts later, when a panel restarts), and exports the
// status menu over com.canonical.dbusmenu (ItemIsMenu: a click opens the menu). While
// recording, the elapsed time is the item's label (XAyatanaLabel), the icon shows the red
// mark, and the tooltip names the time. Property reads are answered from state; signals go out
// only when what they announce changed. Main thread only.
#pragma once

#include <QDBusConnection>
#include <QImage>
#include <QObject>
#include <functional>
#include <memory>

#include "ports/status_item.h"
#include "core/tray_label.h"
#include "platform/dbus_menu.h"
#include "platform/dbus_tray_types.h"

class QDBusServiceWatcher;

namespace qv {

class SniAdaptor;

struct SniOptions {
    QString id;     // "Id": the application's stable name
    QString title;  // "Title"
    // The icon, `side` pixels square, idle or with the recording mark.
    std::function<QImage(int side, bool recording)> icon;
    // Icon names from the icon theme, idle and recording, so hosts can draw the icon in their
    // own colours; empty for none.
    QString iconName;
    QString recordingIconName;
    // Where those names are found when they are not installed system-wide; empty otherwise.
    QString iconThemePath;
    // Icons of menu rows (PNG bytes by name), for the exported menu.
    DbusMenuLayout::IconData menuIcon;
};

// The image as StatusNotifierItem carries it: straight ARGB32, each pixel's bytes in network
// byte order (alpha, red, green, blue), rows top to bottom.
SniPixmap sniPixmap(const QImage& image);

class SniStatusItem : public QObject, public StatusItem {
    Q_OBJECT
  public:
    static constexpr char kWatcher[] = "org.kde.StatusNotifierWatcher";
    static constexpr char kWatcherPath[] = "/StatusNotifierWatcher";
    static constexpr char kPath[] = "/StatusNotifierItem";
    static constexpr char kMenuPath[] = "/MenuBar";
    // The sizes hosts pick from: panels of 16 to 48 pixels.
    static constexpr int kPixmapSides[] = {16, 22, 24, 32, 48};

    SniStatusItem(QDBusConnection bus, SniOptions options);
    ~SniStatusItem() override;

    // Whether the item is on the bus under its own name.
    bool exported() const { return exported_; }
    // "org.kde.StatusNotifierItem-<pid>-<n>": the name it registers with the watcher.
    const QString& serviceName() const { return service_; }

    void setTitle(const QString& elapsed) override;
    void setMenuSource(std::function<MenuRows()> rows) override;

    DbusMenuExporter& menu() { return *menu_; }

  signals:
    // A watcher accepted the item's registration (again, after a watcher restart).
    void registered();

  protected:
    // The icon follows the desktop's colours: a palette change redraws it and tells hosts.
    bool eventFilter(QObject* object, QEvent* event) override;

  private:
    friend class SniAdaptor;
    void registerWithWatcher();
    bool recording() const { return !label_.label.isEmpty(); }
    const SniPixmapList& pixmaps() const;

    QDBusConnection bus_;
    SniOptions options_;
    QString service_;
    bool exported_ = false;
    QString elapsed_;
    TrayLabel label_;
    mutable SniPixmapList idlePixmaps_, recordingPixmaps_;  // drawn on first read
    std::unique_ptr<DbusMenuExporter> menu_;
    SniAdaptor* adaptor_ = nullptr;  // owned by this object, as Qt's adaptors are
    QDBusServiceWatcher* watcher_ = nullptr;
};

}  // namespace qv
