// Exports the status menu over com.canonical.dbusmenu, for tray hosts that draw an item's menu
// themselves (every StatusNotifierItem host). The rows come from the menu source, which the
// exporter asks again when a host is about to show the menu (AboutToShow on the root), after
// a row was chosen, and when the owner asks; every rebuild is announced with LayoutUpdated.
// Property reads are answered from the layout last built. Main thread only.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <functional>

#include "ports/menu_model.h"
#include "platform/dbus_menu_layout.h"

namespace qv {

class DbusMenuAdaptor;

class DbusMenuExporter : public QObject {
    Q_OBJECT
  public:
    static constexpr char kInterface[] = "com.canonical.dbusmenu";

    // Exports the menu at `path` on `bus`; `icon` turns rows' icon names into PNG bytes.
    DbusMenuExporter(QDBusConnection bus, const QString& path,
                     DbusMenuLayout::IconData icon = nullptr);
    ~DbusMenuExporter() override;

    // Whether the object is on the bus (false when the path was taken or the bus is gone).
    bool exported() const { return exported_; }
    const QString& path() const { return path_; }

    void setSource(std::function<MenuRows()> rows);
    // Builds the layout from the source anew and announces it.
    void rebuild();
    const DbusMenuLayout& layout() const { return layout_; }

  private:
    friend class DbusMenuAdaptor;
    // Builds the first layout on the first question, so hosts that never send AboutToShow
    // still see the rows.
    void ensureBuilt();
    void build();
    // Runs the chosen item's action once the bus call has been answered, then rebuilds the
    // layout so check marks and titles show what the action changed.
    bool click(int id);

    QDBusConnection bus_;
    QString path_;
    bool exported_ = false;
    bool built_ = false;
    std::function<MenuRows()> source_;
    DbusMenuLayout layout_;
    DbusMenuAdaptor* adaptor_ = nullptr;  // owned by this object, as Qt's adaptors are
};

}  // namespace qv
