#include "core/app.h"

namespace qv {

App::App(AppServices services)
    : server(services.server),
      prompt(services.prompt),
      card(services.card),
      eventStore(services.eventStore),
      permissions({services.permissions, services.eventStore, services.settings,
                   services.foreground, services.files,
                   [&server = services.server] { return server.dataDir(); }}),
      recordingControl(
          {services.http, services.browser, services.clock, services.prompt, services.question},
          {.started =
               [this](const std::optional<QString>& app, const std::optional<QString>& meetingId,
                      double at) {
                   watcher.callStarted(app);
                   statusPoll.recordingStarted(meetingId, at);
               },
           .stopped =
               [this] {
                   watcher.callEnded();
                   statusPoll.recordingStopped();
               }}),
      statusPoll({services.http, services.browser, services.clock, services.scheduler,
                  services.background, services.server},
                 {.changed = [this] { menu.updateButton(); },
                  .notRecording = [this] { watcher.callEnded(); },
                  .answered = [this] { permissions.handshake(); }}),
      watcher({services.clock, services.scheduler, services.prompt, services.settings,
               recordingControl, statusPoll.state, services.micUsers},
              {.refreshTitle = [this] { menu.updateButton(); }}),
      meetings({services.http, services.browser, services.clock, services.scheduler, services.card,
                recordingControl, statusPoll.state}),
      menu({services.browser, services.clock, services.loginItem, recordingControl,
            statusPoll.state, services.makeStatusItem},
           {.addUpcoming = [this](MenuRows& rows) { meetings.addUpcoming(rows); },
            .loadUpcoming = [this] { meetings.loadUpcoming(); },
            .detect = [this] { return watcher.detect(); },
            .setDetect = [this](bool on) { watcher.setDetect(on); }}),
      services_(std::move(services)) {}

void App::applicationDidFinishLaunching() {
    menu.launch();
    permissions.askMicrophoneAtLaunch();
    // The backend launch may block for half a minute: the tray works meanwhile.
    services_.background.run([&server = server] { server.start(); },
                             life_.guard([this] { continueStartup(); }));
}

void App::continueStartup() {
    statusPoll.refresh(true);
    statusPoll.run();
    watcher.run();
    meetings.run();
}

bool App::applicationShouldHandleReopen() {
    openWeb(services_.browser, QString());
    return false;
}

void App::applicationWillTerminate() {
    if (terminated_) return;
    terminated_ = true;
    life_.end();  // a launch that returns now starts nothing
    menu.shutDown();
    meetings.shutDown();
    watcher.shutDown();
    statusPoll.shutDown();
    recordingControl.shutDown();
    permissions.shutDown();
    server.stop();
}

}  // namespace qv
