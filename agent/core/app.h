// The application delegate: the one place that creates the agent's subsystems in start-up order,
// hands each the services it needs, connects them, runs the start-up sequence and tears them down
// in reverse order at quit. The state lives in the subsystems, each of which owns its timers and
// requests; App keeps none of its own. One instance lives from start to exit; main thread only.
#pragma once

#include <QSettings>
#include <functional>
#include <memory>
#include <vector>

#include "calendar/meetings.h"
#include "calls/call_watcher.h"
#include "calls/mic_users.h"
#include "core/recording_control.h"
#include "core/status_menu.h"
#include "core/status_poll.h"
#include "ports/browser.h"
#include "ports/clock.h"
#include "ports/data_files.h"
#include "ports/foreground.h"
#include "ports/http_client.h"
#include "ports/lifetime.h"
#include "ports/login_item.h"
#include "ports/meeting_card.h"
#include "ports/permissions.h"
#include "ports/prompt.h"
#include "ports/question.h"
#include "ports/status_item.h"
#include "supervisor/permission_requests.h"
#include "supervisor/server.h"

namespace qv {

// Everything App reaches outside itself. Owned by the caller; all of it outlives App.
struct AppServices {
    HttpClient& http;
    Browser& browser;
    Clock& clock;
    Scheduler& scheduler;
    BackgroundQueue& background;
    QSettings& settings;
    PermissionSource& permissions;
    Server& server;
    Prompt& prompt;
    MeetingCard& card;
    CalendarAccess& eventStore;
    // Makes the tray entry at launch; returns nullptr where the desktop has no tray.
    std::function<std::unique_ptr<StatusItem>()> makeStatusItem;
    // Start at login, and the modal add-or-replace question of a recording start.
    LoginItem& loginItem;
    QuestionDialog& question;
    // Brings the agent in front before it asks the user something.
    Foreground& foreground;
    // The markers the backend leaves in the data folder and the permission file the agent keeps.
    DataFiles& files;
    // The applications capturing the microphone now (see micUsers()); nobody when not given.
    std::function<std::vector<MicUser>()> micUsers;
};

class App {
  public:
    explicit App(AppServices services);
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // Start-up, once the event loop runs: tray entry, microphone request, then the backend
    // launch in the background, after which the first poll runs and the timers start.
    void applicationDidFinishLaunching();
    // The user started the agent again while it runs: opens the home page. Returns false.
    bool applicationShouldHandleReopen();
    // Termination (quit, signal, logout): tears the subsystems down in reverse order, each
    // ending its timers and requests, then stops what the agent launched. Runs its work once.
    void applicationWillTerminate();

    // The objects the services provide, under the names the agent's state has for them.
    Server& server;
    Prompt& prompt;
    MeetingCard& card;
    CalendarAccess& eventStore;

    // The subsystems, in start-up order.
    PermissionRequests permissions;     // the supervisor's permission file and requests
    RecordingControl recordingControl;  // start and stop requests, their outcome
    StatusPoll statusPoll;              // the backend's recording state, every 2 s
    CallWatcher watcher;                // calls on the microphone, every 1.5 s
    Meetings meetings;                  // upcoming meetings and the soon-meeting reminder
    StatusMenu menu;                    // the tray entry and its menu

  private:
    void continueStartup();

    AppServices services_;
    Lifetime life_;
    bool terminated_ = false;
};

}  // namespace qv
