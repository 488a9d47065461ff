// The HTTP client against a server inside the test: what goes over the wire, what comes back.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QThread>
#include <map>
#include <thread>
#include <vector>

#include "platform/qt_http_client.h"
#include "support/fake_http_server.h"
#include "support/qt_wait.h"

using qv::test::FakeHttpServer;
using qv::test::waitFor;

namespace {

struct Outcome {
    bool arrived = false;
    int status = -1;
    QJsonObject reply;
    bool onMainThread = false;
};

Outcome send(qv::QtHttpClient& client, const QString& path, const QString& method,
             std::optional<QJsonObject> body, double timeout = 5.0) {
    Outcome out;
    client.send(path, method, body, timeout, [&out](int status, const QJsonObject& reply) {
        out = {true, status, reply, QThread::currentThread() == qApp->thread()};
    });
    waitFor([&] { return out.arrived; }, 10000);
    return out;
}

TEST(Http, PostWithEmptyBodySendsBracesAndContentType) {
    FakeHttpServer server;
    qv::QtHttpClient client(server.base());
    const Outcome out = send(client, "/api/native/stop", "POST", QJsonObject{});
    ASSERT_TRUE(out.arrived);
    ASSERT_EQ(server.requests.size(), 1);
    const auto& r = server.requests[0];
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.path, "/api/native/stop");
    EXPECT_EQ(r.body, "{}");
    EXPECT_EQ(r.headers.value("content-type"), "application/json");
}

TEST(Http, BodyIsCompactJson) {
    FakeHttpServer server;
    qv::QtHttpClient client(server.base());
    send(client, "/api/native/start", "POST", QJsonObject{{"app", "Zoom"}, {"screen", true}});
    ASSERT_EQ(server.requests.size(), 1);
    EXPECT_EQ(server.requests[0].body, R"({"app":"Zoom","screen":true})");
}

TEST(Http, GetSendsNoContentType) {
    FakeHttpServer server;
    qv::QtHttpClient client(server.base());
    send(client, "/api/native/status", "GET", std::nullopt);
    ASSERT_EQ(server.requests.size(), 1);
    EXPECT_EQ(server.requests[0].method, "GET");
    EXPECT_FALSE(server.requests[0].headers.contains("content-type"));
    EXPECT_TRUE(server.requests[0].body.isEmpty());
}

struct ReplyCase {
    const char* name;
    int status;
    QByteArray body;
    QJsonObject expected;
};

class HttpReplies : public testing::TestWithParam<ReplyCase> {};

TEST_P(HttpReplies, StatusAndObjectReachTheCallerOnTheMainThread) {
    const ReplyCase& c = GetParam();
    FakeHttpServer server;
    server.queue({c.status, c.body});
    qv::QtHttpClient client(server.base());
    const Outcome out = send(client, "/x", "GET", std::nullopt);
    ASSERT_TRUE(out.arrived);
    EXPECT_EQ(out.status, c.status);
    EXPECT_EQ(out.reply, c.expected);
    EXPECT_TRUE(out.onMainThread);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HttpReplies,
    testing::Values(
        ReplyCase{"ok_empty_body", 200, "", {}},
        ReplyCase{"conflict_with_object", 409, R"({"needs_mode":true,"meeting":{"title":"T"}})",
                  QJsonObject{{"needs_mode", true}, {"meeting", QJsonObject{{"title", "T"}}}}},
        ReplyCase{"array_body", 200, "[1,2,3]", {}}, ReplyCase{"scalar_body", 200, "42", {}},
        ReplyCase{"not_json", 500, "Internal Server Error", {}},
        ReplyCase{"error_object", 500, R"({"error":"Disk full"})",
                  QJsonObject{{"error", "Disk full"}}}),
    [](const auto& info) { return std::string(info.param.name); });

// A calendar list of `n` meetings with long briefs, as JSON text.
QByteArray bigList(int n) {
    QJsonArray events;
    for (int i = 0; i < n; ++i)
        events.append(
            QJsonObject{{"key", QString::number(i)}, {"brief", QString(2000, QLatin1Char('b'))}});
    return QJsonDocument(QJsonObject{{"events", events}}).toJson(QJsonDocument::Compact);
}

TEST(Http, LargeRepliesArriveWholeOnTheMainThreadBesideSmallOnes) {
    // A list of several megabytes (decoded off the main thread) and small answers sent with
    // it: each reaches its caller once, on the main thread, complete.
    const QByteArray big = bigList(3000);
    ASSERT_GT(big.size(), 5'000'000);
    FakeHttpServer server;
    server.queue({200, big});
    server.queue({200, R"({"recording":true})"});
    server.queue({404, ""});
    qv::QtHttpClient client(server.base());
    std::map<QString, Outcome> outcomes;
    for (const QString path : {"/api/calendar/upcoming", "/api/native/status", "/x"}) {
        client.send(
            path, "GET", std::nullopt, 30, [&outcomes, path](int status, const QJsonObject& reply) {
                EXPECT_FALSE(outcomes.count(path)) << path.toStdString();
                outcomes[path] = {true, status, reply, QThread::currentThread() == qApp->thread()};
            });
    }
    ASSERT_TRUE(waitFor([&] { return outcomes.size() == 3; }, 30000));
    for (const auto& [path, o] : outcomes) EXPECT_TRUE(o.onMainThread) << path.toStdString();
    // The server answers in the order the requests reached it, which need not be the order
    // they were sent in: the big answer is the one with a list.
    int lists = 0;
    for (const auto& [path, o] : outcomes) {
        const QJsonArray events = o.reply.value("events").toArray();
        if (events.isEmpty()) continue;
        ++lists;
        EXPECT_EQ(o.status, 200);
        ASSERT_EQ(events.size(), 3000);
        EXPECT_EQ(events[2999].toObject().value("key"), "2999");
        EXPECT_EQ(events[2999].toObject().value("brief").toString().size(), 2000);
    }
    EXPECT_EQ(lists, 1);
}

TEST(Http, AnswersStillBeingDecodedWhenTheClientGoesAreDropped) {
    FakeHttpServer server;
    server.queue({200, bigList(3000)});
    bool gone = false;
    int late = 0;
    {
        qv::QtHttpClient client(server.base());
        client.send("/api/calendar/upcoming", "GET", std::nullopt, 30,
                    [&](int, const QJsonObject&) { late += gone ? 1 : 0; });
        ASSERT_TRUE(waitFor([&] { return server.requests.size() == 1; }, 10000));
        // Let the whole body arrive; its answer may be with the decoder now.
        qv::test::spin(300);
    }
    gone = true;
    qv::test::spin(500);
    EXPECT_EQ(late, 0);
}

// The status poll asks every two seconds: one connection is kept open between the requests
// instead of a new one for each (connecting, and closing, wakes the agent and the backend).
TEST(Http, RequestsOneAfterAnotherTravelOverOneConnection) {
    FakeHttpServer server;
    server.keepAlive = true;
    qv::QtHttpClient client(server.base());
    for (int i = 0; i < 4; ++i) {
        server.queue({200, R"({"recording": false})"});
        const Outcome out = send(client, "/api/native/status", "GET", std::nullopt);
        EXPECT_EQ(out.status, 200);
        EXPECT_EQ(out.reply.value("recording"), QJsonValue(false));
        QThread::msleep(50);  // as between polls: the connection idles
    }
    ASSERT_EQ(server.requests.size(), 4);
    EXPECT_EQ(server.connections, 1);
    // A server that closes after each answer gets a new connection for the next request.
    server.keepAlive = false;
    EXPECT_EQ(send(client, "/api/native/status", "GET", std::nullopt).status, 200);
    EXPECT_EQ(send(client, "/api/native/status", "GET", std::nullopt).status, 200);
    EXPECT_EQ(server.connections, 2);
    EXPECT_EQ(server.requests.last().connection, 2);
}

TEST(Http, RefusedConnectionIsStatusZero) {
    quint16 port;
    {
        FakeHttpServer closed;  // take a free port, then let it go
        port = closed.port();
    }
    qv::QtHttpClient client(QStringLiteral("http://127.0.0.1:%1").arg(port));
    const Outcome out = send(client, "/api/native/status", "GET", std::nullopt);
    ASSERT_TRUE(out.arrived);
    EXPECT_EQ(out.status, 0);
    EXPECT_TRUE(out.reply.isEmpty());
}

TEST(Http, TimeOutIsStatusZeroAfterTheRequestsOwnInterval) {
    FakeHttpServer server;
    server.queue({200, "", /*silent=*/true});
    qv::QtHttpClient client(server.base());
    QElapsedTimer clock;
    clock.start();
    const Outcome out = send(client, "/api/native/status", "GET", std::nullopt, 0.5);
    ASSERT_TRUE(out.arrived);
    EXPECT_EQ(out.status, 0);
    EXPECT_TRUE(out.reply.isEmpty());
    EXPECT_GE(clock.elapsed(), 450);
    EXPECT_LT(clock.elapsed(), 3000);
}

// httpAlive blocks: it runs on a worker thread while this thread serves the fake server.
bool aliveFromWorker(const QString& url, qint64* elapsedMs = nullptr) {
    bool alive = true;
    bool done = false;
    QElapsedTimer clock;
    clock.start();
    std::thread worker([&] {
        alive = qv::httpAlive(url);
        done = true;
    });
    waitFor([&] { return done; }, 10000);
    worker.join();
    if (elapsedMs) *elapsedMs = clock.elapsed();
    return alive;
}

TEST(HttpAlive, OnlyStatus200CountsAsAlive) {
    for (int status : {200, 204, 503}) {
        FakeHttpServer server;
        server.queue({status, "{}"});
        EXPECT_EQ(aliveFromWorker(server.base() + "/api/status"), status == 200) << status;
        ASSERT_EQ(server.requests.size(), 1);
        EXPECT_EQ(server.requests[0].path, "/api/status");
    }
}

TEST(HttpAlive, ServerThatNeverAnswersIsNotAliveWithinTwoSeconds) {
    FakeHttpServer server;
    server.queue({200, "", /*silent=*/true});
    qint64 elapsed = 0;
    EXPECT_FALSE(aliveFromWorker(server.base() + "/api/status", &elapsed));
    EXPECT_GE(elapsed, 1300);
    EXPECT_LE(elapsed, 2300);
}

TEST(HttpAlive, NothingListeningIsNotAlive) {
    quint16 port;
    {
        FakeHttpServer closed;
        port = closed.port();
    }
    qint64 elapsed = 0;
    EXPECT_FALSE(
        aliveFromWorker(QStringLiteral("http://127.0.0.1:%1/api/status").arg(port), &elapsed));
    EXPECT_LT(elapsed, 2100);
}

}  // namespace
