// The soon-meeting reminder: every poll shows the meeting card for the first meeting the
// backend lists as starting soon that has not been shown in this run of the agent.
#include "calendar/calendar_entry.h"
#include "calendar/meetings.h"

namespace qv {

namespace {
constexpr double kSoonTimeout = 25.0;
constexpr double kCardSeconds = 150.0;
}  // namespace

void Meetings::checkSoon() {
    const RecordingState& state = services_.state;
    // Never over setup or a recording; the next poll asks again.
    if (!state.setupDone || state.recording || state.browserRecording) return;
    services_.http.send(QStringLiteral("/api/calendar/soon"), QStringLiteral("GET"), std::nullopt,
                        kSoonTimeout, life_.guard([this](int status, const QJsonObject& reply) {
                            // A recording may have started while the request was out.
                            if (status != 200 || services_.state.recording) return;
                            const std::optional<QJsonArray> events = entryList(reply);
                            if (!events) return;
                            for (const QJsonValue& value : *events) {
                                const QJsonObject entry = value.toObject();
                                if (reminded.contains(entryText(entry, QStringLiteral("key"))))
                                    continue;
                                remind(entry);
                                return;
                            }
                        }));
}

void Meetings::remind(const QJsonObject& entry) {
    // An entry without a key cannot be remembered: it is never shown, and it holds back the
    // entries after it for as long as it is listed first.
    if (!entry.value(QStringLiteral("key")).isString()) return;
    reminded.insert(entry.value(QStringLiteral("key")).toString());

    const double now = services_.clock.now();
    const QString url = entryText(entry, QStringLiteral("url"));
    const std::optional<QJsonObject> event = entryEvent(entry);
    const auto record = [this, event](bool openPage) {
        services_.recording.start({.event = event, .openPage = openPage});
    };
    std::function<void()> onJoin;
    if (!url.isEmpty()) onJoin = life_.guard([this, url] { openCallLink(url); });
    services_.card.show(
        entryTitle(entry), entryDate(entry, QStringLiteral("start")).value_or(now),
        entryDate(entry, QStringLiteral("end")), entryText(entry, QStringLiteral("color")),
        entryText(entry, QStringLiteral("service")), entryText(entry, QStringLiteral("brief")),
        /*onJoinRecord=*/
        life_.guard([this, url, record] {
            openCallLink(url);
            record(false);
        }),
        /*onRecord=*/life_.guard([record, joinable = !url.isEmpty()] { record(!joinable); }),
        /*onJoin=*/onJoin,
        /*onOpen=*/
        life_.guard([this, event] { openCalendarMeeting(event.value_or(QJsonObject{})); }),
        kCardSeconds);
}

}  // namespace qv
