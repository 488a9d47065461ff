// /proc/PID/cgroup: any text names no application, or some application ids, none of them empty
// (the caller only looks them up among the installed applications).
#include "fuzz_world.h"
#include "platform/process_identity.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const QString& id : qv::unitAppIdsFromCgroup(text)) {
        if (id.isEmpty()) qv::fuzz::broken();
    }
    return 0;
}
