#include "platform/qt_http_client.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QThread>
#include <QTimer>
#include <memory>

namespace qv {

QJsonObject replyObject(const QByteArray& body) {
    if (body.isEmpty()) return {};
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    return doc.isObject() ? doc.object() : QJsonObject{};
}

QtHttpClient::QtHttpClient(QString base) : base_(std::move(base)) {
    // The backend is on loopback: a proxy from the environment must never see these requests.
    manager_.setProxy(QNetworkProxy::NoProxy);
}

void QtHttpClient::send(const QString& path, const QString& method,
                        const std::optional<QJsonObject>& body, double timeoutSeconds,
                        HttpDone done) {
    QNetworkRequest request(QUrl(base_ + path));
    QByteArray data;
    if (body) {
        data = QJsonDocument(*body).toJson(QJsonDocument::Compact);
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    }
    QNetworkReply* reply = manager_.sendCustomRequest(request, method.toLatin1(), data);

    // The time-out bounds the whole exchange; an exchange cut short reports no answer at all.
    auto timedOut = std::make_shared<bool>(false);
    auto* timer = new QTimer(reply);
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, reply, [reply, timedOut] {
        *timedOut = true;
        reply->abort();
    });
    timer->start(static_cast<int>(timeoutSeconds * 1000));

    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, timedOut, done] {
        reply->deleteLater();
        const QVariant code = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const int status = (*timedOut || !code.isValid()) ? 0 : code.toInt();
        const QJsonObject object = status == 0 ? QJsonObject{} : replyObject(reply->readAll());
        if (done) done(status, object);
    });
}

bool httpAlive(const QString& url) {
    Q_ASSERT(QThread::currentThread() != QCoreApplication::instance()->thread());
    // Everything lives on this thread's stack: when the deadline ends the wait, the request is
    // aborted and freed here, so a late completion has nothing left to touch.
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request{QUrl(url)};
    request.setTransferTimeout(1500);
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    std::unique_ptr<QNetworkReply> reply(manager.get(request));
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    deadline.start(2000);
    if (!reply->isFinished()) loop.exec();
    const bool alive = reply->isFinished() &&
                       reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200;
    reply->abort();
    return alive;
}

}  // namespace qv
