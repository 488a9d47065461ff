// The soon-meeting reminder: every poll shows the meeting card for the first meeting the
// backend lists as starting soon that has not been shown in this run of the agent.
#include "calendar/calendar_entry.h"
#include "core/app.h"

namespace qv {

namespace {
constexpr double kSoonTimeout = 25.0;
constexpr double kCardSeconds = 150.0;
}  // namespace

void App::checkSoon() {
    // Never over setup or a recording; the next poll asks again.
    if (!setupDone || recording || browserRecording) return;
    http(QStringLiteral("/api/calendar/soon"), QStringLiteral("GET"), std::nullopt, kSoonTimeout,
         [this](int status, const QJsonObject& reply) {
             // A recording may have started while the request was out.
             if (status != 200 || recording) return;
             const std::optional<QJsonArray> events = entryList(reply);
             if (!events) return;
             for (const QJsonValue& value : *events) {
                 const QJsonObject entry = value.toObject();
                 if (reminded.contains(entryText(entry, QStringLiteral("key")))) continue;
                 remind(entry);
                 return;
             }
         });
}

void App::remind(const QJsonObject& entry) {
    // An entry without a key cannot be remembered: it is never shown, and it holds back the
    // entries after it for as long as it is listed first.
    if (!entry.value(QStringLiteral("key")).isString()) return;
    reminded.insert(entry.value(QStringLiteral("key")).toString());

    const double now = services_.clock.now();
    const QString url = entryText(entry, QStringLiteral("url"));
    const std::optional<QJsonObject> event = entryEvent(entry);
    const auto record = [this, event](bool openPage) {
        start({.event = event, .openPage = openPage});
    };
    std::function<void()> onJoin;
    if (!url.isEmpty()) onJoin = [this, url] { openCallLink(url); };
    card.show(
        entryTitle(entry), entryDate(entry, QStringLiteral("start")).value_or(now),
        entryDate(entry, QStringLiteral("end")), entryText(entry, QStringLiteral("color")),
        entryText(entry, QStringLiteral("service")), entryText(entry, QStringLiteral("brief")),
        /*onJoinRecord=*/
        [this, url, record] {
            openCallLink(url);
            record(false);
        },
        /*onRecord=*/[record, joinable = !url.isEmpty()] { record(!joinable); },
        /*onJoin=*/onJoin,
        /*onOpen=*/
        [this, event] { openCalendarMeeting(event.value_or(QJsonObject{})); }, kCardSeconds);
}

}  // namespace qv
