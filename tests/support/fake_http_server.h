// An HTTP/1.1 server inside the test: records each request as it arrived on the wire and
// answers with what the test queued (status and body), or not at all. It closes each connection
// after its answer unless `keepAlive` is set, and counts the connections it accepted. Main
// thread.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>
#include <optional>

namespace qv::test {

class FakeHttpServer : public QObject {
  public:
    struct Request {
        QByteArray method;
        QByteArray path;
        QHash<QByteArray, QByteArray> headers;  // names in lower case
        QByteArray body;
        int connection = 0;  // the connection it came on: 1 for the first accepted, and so on
    };
    struct Answer {
        int status = 200;
        QByteArray body;
        bool silent = false;  // accept the request, never answer
    };

    // On `port` of the loopback address; 0 picks a free one. listening() tells whether it got it.
    explicit FakeHttpServer(quint16 port = 0) {
        server_.listen(QHostAddress::LocalHost, port);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                numbers_.insert(s, ++connections);
                connect(s, &QTcpSocket::readyRead, this, [this, s] { onData(s); });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    bool listening() const { return server_.isListening(); }
    quint16 port() const { return server_.serverPort(); }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(port()); }
    // Answers are used in order; with none queued the server answers 200 with no body.
    void queue(Answer answer) { answers_.append(answer); }
    QList<Request> requests;
    bool keepAlive = false;
    int connections = 0;

  private:
    void onData(QTcpSocket* s) {
        buffers_[s] += s->readAll();
        while (takeRequest(s)) {
        }
    }

    // Answers the first whole request in the socket's buffer; false when there is none.
    bool takeRequest(QTcpSocket* s) {
        QByteArray& buf = buffers_[s];
        const int end = buf.indexOf("\r\n\r\n");
        if (end < 0) return false;
        Request r;
        const QList<QByteArray> lines = buf.left(end).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        r.method = first.value(0);
        r.path = first.value(1);
        for (int i = 1; i < lines.size(); ++i) {
            const int colon = lines[i].indexOf(':');
            if (colon > 0)
                r.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                 lines[i].mid(colon + 1).trimmed());
        }
        const int length = r.headers.value("content-length", "0").toInt();
        if (buf.size() < end + 4 + length) return false;
        r.body = buf.mid(end + 4, length);
        r.connection = numbers_.value(s);
        buf.remove(0, end + 4 + length);
        requests.append(r);
        const Answer a = answers_.isEmpty() ? Answer{} : answers_.takeFirst();
        if (a.silent) return false;
        QByteArray out = "HTTP/1.1 " + QByteArray::number(a.status) + " Status\r\n";
        out += "Content-Length: " + QByteArray::number(a.body.size()) + "\r\n";
        if (!keepAlive) out += "Connection: close\r\n";
        s->write(out + "\r\n" + a.body);
        if (keepAlive) return true;
        buffers_.remove(s);
        s->disconnectFromHost();
        return false;
    }

    QTcpServer server_;
    QList<Answer> answers_;
    QHash<QTcpSocket*, QByteArray> buffers_;
    QHash<QTcpSocket*, int> numbers_;
};

}  // namespace qv::test
