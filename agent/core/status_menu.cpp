#include "core/status_menu.h"

#include <QCoreApplication>

#include "core/status_title.h"

namespace qv {

namespace {

MenuRow action(const QString& title, const QString& key, std::function<void()> trigger) {
    return MenuRow{.title = title, .key = key, .trigger = std::move(trigger)};
}

}  // namespace

StatusMenu::StatusMenu(Services services, Hooks hooks)
    : services_(std::move(services)), hooks_(std::move(hooks)) {}

void StatusMenu::launch() {
    if (services_.makeStatusItem) item = services_.makeStatusItem();
    if (item) item->setMenuSource([this] { return menuNeedsUpdate(); });
}

void StatusMenu::shutDown() {
    item.reset();
}

void StatusMenu::updateButton() {
    if (!item) return;
    const RecordingState& state = services_.state;
    if (state.recording && state.startedAt) {
        item->setTitle(elapsedText(services_.clock.now() - *state.startedAt));
    } else {
        item->setTitle(QString());
    }
}

MenuRows StatusMenu::menuNeedsUpdate() {
    const RecordingState& state = services_.state;
    MenuRows rows;
    if (hooks_.addUpcoming) hooks_.addUpcoming(rows);
    if (hooks_.loadUpcoming) hooks_.loadUpcoming();  // its result shows the next time

    rows.push_back(action(QStringLiteral("Open Quorvia"), "o", [this] { openHome(); }));
    rows.push_back(MenuRow::separator());
    if (state.recording) {
        rows.push_back(action(QStringLiteral("Stop recording"), "s",
                              [this] { services_.recording.stopRec(); }));
        rows.push_back(action(QStringLiteral("Open this meeting"), "", [this] { openMeeting(); }));
    } else {
        MenuRow now = action(QStringLiteral("Record a meeting now"), "r",
                             [this] { services_.recording.startRec(); });
        if (state.browserRecording) {
            now.enabled = false;
            now.title = QStringLiteral("Recording in the browser\u2026");
        }
        rows.push_back(std::move(now));
        if (!state.browserRecording) {
            rows.push_back(action(QStringLiteral("Record a meeting with the screen"), "",
                                  [this] { services_.recording.startRecScreen(); }));
        }
    }
    rows.push_back(MenuRow::separator());
    MenuRow detectRow =
        action(QStringLiteral("Notice calls and offer to record"), "", [this] { toggleDetect(); });
    detectRow.checked = hooks_.detect ? hooks_.detect() : true;
    rows.push_back(std::move(detectRow));
    MenuRow loginRow = action(QStringLiteral("Open at login"), "", [this] { toggleLogin(); });
    loginRow.checked = services_.loginItem.enabled();
    rows.push_back(std::move(loginRow));
    rows.push_back(action(QStringLiteral("Settings\u2026"), ",", [this] { openSettings(); }));
    rows.push_back(MenuRow::separator());
    rows.push_back(action(QStringLiteral("Quit Quorvia"), "q", [this] { quit(); }));
    return rows;
}

void StatusMenu::openHome() {
    openWeb(services_.browser, QString());
}

void StatusMenu::openSettings() {
    openWeb(services_.browser, QStringLiteral("#/settings"));
}

void StatusMenu::openMeeting() {
    if (const std::optional<QString>& id = services_.state.meetingId)
        openWeb(services_.browser, QStringLiteral("#/m/") + *id);
}

void StatusMenu::toggleDetect() {
    if (hooks_.detect && hooks_.setDetect) hooks_.setDetect(!hooks_.detect());
}

void StatusMenu::toggleLogin() {
    if (services_.loginItem.enabled()) {
        services_.loginItem.disable();
    } else {
        services_.loginItem.enable();
    }
}

void StatusMenu::quit() {
    // Ends the event loop; aboutToQuit then runs applicationWillTerminate, as for a signal
    // or the end of the session.
    QCoreApplication::quit();
}

}  // namespace qv
