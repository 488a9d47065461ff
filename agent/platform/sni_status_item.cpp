#include "platform/sni_status_item.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QEvent>
#include <QtEndian>

#include "core/tray_label.h"

namespace qv {

SniPixmap sniPixmap(const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    SniPixmap out{argb.width(), argb.height(), {}};
    out.bytes.resize(qsizetype(argb.width()) * argb.height() * 4);
    auto* to = reinterpret_cast<quint32*>(out.bytes.data());
    for (int y = 0; y < argb.height(); ++y) {
        const auto* row = reinterpret_cast<const quint32*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) *to++ = qToBigEndian(row[x]);
    }
    return out;
}

class SniAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_CLASSINFO("D-Bus Introspection",
                "  <interface name=\"org.kde.StatusNotifierItem\">\n"
                "    <property name=\"Category\" type=\"s\" access=\"read\"/>\n"
                "    <property name=\"Id\" type=\"s\" access=\"read\"/>\n"
                "    <property name=\"Title\" type=\"s\" access=\"read\"/>\n"
                "    <property name=\"Status\" type=\"s\" access=\"read\"/>\n"
                "    <property name=\"WindowId\" type=\"i\" access=\"read\"/>\n"
                "    <property name=\"IconThemePath\" type=\"s\" access=\"read\"/>\n"
                "    <property name=\"Menu\" type=\"o\" access=\"read\"/>\n"
                "    <property name=\"ItemIsMenu\" type=\"b\" access=\"read\"/>\n"
                "    <property name=\"IconName\" type=\"s\" access=\"read\"/>\n"
                "    <property name=\"IconPixmap\" type=\"a(iiay)\" access=\"read\"/>\n"
                "    <property name=\"OverlayIconName\" type=\"s\" access=\"read\"/>\n"
                "    <property name=\"OverlayIconPixmap\" type=\"a(iiay)\" access=\"read\"/>\n"
                "    <property name=\"AttentionIconName\" type=\"s\" access=\"read\"/>\n"
                "    <property name=\"AttentionIconPixmap\" type=\"a(iiay)\" access=\"read\"/>\n"
                "    <property name=\"AttentionMovieName\" type=\"s\" access=\"read\"/>\n"
                "    <property name=\"ToolTip\" type=\"(sa(iiay)ss)\" access=\"read\"/>\n"
                "    <property name=\"XAyatanaLabel\" type=\"s\" access=\"read\"/>\n"
                "    <property name=\"XAyatanaLabelGuide\" type=\"s\" access=\"read\"/>\n"
                "    <method name=\"ContextMenu\">\n"
                "      <arg name=\"x\" type=\"i\" direction=\"in\"/>\n"
                "      <arg name=\"y\" type=\"i\" direction=\"in\"/>\n"
                "    </method>\n"
                "    <method name=\"Activate\">\n"
                "      <arg name=\"x\" type=\"i\" direction=\"in\"/>\n"
                "      <arg name=\"y\" type=\"i\" direction=\"in\"/>\n"
                "    </method>\n"
                "    <method name=\"SecondaryActivate\">\n"
                "      <arg name=\"x\" type=\"i\" direction=\"in\"/>\n"
                "      <arg name=\"y\" type=\"i\" direction=\"in\"/>\n"
                "    </method>\n"
                "    <method name=\"Scroll\">\n"
                "      <arg name=\"delta\" type=\"i\" direction=\"in\"/>\n"
                "      <arg name=\"orientation\" type=\"s\" direction=\"in\"/>\n"
                "    </method>\n"
                "    <method name=\"ProvideXdgActivationToken\">\n"
                "      <arg name=\"token\" type=\"s\" direction=\"in\"/>\n"
                "    </method>\n"
                "    <signal name=\"NewTitle\"/>\n"
                "    <signal name=\"NewIcon\"/>\n"
                "    <signal name=\"NewAttentionIcon\"/>\n"
                "    <signal name=\"NewOverlayIcon\"/>\n"
                "    <signal name=\"NewToolTip\"/>\n"
                "    <signal name=\"NewStatus\">\n"
                "      <arg name=\"status\" type=\"s\"/>\n"
                "    </signal>\n"
                "    <signal name=\"XAyatanaNewLabel\">\n"
                "      <arg name=\"label\" type=\"s\"/>\n"
                "      <arg name=\"guide\" type=\"s\"/>\n"
                "    </signal>\n"
                "  </interface>\n")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconThemePath READ iconThemePath)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(QList<qv::SniPixmap> IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ none)
    Q_PROPERTY(QList<qv::SniPixmap> OverlayIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionIconName READ none)
    Q_PROPERTY(QList<qv::SniPixmap> AttentionIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionMovieName READ none)
    Q_PROPERTY(qv::SniToolTip ToolTip READ toolTip)
    Q_PROPERTY(QString XAyatanaLabel READ label)
    Q_PROPERTY(QString XAyatanaLabelGuide READ labelGuide)

  public:
    explicit SniAdaptor(SniStatusItem* item) : QDBusAbstractAdaptor(item), item_(item) {}

    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const { return item_->options_.id; }
    QString title() const { return item_->options_.title; }
    QString status() const { return QStringLiteral("Active"); }
    int windowId() const { return 0; }
    QString iconThemePath() const { return item_->options_.iconThemePath; }
    QDBusObjectPath menu() const {
        return QDBusObjectPath(QString::fromLatin1(SniStatusItem::kMenuPath));
    }
    bool itemIsMenu() const { return true; }
    QString iconName() const {
        return item_->recording() ? item_->options_.recordingIconName : item_->options_.iconName;
    }
    QList<qv::SniPixmap> iconPixmap() const { return item_->pixmaps(); }
    QString none() const { return {}; }
    QList<qv::SniPixmap> noPixmaps() const { return {}; }
    SniToolTip toolTip() const { return {{}, {}, trayToolTip(item_->elapsed_), {}}; }
    QString label() const { return item_->label_.label; }
    QString labelGuide() const { return item_->label_.guide; }

  public Q_SLOTS:
    // ItemIsMenu: hosts open the exported menu themselves, on any click.
    void ContextMenu(int, int) {}
    void Activate(int, int) {}
    void SecondaryActivate(int, int) {}
    void Scroll(int, const QString&) {}
    void ProvideXdgActivationToken(const QString&) {}

  Q_SIGNALS:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString& status);
    void XAyatanaNewLabel(const QString& label, const QString& guide);

  private:
    SniStatusItem* item_;
};

SniStatusItem::SniStatusItem(QDBusConnection bus, SniOptions options)
    : bus_(std::move(bus)), options_(std::move(options)) {
    static int instances = 0;
    registerDbusTrayTypes();
    service_ = QStringLiteral("org.kde.StatusNotifierItem-%1-%2").arg(getpid()).arg(++instances);
    menu_ =
        std::make_unique<DbusMenuExporter>(bus_, QString::fromLatin1(kMenuPath), options_.menuIcon);
    adaptor_ = new SniAdaptor(this);
    QCoreApplication::instance()->installEventFilter(this);
    exported_ = bus_.isConnected() && bus_.registerObject(QString::fromLatin1(kPath), this) &&
                bus_.registerService(service_);
    if (!exported_) return;

    watcher_ = new QDBusServiceWatcher(QString::fromLatin1(kWatcher), bus_,
                                       QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& owner) {
                if (!owner.isEmpty()) registerWithWatcher();
            });
    registerWithWatcher();
}

SniStatusItem::~SniStatusItem() {
    if (!exported_) return;
    // Giving up the name is what tells the watcher the item is gone.
    bus_.unregisterService(service_);
    bus_.unregisterObject(QString::fromLatin1(kPath));
}

void SniStatusItem::registerWithWatcher() {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(kWatcher), QString::fromLatin1(kWatcherPath),
        QString::fromLatin1(kWatcher), QStringLiteral("RegisterStatusNotifierItem"));
    call << service_;
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* done) {
                // No watcher, or one that refused: the next watcher to take the name gets
                // asked again.
                if (!done->isError()) emit registered();
                done->deleteLater();
            });
}

void SniStatusItem::setTitle(const QString& elapsed) {
    if (elapsed == elapsed_) return;
    const bool wasRecording = recording();
    elapsed_ = elapsed;
    label_ = trayLabel(elapsed);
    if (recording() != wasRecording) emit adaptor_->NewIcon();
    emit adaptor_->NewToolTip();
    emit adaptor_->XAyatanaNewLabel(label_.label, label_.guide);
}

bool SniStatusItem::eventFilter(QObject* object, QEvent* event) {
    if (object == QCoreApplication::instance() &&
        event->type() == QEvent::ApplicationPaletteChange) {
        idlePixmaps_.clear();
        recordingPixmaps_.clear();
        emit adaptor_->NewIcon();
    }
    return false;
}

void SniStatusItem::setMenuSource(std::function<MenuRows()> rows) {
    menu_->setSource(std::move(rows));
}

const SniPixmapList& SniStatusItem::pixmaps() const {
    SniPixmapList& cached = recording() ? recordingPixmaps_ : idlePixmaps_;
    if (cached.isEmpty() && options_.icon) {
        for (int side : kPixmapSides) cached.append(sniPixmap(options_.icon(side, recording())));
    }
    return cached;
}

}  // namespace qv

#include "sni_status_item.moc"
