// The status item and its menu: the tray entry with the elapsed recording time, and the menu's
// rows rebuilt from the current state each time it is about to open, with the actions they run.
//
// Owns the tray entry (made at launch, gone at quit). Main thread only.
#pragma once

#include <functional>
#include <memory>

#include "ports/browser.h"
#include "ports/clock.h"
#include "ports/login_item.h"
#include "ports/menu_model.h"
#include "ports/recording.h"
#include "ports/status_item.h"

namespace qv {

class StatusMenu {
  public:
    // All of it outlives this object.
    struct Services {
        Browser& browser;
        Clock& clock;
        LoginItem& loginItem;
        RecordingRequests& recording;
        const RecordingState& state;
        // Makes the tray entry at launch; returns nullptr where the desktop has no tray.
        std::function<std::unique_ptr<StatusItem>()> makeStatusItem;
    };
    // The menu's parts that other subsystems keep.
    struct Hooks {
        // Appends the upcoming-meetings section, and starts a reload of the meetings.
        std::function<void(MenuRows&)> addUpcoming;
        std::function<void()> loadUpcoming;
        // The "Notice calls and offer to record" setting.
        std::function<bool()> detect;
        std::function<void(bool)> setDetect;
    };

    StatusMenu(Services services, Hooks hooks);
    StatusMenu(const StatusMenu&) = delete;
    StatusMenu& operator=(const StatusMenu&) = delete;

    // Makes the tray entry and gives it this menu.
    void launch();
    // At quit: the tray entry goes.
    void shutDown();

    // Sets the tray entry's recording title from the recording state and the clock.
    void updateButton();
    // The status menu's rows from the current state: the upcoming meetings first, then the
    // fixed rows. Also starts a reload of the meetings, whose result shows at the next opening.
    MenuRows menuNeedsUpdate();

    // Menu actions.
    void openHome();
    void openSettings();
    void openMeeting();
    void toggleDetect();
    void toggleLogin();
    void quit();  // ends the event loop; the termination path then runs

    // The tray entry; none before launch, where the desktop has no tray, and after quit.
    std::unique_ptr<StatusItem> item;

  private:
    Services services_;
    Hooks hooks_;
};

}  // namespace qv
