// Fakes of the agent's small services: each records what the logic asked of it.
#pragma once

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ports/browser.h"
#include "ports/clock.h"
#include "ports/foreground.h"
#include "ports/http_client.h"
#include "ports/installed_apps.h"
#include "ports/login_item.h"
#include "ports/meeting_card.h"
#include "ports/permissions.h"
#include "ports/prompt.h"
#include "ports/question.h"
#include "ports/status_item.h"

namespace qv::test {

class FakeBrowser : public Browser {
  public:
    void open(const QUrl& url) override {
        opened.append(url.toString());
        if (onOpen) onOpen(url);
    }
    QStringList opened;
    std::function<void(const QUrl&)> onOpen;  // optional: lets a test see when a URL opens
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
        if (onSend) onSend(requests.back());
    }
    // Answers request `i` (by default the oldest unanswered one).
    void answer(int status, const QJsonObject& reply = {}, std::optional<size_t> i = std::nullopt) {
        Request& r = requests.at(i ? *i : answered_++);
        if (r.done) r.done(status, reply);
    }
    std::vector<Request> requests;
    // Optional: sees each request as it is sent (and may answer it at once).
    std::function<void(Request&)> onSend;

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
    bool screenCaptureAllowed() override { return screen; }
    void requestScreenCapture() override {
        ++screenRequests;
        if (onRequest) onRequest();
    }
    void openMicSettings() override {
        ++settingsOpened;
        if (onRequest) onRequest();
    }
    MicAccess mic = MicAccess::Granted;
    bool screen = true;
    int micRequests = 0;
    int screenRequests = 0;
    int settingsOpened = 0;
    std::function<void()> pendingAnswer;
    // Runs inside each screen request and settings opening, to see the world at that moment.
    std::function<void()> onRequest;
};

class FakeForeground : public Foreground {
  public:
    void activate() override { ++activations; }
    int activations = 0;
};

class FakeCalendarAccess : public CalendarAccess {
  public:
    bool undetermined() const override { return notDecided; }
    void requestFullAccess() override {
        ++requests;
        if (onRequest) onRequest();
    }
    std::function<void()> onRequest;
    bool notDecided = false;
    int requests = 0;
};

// A prompt that keeps what it was asked to show; the test clicks its buttons. Like the real
// one, a click closes the prompt before the callback runs.
class FakePrompt : public Prompt {
  public:
    struct Shown {
        QString title, subtitle, primary, secondary;
        std::function<void()> onPrimary, onSecondary;
        double seconds;
    };
    void show(const QString& title, const QString& subtitle, const QString& primary,
              const QString& secondary, std::function<void()> onPrimary,
              std::function<void()> onSecondary, double seconds) override {
        shown.push_back({title, subtitle, primary, secondary, std::move(onPrimary),
                         std::move(onSecondary), seconds});
        open = true;
    }
    void close() override { open = false; }
    bool visible() const override { return open; }
    void clickPrimary() { click(shown.back().onPrimary); }
    void clickSecondary() { click(shown.back().onSecondary); }
    std::vector<Shown> shown;
    bool open = false;

  private:
    void click(std::function<void()> fn) {
        open = false;
        if (fn) fn();
    }
};

// A meeting card that keeps what it was asked to show; the test runs its callbacks. Like the
// real one, a callback closes the card before it runs.
class FakeMeetingCard : public MeetingCard {
  public:
    struct Shown {
        QString title;
        double start;
        std::optional<double> end;
        QString color, service, brief;
        std::function<void()> onJoinRecord, onRecord, onJoin, onOpen;
        double seconds;
    };
    void show(const QString& title, double start, std::optional<double> end, const QString& color,
              const QString& service, const QString& brief, std::function<void()> onJoinRecord,
              std::function<void()> onRecord, std::function<void()> onJoin,
              std::function<void()> onOpen, double seconds) override {
        shown.push_back({title, start, end, color, service, brief, std::move(onJoinRecord),
                         std::move(onRecord), std::move(onJoin), std::move(onOpen), seconds});
        open = true;
    }
    void close() override { open = false; }
    bool visible() const override { return open; }
    // Runs a callback of the last card shown, as its control would.
    void run(std::function<void()> Shown::*callback) {
        open = false;
        if (auto fn = shown.back().*callback) fn();
    }
    std::vector<Shown> shown;
    bool open = false;
};

// Installed applications by desktop-file id and URL handlers by scheme, with their icons;
// counts the questions asked.
class FakeInstalledApps : public InstalledApps {
  public:
    std::optional<QString> iconOf(const QString& desktopId) override {
        asked.append(desktopId);
        auto it = apps.constFind(desktopId);
        return it == apps.constEnd() ? std::nullopt : std::optional<QString>(*it);
    }
    std::optional<QString> iconOfHandler(const QUrl& url) override {
        asked.append(url.scheme() + ":");
        auto it = handlers.constFind(url.scheme());
        return it == handlers.constEnd() ? std::nullopt : std::optional<QString>(*it);
    }
    QHash<QString, QString> apps;      // desktop-file id -> icon
    QHash<QString, QString> handlers;  // URL scheme -> icon of its handler
    QStringList asked;                 // ids, and "scheme:" for handler questions, in order
};

// Answers each question with the next scripted answer (nothing when none is left).
class FakeQuestion : public QuestionDialog {
  public:
    std::optional<int> ask(const Question& question) override {
        asked.push_back(question);
        if (answers.empty()) return std::nullopt;
        const std::optional<int> next = answers.front();
        answers.erase(answers.begin());
        return next;
    }
    std::vector<std::optional<int>> answers;
    std::vector<Question> asked;
};

class FakeLoginItem : public LoginItem {
  public:
    bool enabled() const override { return on; }
    void enable() override {
        calls.push_back("enable");
        if (!failing) on = true;
    }
    void disable() override {
        calls.push_back("disable");
        if (!failing) on = false;
    }
    bool on = false;
    bool failing = false;
    std::vector<std::string> calls;
};

// A tray entry that keeps its titles and hands out the menu rows on request.
class FakeStatusItem : public StatusItem {
  public:
    void setTitle(const QString& elapsed) override { titles.append(elapsed); }
    void setMenuSource(std::function<MenuRows()> rows) override { source = std::move(rows); }
    MenuRows open() { return source ? source() : MenuRows{}; }
    QStringList titles;
    std::function<MenuRows()> source;
};

}  // namespace qv::test
