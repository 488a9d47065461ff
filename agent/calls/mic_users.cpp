#include "calls/mic_users.h"

#include "main/constants.h"

namespace qv {

namespace {

// The agent itself, a process it launched, or one launched by such a process (the local
// backend and its helpers record audio on the agent's behalf).
bool inAgentFamily(int32_t pid, const MicUserSources& s) {
    if (pid == s.self) return true;
    const int32_t parent = s.processes.parentPid(pid);
    if (parent == s.self) return true;
    return s.processes.parentPid(parent) == s.self;
}

bool ignored(const QString& bundle) {
    const QString lower = bundle.toLower();
    for (const QString& prefix : IGNORED_PREFIXES)
        if (lower.startsWith(prefix)) return true;
    return false;
}

}  // namespace

std::vector<MicUser> micUsers(const MicUserSources& sources) {
    std::vector<MicUser> users;
    for (const AudioProcess& process : sources.audio.audioProcesses()) {
        if (!process.inputRunning) continue;
        if (inAgentFamily(process.pid, sources)) continue;
        const QString bundle = sources.audio.bundleId(process);
        if (ignored(bundle)) continue;
        const std::optional<QString> name =
            visibleAppName(process.pid, bundle, sources.applications, sources.processes);
        if (!name) continue;
        users.push_back({process.pid, bundle, *name});
    }
    return users;
}

std::optional<QString> visibleAppName(int32_t pid, const QString& bundle,
                                      RunningApplications& applications, ProcessTable& processes) {
    std::vector<RunningApplication> regular;
    for (RunningApplication& app : applications.runningApplications())
        if (app.regular) regular.push_back(std::move(app));

    for (const RunningApplication& app : regular)
        if (app.pid == pid) return app.localizedName;

    if (!bundle.isEmpty()) {
        for (const RunningApplication& app : regular) {
            // An empty identifier is no identifier: every string would begin with it.
            if (!app.bundleIdentifier || app.bundleIdentifier->isEmpty()) continue;
            if (bundle.startsWith(*app.bundleIdentifier, Qt::CaseSensitive))
                return app.localizedName;
        }
    }

    // Only the direct parent: a grandchild of an application is not taken for it.
    const int32_t parent = processes.parentPid(pid);
    if (parent >= 2) {
        for (const RunningApplication& app : regular)
            if (app.pid == parent) return app.localizedName;
    }
    return std::nullopt;
}

std::function<std::vector<MicUser>()> micUserList(MicUserSources sources) {
    return [sources] { return micUsers(sources); };
}

}  // namespace qv
