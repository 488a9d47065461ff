// A sandbox's /.flatpak-info, as a process may put a root of its own in place of a sandbox's:
// any text gives no application id or one written as application ids are.
#include "fuzz_world.h"
#include "platform/process_identity.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString id = qv::flatpakAppIdFromInfo(text);
    if (id.isEmpty()) return 0;
    if (id.size() > 255 || !id.contains(QLatin1Char('.'))) qv::fuzz::broken();
    for (QChar c : id) {
        const bool ok = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                        (c >= u'0' && c <= u'9') || c == u'_' || c == u'-' || c == u'.';
        if (!ok) qv::fuzz::broken();
    }
    return 0;
}
