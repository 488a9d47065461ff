#include "calendar/call_link.h"

#include <QStringList>

namespace qv {

namespace {

// The schemes the call applications register for joining a meeting from a link.
const QStringList kCallSchemes = {
    QStringLiteral("zoommtg"), QStringLiteral("zoomus"), QStringLiteral("msteams"),
    QStringLiteral("webex"),   QStringLiteral("slack"),
};

}  // namespace

std::optional<QUrl> callLink(const QString& url) {
    if (url.isEmpty()) return std::nullopt;
    // Tolerant, as links pasted into invitations often carry characters left unencoded.
    const QUrl link(url, QUrl::TolerantMode);
    if (!link.isValid()) return std::nullopt;
    const QString scheme = link.scheme();  // QUrl keeps schemes in lower case
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) {
        if (link.host().isEmpty()) return std::nullopt;
        return link;
    }
    if (kCallSchemes.contains(scheme)) return link;
    return std::nullopt;
}

}  // namespace qv
