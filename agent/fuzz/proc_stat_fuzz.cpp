// /proc/PID/stat: any text gives a parent process id that is never negative (0 for none).
#include "fuzz_world.h"
#include "platform/proc_process_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    if (qv::parentFromStat(text) < 0) qv::fuzz::broken();
    return 0;
}
