// The real agent on a private X server with the stand-in backend serving a meeting that starts
// in a minute: the meeting card appears on its own, and its main button opens the call link
// through the desktop's opener and starts a recording for the meeting.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTimeZone>

#include "main/constants.h"
#include "support/agent_process.h"
#include "support/port_lock.h"
#include "support/stand_in_backend.h"
#include "support/xvfb.h"

using namespace qv::test;

namespace {

// Runs a command against the display and returns its standard output, trimmed.
QString onDisplay(const QString& display, const QString& program, const QStringList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display);
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(10000)) p.kill();
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// The visible top-level windows titled exactly `title`, by X window id.
QStringList windowsTitled(const QString& display, const QString& title) {
    const QString ids = onDisplay(
        display, "xdotool",
        {"search", "--onlyvisible", "--name", "^" + QRegularExpression::escape(title) + "$"});
    return ids.split('\n', Qt::SkipEmptyParts);
}

QString iso(qint64 secs) {
    return QDateTime::fromSecsSinceEpoch(secs, QTimeZone::utc()).toString(Qt::ISODate);
}

TEST(CalendarProcess, TheCardAppearsBeforeAMeetingAndItsMainButtonJoinsAndRecords) {
    PortLock port;
    Xvfb x(1280, 800);
    ASSERT_TRUE(x.running());
    const QString display = QString::fromStdString(x.display());

    StandInBackend backend(qv::PORT);
    ASSERT_TRUE(backend.ready());
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const QJsonObject event{{"id", "design-1"},
                            {"title", "Design review"},
                            {"start", iso(now + 60)},
                            {"end", iso(now + 1860)},
                            {"url", "https://example.zoom.us/j/123?pwd=abc"},
                            {"service", "zoom"},
                            {"color", "#E8590C"}};
    QFile calendar(backend.dataPath() + "/calendar.json");
    ASSERT_TRUE(calendar.open(QIODevice::WriteOnly));
    calendar.write(QJsonDocument(QJsonObject{{"events", QJsonArray{event}}}).toJson());
    calendar.close();
    // Reminders wait for the setup to be done.
    ASSERT_EQ(backend.call("POST", "/api/setup", QJsonObject{{"done", true}}).first, 200);

    AgentWorld world;
    world.variables.insert("DISPLAY", display);
    world.variables.insert("QT_QPA_PLATFORM", "xcb");
    AgentProcess agent(world);
    ASSERT_TRUE(agent.process.waitForStarted());

    QStringList cards;
    ASSERT_TRUE(waitFor(
        [&] {
            cards = windowsTitled(display, "Design review");
            return !cards.isEmpty();
        },
        30000))
        << "no meeting card within 30 s";
    ASSERT_EQ(cards.size(), 1);
    // The main control lies on the left of the action box, 260 px from the card's left edge
    // and 36 px below its top.
    onDisplay(display, "xdotool", {"mousemove", "--window", cards[0], "300", "64", "click", "1"});

    const QString link = "https://example.zoom.us/j/123?pwd=abc";
    EXPECT_TRUE(waitFor([&] { return world.opened().contains(link); }, 15000))
        << world.opened().join(' ').toStdString();
    QJsonObject start;
    EXPECT_TRUE(waitFor(
        [&] {
            const QJsonObject log = backend.call("GET", "/_control/requests").second;
            for (const QJsonValue& r : log.value("requests").toArray()) {
                const QJsonObject request = r.toObject();
                if (request.value("path") == "/api/native/start") start = request;
            }
            return !start.isEmpty();
        },
        15000));
    EXPECT_EQ(start.value("method"), "POST");
    EXPECT_EQ(QJsonDocument::fromJson(start.value("body").toString().toUtf8()).object(),
              (QJsonObject{{"event", event}}));
    EXPECT_TRUE(waitFor([&] { return windowsTitled(display, "Design review").isEmpty(); }, 5000));
    // The recording runs; its page is not opened for a joined call.
    EXPECT_TRUE(waitFor(
        [&] { return backend.call("GET", "/api/native/status").second.value("recording") == true; },
        10000));
    EXPECT_FALSE(world.opened().join(' ').contains("#/m/"));
}

}  // namespace
