// Fakes of the call watcher's platform: an audio service, a process table and a desktop whose
// contents the test sets.
#pragma once

#include <QHash>
#include <QString>
#include <optional>
#include <vector>

#include "ports/mic_usage_source.h"
#include "ports/process_table.h"
#include "ports/running_applications.h"

namespace qv::test {

class FakeMicUsage : public MicUsageSource {
  public:
    struct Stream {
        bool running;
        int32_t pid;
        QString bundle;
    };
    std::vector<AudioProcess> audioProcesses() override {
        std::vector<AudioProcess> list;
        for (size_t i = 0; i < streams.size(); ++i)
            list.push_back({static_cast<uint32_t>(i), streams[i].running, streams[i].pid});
        return list;
    }
    QString bundleId(const AudioProcess& process) override {
        ++bundleReads;
        return streams.at(process.id).bundle;
    }
    std::vector<Stream> streams;
    int bundleReads = 0;
};

class FakeProcessTable : public ProcessTable {
  public:
    int32_t parentPid(int32_t pid) override { return parents.value(pid, 0); }
    QHash<int32_t, int32_t> parents;  // pid -> parent; a pid not in it does not exist
};

class FakeRunningApplications : public RunningApplications {
  public:
    std::vector<RunningApplication> runningApplications() override { return apps; }
    // A regular application with a name and, when given, an identifier.
    void add(int32_t pid, const QString& name, std::optional<QString> id = std::nullopt,
             bool regular = true) {
        apps.push_back({pid, regular, std::move(id), name});
    }
    std::vector<RunningApplication> apps;
};

}  // namespace qv::test
