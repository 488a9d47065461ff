// Fakes of the agent's small services: each records what the logic asked of it.
#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>
#include <vector>

#include "core/browser.h"
#include "core/clock.h"
#include "core/http.h"
#include "supervisor/permissions.h"

namespace qv::test {

class FakeBrowser : public Browser {
  public:
    void open(const QUrl& url) override { opened.append(url.toString()); }
    QStringList opened;
};

// A backend whose answers the test gives: every request waits until the test answers it.
class FakeHttp : public HttpClient {
  public:
    struct Request {
        QString path;
        QString method;
        std::optional<QJsonObject> body;
        double timeout;
        HttpDone done;
    };
    void send(const QString& path, const QString& method, const std::optional<QJsonObject>& body,
              double timeout, HttpDone done) override {
        requests.push_back({path, method, body, timeout, std::move(done)});
    }
    // Answers request `i` (by default the oldest unanswered one).
    void answer(int status, const QJsonObject& reply = {}, std::optional<size_t> i = std::nullopt) {
        Request& r = requests.at(i ? *i : answered_++);
        if (r.done) r.done(status, reply);
    }
    std::vector<Request> requests;

  private:
    size_t answered_ = 0;
};

// Runs work at once and keeps the continuation until the test releases it.
class FakeBackground : public BackgroundQueue {
  public:
    void run(std::function<void()> work, std::function<void()> then) override {
        work();
        continuations.push_back(std::move(then));
    }
    void finish() {
        auto pending = std::move(continuations);
        continuations.clear();
        for (auto& fn : pending) fn();
    }
    std::vector<std::function<void()>> continuations;
};

class FakePermissions : public PermissionSource {
  public:
    MicAccess micAccess() override { return mic; }
    void requestMicAccess(std::function<void()> answered) override {
        ++micRequests;
        pendingAnswer = std::move(answered);
    }
    MicAccess mic = MicAccess::Granted;
    int micRequests = 0;
    std::function<void()> pendingAnswer;
};

class FakeCalendarAccess : public CalendarAccess {
  public:
    bool undetermined() const override { return notDecided; }
    void requestFullAccess() override { ++requests; }
    bool notDecided = false;
    int requests = 0;
};

}  // namespace qv::test
