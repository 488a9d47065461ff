// HTTP over Qt's network access: the backend's JSON requests and the blocking liveness probe.
#pragma once

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QString>

#include "ports/http_client.h"

namespace qv {

// HttpClient over QNetworkAccessManager, for requests to `base` + path. Main thread only.
class QtHttpClient : public HttpClient {
  public:
    explicit QtHttpClient(QString base);
    void send(const QString& path, const QString& method, const std::optional<QJsonObject>& body,
              double timeoutSeconds, HttpDone done) override;

  private:
    QString base_;
    QNetworkAccessManager manager_;
};

// Decodes a reply body: its top-level object, or an empty object for anything else.
QJsonObject replyObject(const QByteArray& body);

// Blocking liveness probe of a whole URL: true only for status 200. Returns within 2 s
// (1.5 s request time-out). For background threads; never call it on the main thread.
bool httpAlive(const QString& url);

}  // namespace qv
