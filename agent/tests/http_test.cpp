// The HTTP client against a server inside the test: what goes over the wire, what comes back.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QThread>
#include <thread>

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
