// The stand-in backend as a child process for one test: on a free loopback port, with its data
// in a temporary folder and its test-control requests enabled. Stopped when the object goes.
// Needs QV_STAGE_RES (the staged resources folder) defined by the build. Main thread.
#pragma once

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTcpServer>
#include <QTemporaryDir>
#include <optional>

#include "support/qt_wait.h"

namespace qv::test {

class StandInBackend {
  public:
    // On `port`, or on a free one for 0. A test that takes the agent's own port (8765) holds
    // a PortLock while the backend runs.
    explicit StandInBackend(quint16 port = 0) : port_(port) {
        if (port_ == 0) {
            QTcpServer probe;  // a port nobody uses right now
            probe.listen(QHostAddress::LocalHost, 0);
            port_ = probe.serverPort();
            probe.close();
        }

        const QString res = QStringLiteral(QV_STAGE_RES);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HALCYRA_DATA", data_.path());
        env.insert("QV_BACKEND_CONTROL", "1");
        process_.setProcessEnvironment(env);
        process_.setWorkingDirectory(res + "/app");
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.setStandardOutputFile(QProcess::nullDevice());
        process_.start(res + "/python/bin/python3",
                       {"-m", "uvicorn", "app.main:app", "--host", "127.0.0.1", "--port",
                        QString::number(port_), "--log-level", "warning"});
        manager_.setProxy(QNetworkProxy::NoProxy);
        ready_ = waitFor([this] { return call("GET", "/api/status").first == 200; }, 30000);
    }
    ~StandInBackend() {
        process_.terminate();
        if (!process_.waitForFinished(10000)) process_.kill();
        process_.waitForFinished(5000);
    }

    bool ready() const { return ready_; }
    // The backend's data folder (HALCYRA_DATA), where a test puts its "calendar.json".
    QString dataPath() const { return data_.path(); }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(port_); }

    // One request, waited for: (status, reply object); status 0 without an answer.
    std::pair<int, QJsonObject> call(const QString& method, const QString& path,
                                     std::optional<QJsonObject> body = std::nullopt) {
        QNetworkRequest request(QUrl(base() + path));
        QByteArray data;
        if (body) {
            data = QJsonDocument(*body).toJson(QJsonDocument::Compact);
            request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        }
        QNetworkReply* reply = manager_.sendCustomRequest(request, method.toLatin1(), data);
        waitFor([reply] { return reply->isFinished(); }, 10000);
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QJsonObject object = QJsonDocument::fromJson(reply->readAll()).object();
        reply->deleteLater();
        return {status, object};
    }

  private:
    QTemporaryDir data_;
    QProcess process_;
    QNetworkAccessManager manager_;
    quint16 port_ = 0;
    bool ready_ = false;
};

}  // namespace qv::test
