// Which applications capture the microphone right now, under the names their users know them
// by: the capturing processes of the audio service, without the agent's own process family and
// the ignored system services, each mapped to the regular application it belongs to.
// Stateless; main thread only (the sources it reads are main-thread objects).
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "ports/mic_usage_source.h"
#include "ports/process_table.h"
#include "ports/running_applications.h"

namespace qv {

struct MicUser {
    int32_t pid = 0;
    QString bundle;  // the stream's application identifier as reported; empty when none
    QString name;    // the user-visible name of the application it belongs to

    bool operator==(const MicUser&) const = default;
};

// What micUsers() reads; all of it owned by the caller.
struct MicUserSources {
    MicUsageSource& audio;
    ProcessTable& processes;
    RunningApplications& applications;
    int32_t self;  // the agent's own process id
};

// The capturing processes in the audio service's order; one entry per process, so one
// application may appear more than once. Never fails: what cannot be read is left out.
std::vector<MicUser> micUsers(const MicUserSources& sources);
// micUsers() over `sources`, as the call watcher asks for it on each pass. What `sources` refers
// to must outlive the function.
std::function<std::vector<MicUser>()> micUserList(MicUserSources sources);

// The name of the regular application that `pid` belongs to: the application with that pid,
// else the first one whose identifier `bundle` extends (or equals), else the application that
// is the direct parent of `pid`. None when no regular application fits or it has no name.
std::optional<QString> visibleAppName(int32_t pid, const QString& bundle,
                                      RunningApplications& applications, ProcessTable& processes);

}  // namespace qv
