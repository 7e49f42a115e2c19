#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <deque>
#include <memory>

class QTcpServer;
class QTcpSocket;

namespace testsupport {

// A tiny HTTP/1.1 server on 127.0.0.1 for tests of request code over real sockets: it records every
// request (method, path with query, headers, body) and answers with the reply the test queued, or
// the default reply. A reply can also hang (accept, never answer) or answer after a delay.
class RecordingServer {
public:
    struct Request {
        QByteArray method;
        QByteArray path;
        QMap<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
        QByteArray header(const QByteArray& name) const { return headers.value(name.toLower()); }
        bool hasHeader(const QByteArray& name) const { return headers.contains(name.toLower()); }
    };

    struct Reply {
        int status = 200;
        QByteArray body = "{}";
        QByteArray contentType = "application/json";
        QList<QPair<QByteArray, QByteArray>> extraHeaders;
        bool hang = false;
        qint64 announcedLength = -1; // Content-Length to announce when it should differ from the body's
        int delayMs = 0;
        qint64 streamBytes =
            0; // filler bytes sent after the body, block by block, until done or the peer leaves
        bool noContentLength = false; // the body runs until the connection closes
    };

    RecordingServer();
    ~RecordingServer();

    quint16 port() const;
    QString baseUrl() const; // "http://127.0.0.1:PORT"

    void setDefaultReply(const Reply& reply);
    void queueReply(const Reply& reply);
    static Reply json(int status, const QByteArray& body) { return Reply{status, body}; }
    // A redirect with this status to location (a full URL, e.g. another server's).
    static Reply redirect(int status, const QString& location);

    const QList<Request>& requests() const { return requests_; }
    Request lastRequest() const { return requests_.isEmpty() ? Request() : requests_.last(); }
    void clear() { requests_.clear(); }

private:
    void onConnection();
    void onReadable(QTcpSocket* socket);
    void respond(QTcpSocket* socket);

    std::unique_ptr<QTcpServer> server_;
    QHash<QTcpSocket*, QByteArray> buffers_;
    QList<Request> requests_;
    std::deque<Reply> queued_;
    Reply defaultReply_;
};

} // namespace testsupport
