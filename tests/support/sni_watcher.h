// A StatusNotifierWatcher for tests (org.kde.StatusNotifierWatcher, with a host registered),
// which records the items that register with it, and a client that reads an item as a panel
// would: its properties, its label signals and its com.canonical.dbusmenu menu. Both decode the
// wire format themselves, independently of the agent's own marshalling. Main thread.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

class QDBusServiceWatcher;

namespace qv::test {

class SniWatcher : public QObject {
    Q_OBJECT
  public:
    struct Registration {
        QString service;  // as the item gave it
        QString sender;   // the unique name of the connection that registered
    };

    // Claims the watcher's name and object on `bus`; the name is released when the object goes
    // away (so a test can "restart" the watcher with a new one, ideally on a new connection).
    explicit SniWatcher(QDBusConnection bus);
    ~SniWatcher() override;

    bool claimed() const { return claimed_; }
    // Every registration so far, in order, including repeated ones.
    QList<Registration> registrations;
    // The items registered now, as "service" strings; an item leaves when its name does.
    QStringList items;

    // Called by the adaptor.
    void registerItem(const QString& service, const QDBusMessage& message);

  signals:
    void itemRegistered(const QString& service);

  private:
    QDBusConnection bus_;
    bool claimed_ = false;
    QDBusServiceWatcher* gone_ = nullptr;
};

// One item of a dbusmenu layout as a host reads it.
struct MenuEntry {
    int id = 0;
    QVariantMap properties;
    QList<MenuEntry> children;

    QString label() const { return properties.value("label").toString(); }
    bool separator() const { return properties.value("type").toString() == "separator"; }
    bool enabled() const { return properties.value("enabled", true).toBool(); }
    // The first entry, depth first, whose label is `label`; nullptr if none.
    const MenuEntry* find(const QString& label) const;
    // The labels of its children in order, "---" for separators.
    QStringList childLabels() const {
        QStringList out;
        for (const MenuEntry& e : children) out << (e.separator() ? "---" : e.label());
        return out;
    }
    // Its id, -1 if none.
    int idOf(const QString& label) const {
        const MenuEntry* entry = find(label);
        return entry ? entry->id : -1;
    }
};

struct Pixmap {
    int width = 0, height = 0;
    QByteArray bytes;
};

// Reads one item (by its bus name) on `bus`, and records the signals it sends. Calls wait
// for their answers with the event loop running, so the item may live in the same process.
class SniItemClient : public QObject {
    Q_OBJECT
  public:
    SniItemClient(QDBusConnection bus, const QString& service);

    // A property of org.kde.StatusNotifierItem, as the item answers now (invalid on error).
    QVariant property(const QString& name) const;
    QList<Pixmap> iconPixmap() const;
    // The title of the ToolTip property.
    QString toolTipTitle() const;

    // The menu: GetLayout of the whole tree from the root (revision in `revision`).
    MenuEntry layout(uint* revision = nullptr) const;
    // AboutToShow on an item (0, the root, by default): whether the host should read anew.
    bool aboutToShow(int id = 0) const;
    // GetGroupProperties: the properties (only `names`, all when empty) of the items that exist.
    QList<QPair<int, QVariantMap>> groupProperties(const QList<int>& ids,
                                                   const QStringList& names) const;
    // Sends a "clicked" event; returns the error name, empty on success.
    QString click(int id) const;
    // How many different non-empty labels arrived: 2 once a shown time has moved on.
    int distinctTimes() const {
        QStringList shown = labels;
        shown.removeAll(QString());
        shown.removeDuplicates();
        return int(shown.size());
    }

    QStringList labels;         // the label of every XAyatanaNewLabel, in order
    QStringList guides;         // and its guide
    int newIcons = 0;           // NewIcon signals
    int newToolTips = 0;        // NewToolTip signals
    QList<uint> layoutUpdates;  // revisions of LayoutUpdated

  private slots:
    void onLabel(const QString& label, const QString& guide);
    void onNewIcon() { ++newIcons; }
    void onNewToolTip() { ++newToolTips; }
    void onLayoutUpdated(uint revision, int) { layoutUpdates << revision; }

  private:
    QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& args) const;
    QString menuPath() const;

    QDBusConnection bus_;
    QString service_;
};

}  // namespace qv::test
