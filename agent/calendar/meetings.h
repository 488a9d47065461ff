// The calendar side of the agent: the upcoming meetings in the status menu (the cached list, its
// section of the menu and the actions of its rows) and the soon-meeting reminder that shows the
// meeting card once per meeting.
//
// Owns the cached list, the keys already reminded of, its timers and its requests, and the
// callbacks it hands the card. Main thread only.
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QSet>
#include <QString>
#include <memory>

#include "ports/browser.h"
#include "ports/clock.h"
#include "ports/http_client.h"
#include "ports/lifetime.h"
#include "ports/meeting_card.h"
#include "ports/menu_model.h"
#include "ports/recording.h"

namespace qv {

class Meetings {
  public:
    // All of it outlives this object.
    struct Services {
        HttpClient& http;
        Browser& browser;
        Clock& clock;
        Scheduler& scheduler;
        MeetingCard& card;
        RecordingRequests& recording;
        const RecordingState& state;
    };

    explicit Meetings(Services services);
    Meetings(const Meetings&) = delete;
    Meetings& operator=(const Meetings&) = delete;

    // From now on: a soon-meeting check every 30 s and a reload of the upcoming meetings every
    // 120 s; one reload at once, and a check and a reload 8 s from now.
    void run();
    // At quit: the timers stop, answers that arrive later change nothing, and the card goes.
    void shutDown();

    // Upcoming meetings (calendar/upcoming_menu.cpp). Reloads the cached list; anything but a
    // well-formed answer keeps the previous one.
    void loadUpcoming();
    // Appends the upcoming-meetings section (and its closing separator), or nothing.
    void addUpcoming(MenuRows& rows);
    // A meeting row: opens the entry's "event" as a meeting, nothing for an entry without one.
    void openEvent(const QJsonObject& entry);
    // "Join & record": opens the entry's call link, then starts a recording for its event
    // without opening the meeting's page.
    void joinRecordEvent(const QJsonObject& entry);
    // Asks the backend for the meeting of a calendar event (the event object is the whole
    // body), then opens that meeting's page.
    void openCalendarMeeting(const QJsonObject& event);
    // Opens a calendar entry's "url" when it is a link the agent opens (calendar/call_link.h);
    // returns whether it handed one to the browser.
    bool openCallLink(const QString& url);

    // The soon-meeting reminder (calendar/soon_reminder.cpp): asks the backend which meetings
    // start soon and shows the card for the first one not shown yet in this run.
    void checkSoon();

    // Upcoming meetings as the backend last listed them, in its order.
    QJsonArray upcoming;
    // Keys of the meetings whose card has been shown.
    QSet<QString> reminded;

  private:
    // Shows the card for one entry of the soon-meeting list.
    void remind(const QJsonObject& entry);

    Services services_;
    std::unique_ptr<Timer> soonTimer_;
    std::unique_ptr<Timer> upcomingTimer_;
    std::unique_ptr<Timer> followUp_;
    Lifetime life_;
};

}  // namespace qv
