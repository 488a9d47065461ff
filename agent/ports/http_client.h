// JSON requests to the local backend.
//
// The outcome of a request is (status, reply): status is the HTTP status, or 0 when no HTTP
// answer arrived (refused, timed out, connection lost); reply is the body's top-level JSON object,
// or an empty object for no body, a body that is not JSON, or JSON that is not an object.
#pragma once

#include <QJsonObject>
#include <QString>
#include <functional>
#include <optional>

namespace qv {

using HttpDone = std::function<void(int status, const QJsonObject& reply)>;

class HttpClient {
  public:
    virtual ~HttpClient() = default;
    // Sends one request and returns at once; `done` runs once, later, on the main thread.
    // With a body the request carries it as compact JSON and "Content-Type: application/json";
    // without one it carries neither. No retries, no cancellation.
    virtual void send(const QString& path, const QString& method,
                      const std::optional<QJsonObject>& body, double timeoutSeconds,
                      HttpDone done) = 0;
};

}  // namespace qv
