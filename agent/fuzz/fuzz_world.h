// What the agent's reply targets share: the backend's answers as they reach the logic (bytes
// decoded by the HTTP client's own decoder), a backend whose requests the target answers and
// forgets, and a supervisor and recording control that only record. One instance per target,
// reused across inputs; each input starts from forget().
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/qt_http_client.h"
#include "ports/backend_supervisor.h"
#include "ports/http_client.h"
#include "ports/recording.h"

namespace qv::fuzz {

// The reply object the HTTP client would hand over for this body.
inline QJsonObject replyOf(const std::uint8_t* data, std::size_t size) {
    return replyObject(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
}

// Fails the run: the input broke a promise the code makes.
[[noreturn]] inline void broken() {
    std::abort();
}

class PendingHttp : public HttpClient {
  public:
    struct Request {
        QString path;
        std::optional<QJsonObject> body;
        HttpDone done;
    };
    void send(const QString& path, const QString&, const std::optional<QJsonObject>& body,
              double timeout, HttpDone done) override {
        if (!(timeout > 0)) broken();
        pending.push_back({path, body, std::move(done)});
    }
    // Answers the oldest request still waiting; false when none waits.
    bool answer(int status, const QJsonObject& reply) {
        if (pending.empty()) return false;
        Request r = std::move(pending.front());
        pending.erase(pending.begin());
        if (r.done) r.done(status, reply);
        return true;
    }
    std::vector<Request> pending;
};

class QuietSupervisor : public BackendSupervisor {
  public:
    bool launchedBackend() const override { return true; }
    QString host() const override { return QStringLiteral("127.0.0.1"); }
    QString wantedHost() const override { return QStringLiteral("127.0.0.1"); }
    void restartServer() override {}
    void noticeGone() override {}
};

class CountingRecording : public RecordingRequests {
  public:
    void start(StartOptions options) override {
        ++starts;
        last = std::move(options);
    }
    void stop(std::optional<QString>) override { ++stops; }
    int starts = 0, stops = 0;
    StartOptions last;
};

}  // namespace qv::fuzz
