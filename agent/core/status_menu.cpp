// The status menu: its rows from App's state, and the actions they run.
#include <QCoreApplication>

#include "core/app.h"

namespace qv {

namespace {

MenuRow action(const QString& title, const QString& key, std::function<void()> trigger) {
    return MenuRow{.title = title, .key = key, .trigger = std::move(trigger)};
}

}  // namespace

MenuRows App::menuNeedsUpdate() {
    MenuRows rows;
    addUpcoming(rows);
    loadUpcoming();  // its result shows the next time the menu opens

    rows.push_back(action(QStringLiteral("Open Quorvia"), "o", [this] { openHome(); }));
    rows.push_back(MenuRow::separator());
    if (recording) {
        rows.push_back(action(QStringLiteral("Stop recording"), "s", [this] { stopRec(); }));
        rows.push_back(action(QStringLiteral("Open this meeting"), "", [this] { openMeeting(); }));
    } else {
        MenuRow now = action(QStringLiteral("Record a meeting now"), "r", [this] { startRec(); });
        if (browserRecording) {
            now.enabled = false;
            now.title = QStringLiteral("Recording in the browser\u2026");
        }
        rows.push_back(std::move(now));
        if (!browserRecording) {
            rows.push_back(action(QStringLiteral("Record a meeting with the screen"), "",
                                  [this] { startRecScreen(); }));
        }
    }
    rows.push_back(MenuRow::separator());
    MenuRow detectRow =
        action(QStringLiteral("Notice calls and offer to record"), "", [this] { toggleDetect(); });
    detectRow.checked = detect();
    rows.push_back(std::move(detectRow));
    MenuRow loginRow = action(QStringLiteral("Open at login"), "", [this] { toggleLogin(); });
    loginRow.checked = services_.loginItem.enabled();
    rows.push_back(std::move(loginRow));
    rows.push_back(action(QStringLiteral("Settings\u2026"), ",", [this] { openSettings(); }));
    rows.push_back(MenuRow::separator());
    rows.push_back(action(QStringLiteral("Quit Quorvia"), "q", [this] { quit(); }));
    return rows;
}

void App::openHome() {
    openWeb(QString());
}

void App::openSettings() {
    openWeb(QStringLiteral("#/settings"));
}

void App::openMeeting() {
    if (meetingId) openWeb(QStringLiteral("#/m/") + *meetingId);
}

void App::toggleDetect() {
    setDetect(!detect());
}

void App::toggleLogin() {
    if (services_.loginItem.enabled()) {
        services_.loginItem.disable();
    } else {
        services_.loginItem.enable();
    }
}

void App::quit() {
    // Ends the event loop; aboutToQuit then runs applicationWillTerminate, as for a signal
    // or the end of the session.
    QCoreApplication::quit();
}

}  // namespace qv
