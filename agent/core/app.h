// The application delegate: all of the agent's state, its start-up sequence, its timers and
// its termination. One instance lives from start to exit; every field is read and written on
// the main thread only. Operations of the subsystems are defined in their own folders.
#pragma once

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>
#include <QSettings>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "calls/mic_users.h"
#include "core/recording.h"
#include "ports/browser.h"
#include "ports/clock.h"
#include "ports/data_files.h"
#include "ports/foreground.h"
#include "ports/http_client.h"
#include "ports/login_item.h"
#include "ports/meeting_card.h"
#include "ports/menu_model.h"
#include "ports/permissions.h"
#include "ports/prompt.h"
#include "ports/question.h"
#include "ports/status_item.h"
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
    virtual ~App() = default;
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // Start-up, once the event loop runs: tray entry, microphone request, then the backend
    // launch in the background, after which the first poll runs and the timers start.
    void applicationDidFinishLaunching();
    // The user started the agent again while it runs: opens the home page. Returns false.
    bool applicationShouldHandleReopen();
    // Termination (quit, signal, logout): stops what the agent launched. Runs its work once.
    void applicationWillTerminate();

    // Whether calls are noticed and offered for recording ("detectCalls", true by default).
    bool detect() const;
    void setDetect(bool on);

    // One request to the backend; `done` runs later on the main thread (see HttpClient).
    void http(const QString& path, const QString& method = QStringLiteral("GET"),
              const std::optional<QJsonObject>& body = std::nullopt, double timeout = 15.0,
              HttpDone done = nullptr);
    // Opens WEB + "/" + path in the browser; a string that is not a valid URL opens nothing.
    void openWeb(const QString& path);

    // The periodic work the timers drive.
    virtual void refresh(bool first = false);  // backend status poll, every 2 s
    virtual void watchMic();                   // call watcher, every 1.5 s
    virtual void checkSoon();                  // soon-meeting reminder, every 30 s
    virtual void loadUpcoming();               // upcoming meetings, every 120 s

    // Sets the tray entry's recording title from `recording`, `startedAt` and the clock.
    void updateButton();

    // The status menu's rows from the current state, rebuilt each time it is about to open:
    // the upcoming meetings first, then the fixed rows. Also starts a reload of the meetings.
    MenuRows menuNeedsUpdate();
    // Appends the upcoming-meetings section (and its closing separator), or nothing.
    void addUpcoming(MenuRows& rows);
    // Calendar actions (agent/calendar/). A meeting row: opens the entry's "event" as a
    // meeting, nothing for an entry without one. "Join & record": opens the entry's call link,
    // then starts a recording for its event without opening the meeting's page.
    void openEvent(const QJsonObject& entry);
    void joinRecordEvent(const QJsonObject& entry);
    // Asks the backend for the meeting of a calendar event (the event object is the whole
    // body), then opens that meeting's page.
    void openCalendarMeeting(const QJsonObject& event);
    // Opens a calendar entry's "url" when it is a link the agent opens (calendar/call_link.h);
    // returns whether it handed one to the browser.
    bool openCallLink(const QString& url);
    // Menu actions.
    void openHome();
    void openSettings();
    void openMeeting();
    void toggleDetect();
    void toggleLogin();
    void quit();  // ends the event loop; the termination path then runs

    // Recording control. Each request returns at once; its answer is handled on the main
    // thread, sets the recording fields and tells the user the outcome through `prompt`.
    void start(StartOptions options = {});
    void stop(std::optional<QString> note = std::nullopt);
    // The add-or-replace question for a meeting that already has a recording: "append",
    // "replace", or nothing for Cancel. Waits for the answer (nested event loop).
    std::optional<QString> askRecordMode(const QString& title);
    // Shows a failure message with a way to the home page.
    void alert(const QString& message);
    void startRec();
    void startRecScreen();
    void stopRec();
    // Permissions the backend needs (supervisor/permission_requests.cpp). Main thread.
    // Rewrites "permissions.json" in the data folder with the current states.
    void writePermissions();
    // Asks for the microphone (or, with `openSettings`, shows its settings when it is unusable)
    // and, once per user ("askedScreen"), for screen capture.
    void askRecordingPermissions(bool openSettings);
    // Asks for full calendar access while the user has not decided yet.
    void askCalendar();

    // State, under the names the subsystems use.
    Server& server;
    std::unique_ptr<StatusItem> item;
    Prompt& prompt;
    MeetingCard& card;
    bool recording = false;
    bool browserRecording = false;
    std::optional<QString> meetingId;
    std::optional<double> startedAt;
    bool setupDone = true;
    bool restarting = false;
    QHash<QString, double> seenSince;
    QSet<QString> dismissed;
    std::optional<QString> triggerApp;
    std::optional<double> triggerGoneSince;
    CalendarAccess& eventStore;
    QJsonArray upcoming;
    QSet<QString> reminded;

  protected:
    AppServices services_;

  private:
    void continueStartup();
    // Shows the card for one entry of the soon-meeting list (agent/calendar/).
    void remind(const QJsonObject& entry);
    void sendStart(const StartOptions& options);
    void startAnswered(const StartOptions& options, int status, const QJsonObject& reply);
    // The status poll's handling of a 200 answer, and the chores that follow it.
    void applyStatus(const QJsonObject& reply, bool first);
    void runPollChores();
    std::vector<std::unique_ptr<Timer>> timers_;
    bool terminated_ = false;
};

}  // namespace qv
