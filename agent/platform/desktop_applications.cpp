#include "platform/desktop_applications.h"

#include <QSet>

#include "platform/process_identity.h"

namespace qv {

ProcessFacts ProcessFacts::fromProc() {
    return {&qv::allProcessIds, &qv::unitAppIds, &qv::flatpakAppId};
}

DesktopApplications::DesktopApplications(WindowList& windows, DesktopEntries& entries,
                                         bool unitProcesses, ProcessFacts facts)
    : windows_(windows),
      entries_(entries),
      unitProcesses_(unitProcesses),
      facts_(std::move(facts)) {}

bool DesktopApplications::unitProcessesWanted(const WindowList& windows) {
    if (!windows.available()) return true;
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland");
}

std::vector<RunningApplication> DesktopApplications::runningApplications() {
    refreshWindows();
    std::vector<RunningApplication> apps = windowApps_;
    if (unitProcesses_) appendUnitProcesses(apps);
    return apps;
}

void DesktopApplications::refreshWindows() {
    const WindowList::Snapshot snapshot = windows_.snapshot();
    const quint64 revision = entries_.revision();
    if (built_ && snapshot.generation == generation_ && revision == revision_) return;
    if (revision != revision_) unitEntries_.clear();
    built_ = true;
    generation_ = snapshot.generation;
    revision_ = revision;
    windowApps_.clear();
    windowIds_.clear();
    // One application per process, where its first window names it; it is a regular one when
    // any of its windows is a normal one.
    QHash<int32_t, size_t> index;
    for (const TopLevelWindow& window : *snapshot.windows) {
        if (window.pid <= 0) continue;
        if (auto it = index.constFind(window.pid); it != index.constEnd()) {
            windowApps_[*it].regular = windowApps_[*it].regular || window.normal;
            continue;
        }
        RunningApplication app{window.pid, window.normal, std::nullopt, std::nullopt};
        if (const std::optional<DesktopEntry> entry = entryOfWindow(window)) {
            app.bundleIdentifier = entry->id;
            app.localizedName = entry->name;
            windowIds_.insert(window.pid, entry->id);
        } else if (!window.wmClass.empty() || !window.instance.empty()) {
            app.localizedName =
                QString::fromStdString(window.wmClass.empty() ? window.instance : window.wmClass);
        }
        index.insert(window.pid, windowApps_.size());
        windowApps_.push_back(std::move(app));
    }
}

std::optional<DesktopEntry> DesktopApplications::entryOfWindow(const TopLevelWindow& window) {
    for (const std::string& name : {window.wmClass, window.instance}) {
        if (name.empty()) continue;
        if (auto entry = entries_.byWmClass(QString::fromStdString(name))) return entry;
    }
    return entryOfProcess(window.pid);
}

std::optional<DesktopEntry> DesktopApplications::entryOfProcess(int32_t pid) {
    for (const QString& id : facts_.unitAppIds(pid))
        if (auto entry = entries_.byId(id)) return entry;
    const QString flatpak = facts_.flatpakAppId(pid);
    if (!flatpak.isEmpty()) return entries_.byId(flatpak);
    return std::nullopt;
}

QString DesktopApplications::desktopIdOf(int32_t pid) {
    if (pid <= 0) return {};
    refreshWindows();
    if (auto it = windowIds_.constFind(pid); it != windowIds_.constEnd()) return *it;
    const std::optional<DesktopEntry> entry = entryOfProcess(pid);
    return entry ? entry->id : QString();
}

void DesktopApplications::appendUnitProcesses(std::vector<RunningApplication>& apps) {
    QSet<int32_t> listed;
    for (const RunningApplication& app : apps) listed.insert(app.pid);
    QHash<int32_t, std::optional<DesktopEntry>> seen;
    for (const int32_t pid : facts_.processIds()) {
        // A process keeps its unit for life: read it once (again when the entries change).
        auto cached = unitEntries_.constFind(pid);
        const std::optional<DesktopEntry> entry =
            cached != unitEntries_.constEnd() ? *cached : entryOfProcess(pid);
        seen.insert(pid, entry);
        if (entry && !listed.contains(pid)) apps.push_back({pid, true, entry->id, entry->name});
    }
    unitEntries_ = std::move(seen);
}

}  // namespace qv
