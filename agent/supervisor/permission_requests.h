// The permissions the backend needs: the permission file it reads ("permissions.json" in the data
// folder), the requests it asks the agent to make through marker files, and the microphone
// request at launch.
//
// Owns nothing but the answers it waits for (and "askedScreen" in the settings). Main thread only.
#pragma once

#include <QSettings>
#include <QString>
#include <functional>

#include "ports/data_files.h"
#include "ports/foreground.h"
#include "ports/lifetime.h"
#include "ports/permissions.h"

namespace qv {

class PermissionRequests {
  public:
    // All of it outlives this object.
    struct Services {
        PermissionSource& permissions;
        CalendarAccess& eventStore;
        QSettings& settings;
        Foreground& foreground;
        DataFiles& files;
        // The data folder shared with the backend.
        std::function<QString()> dataDir;
    };

    explicit PermissionRequests(Services services);
    PermissionRequests(const PermissionRequests&) = delete;
    PermissionRequests& operator=(const PermissionRequests&) = delete;

    // At launch: asks for the microphone while the user has not decided; the answer is not
    // awaited (the permission file reports it later).
    void askMicrophoneAtLaunch();
    // After every poll the backend answered: rewrites the permission file, then takes the
    // "ask_recording" and "ask_calendar" markers and makes the requests they stand for.
    void handshake();
    // At quit: an answer that arrives later writes nothing.
    void shutDown();

    // Rewrites "permissions.json" in the data folder with the current states.
    void writePermissions();
    // Asks for the microphone (or, with `openSettings`, shows its settings when it is unusable)
    // and, once per user ("askedScreen"), for screen capture.
    void askRecordingPermissions(bool openSettings);
    // Asks for full calendar access while the user has not decided yet.
    void askCalendar();

  private:
    Services services_;
    Lifetime life_;
};

}  // namespace qv
