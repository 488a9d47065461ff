// The process table from /proc. Stateless; any thread.
#pragma once

#include <QByteArray>

#include "ports/process_table.h"

namespace qv {

class ProcProcessTable : public ProcessTable {
  public:
    int32_t parentPid(int32_t pid) override;
};

// The parent field of a /proc/PID/stat line; 0 when the line is not one. The command name in
// parentheses may itself hold spaces and parentheses, so it ends at the last ')'.
int32_t parentFromStat(const QByteArray& stat);

}  // namespace qv
