// RunningApplications for a Linux desktop. The regular applications are the processes that own
// a normal top-level window, each named by its desktop entry: the entry whose StartupWMClass or
// desktop-file id matches the window's WM_CLASS, else the one its systemd unit was started for,
// else its Flatpak application's; without an entry, by the window's class. In a session without
// X11 windows for everything (Wayland), the processes whose systemd unit names a desktop entry
// count as well.
//
// Main thread only. The window list keeps itself current on its own thread; the names derived
// from it are kept until the windows or the installed entries change, so a call costs little.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "platform/desktop_entries.h"
#include "platform/window_list.h"
#include "ports/running_applications.h"

namespace qv {

// What the system tells about processes; from /proc unless a test says otherwise.
struct ProcessFacts {
    std::function<std::vector<int32_t>()> processIds;
    std::function<QStringList(int32_t pid)> unitAppIds;  // see unitAppIds()
    std::function<QString(int32_t pid)> flatpakAppId;
    static ProcessFacts fromProc();
};

class DesktopApplications : public RunningApplications {
  public:
    // `windows` and `entries` must outlive this object. With `unitProcesses`, the processes
    // whose systemd unit names an entry are listed after the windows' processes.
    DesktopApplications(WindowList& windows, DesktopEntries& entries, bool unitProcesses,
                        ProcessFacts facts = ProcessFacts::fromProc());

    std::vector<RunningApplication> runningApplications() override;

    // The desktop-file id (without ".desktop") of the installed application that `pid` belongs
    // to, as its windows, its systemd unit or its Flatpak sandbox tell; empty when none does.
    QString desktopIdOf(int32_t pid);

    // Whether this session needs the unit processes: a Wayland session, or no X11 at all.
    static bool unitProcessesWanted(const WindowList& windows);

  private:
    void refreshWindows();
    std::optional<DesktopEntry> entryOfWindow(const TopLevelWindow& window);
    std::optional<DesktopEntry> entryOfProcess(int32_t pid);
    void appendUnitProcesses(std::vector<RunningApplication>& apps);

    WindowList& windows_;
    DesktopEntries& entries_;
    const bool unitProcesses_;
    const ProcessFacts facts_;

    bool built_ = false;
    uint64_t generation_ = 0;  // of the window list the names below come from
    quint64 revision_ = 0;     // of the entries they come from
    std::vector<RunningApplication> windowApps_;
    QHash<int32_t, QString> windowIds_;                        // pid -> desktop-file id
    QHash<int32_t, std::optional<DesktopEntry>> unitEntries_;  // pid -> entry of its unit
};

}  // namespace qv
