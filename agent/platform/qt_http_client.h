// HTTP over Qt's network access: the backend's JSON requests and the blocking liveness probe.
#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QNetworkAccessManager>
#include <QString>
#include <QThreadPool>

#include "ports/http_client.h"

namespace qv {

// HttpClient over QNetworkAccessManager, for requests to `base` + path. Main thread only.
// Large reply bodies are decoded on a worker thread, so that a reply of any size never holds
// up the main thread for long; answers still reach their callers in the order the exchanges
// ended. Answers not delivered yet when the client goes are dropped.
class QtHttpClient : public HttpClient {
  public:
    explicit QtHttpClient(QString base);
    void send(const QString& path, const QString& method, const std::optional<QJsonObject>& body,
              double timeoutSeconds, HttpDone done) override;

  private:
    // Hands the answer to `done`, decoding `pieces` (the body as it arrived) on the way.
    void deliver(int status, QByteArrayList pieces, const HttpDone& done);

    QString base_;
    QObject deliveries_;   // the context of answers handed back from the decoder
    QThreadPool decoder_;  // one thread: decodes in the order the exchanges ended
    int decoding_ = 0;     // bodies handed to the decoder and not delivered yet
    // Last, so that it goes first: an exchange it ends on the way still finds the decoder.
    QNetworkAccessManager manager_;
};

// Decodes a reply body: its top-level object, or an empty object for anything else.
QJsonObject replyObject(const QByteArray& body);

// Blocking liveness probe of a whole URL: true only for status 200. Returns within 2 s
// (1.5 s request time-out). For background threads; never call it on the main thread.
bool httpAlive(const QString& url);

}  // namespace qv
