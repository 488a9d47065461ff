// Calendar links: whatever an invitation holds, only a web page with a host or a call
// application's link is ever handed to the desktop.
#include "calendar/call_link.h"
#include "fuzz_world.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<QUrl> link = qv::callLink(text);
    if (!link) return 0;
    if (!link->isValid()) qv::fuzz::broken();
    const QString scheme = link->scheme();
    const bool web = scheme == QLatin1String("http") || scheme == QLatin1String("https");
    if (web && link->host().isEmpty()) qv::fuzz::broken();
    if (!web && !QStringList{"zoommtg", "zoomus", "msteams", "webex", "slack"}.contains(scheme))
        qv::fuzz::broken();
    return 0;
}
