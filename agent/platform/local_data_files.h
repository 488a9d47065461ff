// DataFiles on the local file system.
#pragma once

#include "ports/data_files.h"

namespace qv {

class LocalDataFiles : public DataFiles {
  public:
    bool exists(const QString& path) override;
    bool take(const QString& path) override;
    void replace(const QString& path, const QByteArray& bytes) override;
};

}  // namespace qv
