#include "calendar/meetings.h"

#include "calendar/call_link.h"

namespace qv {

namespace {
constexpr double kSoonSeconds = 30.0;
constexpr double kUpcomingSeconds = 120.0;
constexpr double kFollowUpSeconds = 8.0;
constexpr double kOpenTimeout = 20.0;
}  // namespace

Meetings::Meetings(Services services) : services_(services) {}

void Meetings::run() {
    soonTimer_ = services_.scheduler.every(kSoonSeconds, [this] { checkSoon(); });
    upcomingTimer_ = services_.scheduler.every(kUpcomingSeconds, [this] { loadUpcoming(); });
    loadUpcoming();
    followUp_ = services_.scheduler.after(kFollowUpSeconds, [this] {
        checkSoon();
        loadUpcoming();
    });
}

void Meetings::shutDown() {
    life_.end();
    soonTimer_.reset();
    upcomingTimer_.reset();
    followUp_.reset();
    services_.card.close();
}

void Meetings::openCalendarMeeting(const QJsonObject& event) {
    services_.http.send(QStringLiteral("/api/calendar/open"), QStringLiteral("POST"), event,
                        kOpenTimeout, life_.guard([this](int status, const QJsonObject& reply) {
                            const QJsonValue id = reply.value(QStringLiteral("id"));
                            if (status == 200 && id.isString())
                                openWeb(services_.browser, QStringLiteral("#/m/") + id.toString());
                        }));
}

bool Meetings::openCallLink(const QString& url) {
    const std::optional<QUrl> link = callLink(url);
    if (!link) return false;
    services_.browser.open(*link);
    return true;
}

}  // namespace qv
