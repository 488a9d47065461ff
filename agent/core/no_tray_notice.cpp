#include "core/no_tray_notice.h"

#include "main/constants.h"

namespace qv {

NoTrayNotice::NoTrayNotice(TrayHosts& hosts, Scheduler& scheduler, DesktopNotifier& notifier,
                           OncePerLogin& once, std::function<void()> openWeb)
    : hosts_(hosts),
      scheduler_(scheduler),
      notifier_(notifier),
      once_(once),
      openWeb_(std::move(openWeb)) {}

void NoTrayNotice::arm() {
    wait_ = scheduler_.after(kTraySeconds, [this] { check(); });
}

DesktopNotification NoTrayNotice::notification() {
    return {
        QStringLiteral("Quorvia runs without a tray icon"),
        QStringLiteral("This desktop shows no tray icons. Quorvia still notices calls and "
                       "reminds you of meetings. Open it from here, or at %1 in your browser.")
            .arg(WEB),
        QStringLiteral("Open Quorvia"),
    };
}

void NoTrayNotice::check() {
    if (hosts_.watcherPresent() || hosts_.embeddingTrayPresent()) return;
    if (once_.done(QString::fromLatin1(kOnceKey))) return;
    once_.markDone(QString::fromLatin1(kOnceKey));
    notifier_.notify(notification(), openWeb_);
}

}  // namespace qv
