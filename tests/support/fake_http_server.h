// An HTTP/1.1 server inside the test: records each request as it arrived on the wire and
// answers with what the test queued (status and body), or not at all. Main thread.
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

  private:
    void onData(QTcpSocket* s) {
        QByteArray& buf = buffers_[s];
        buf += s->readAll();
        const int end = buf.indexOf("\r\n\r\n");
        if (end < 0) return;
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
        if (buf.size() < end + 4 + length) return;
        r.body = buf.mid(end + 4, length);
        buffers_.remove(s);
        requests.append(r);
        const Answer a = answers_.isEmpty() ? Answer{} : answers_.takeFirst();
        if (a.silent) return;
        QByteArray out = "HTTP/1.1 " + QByteArray::number(a.status) + " Status\r\n";
        out += "Content-Length: " + QByteArray::number(a.body.size()) + "\r\n";
        out += "Connection: close\r\n\r\n" + a.body;
        s->write(out);
        s->disconnectFromHost();
    }

    QTcpServer server_;
    QList<Answer> answers_;
    QHash<QTcpSocket*, QByteArray> buffers_;
};

}  // namespace qv::test
