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

#include "calendar/meeting_card.h"
#include "calls/prompt.h"
#include "core/browser.h"
#include "core/clock.h"
#include "core/http.h"
#include "core/status_item.h"
#include "supervisor/permissions.h"
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
    bool terminated_ = false;
};

}  // namespace qv
