#pragma once

#include "net/RequestResult.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <functional>

class QObject;

namespace files {

// What came back for one request.
struct TransferReply {
    int status = 0;       // HTTP status, 0 when none arrived
    QJsonObject json;     // the body as a JSON object (empty when it is not one)
    QByteArray body;      // the raw body (chunk replies only), capped
    QString networkError; // empty when the network layer reported none

    bool succeeded() const {
        return networkError.isEmpty() && status > 0 && status < 300 && !json.contains(QLatin1String("error"));
    }
    // A short request's reply under the failure rule every page uses.
    net::RequestResult result() const { return {status, json}; }
};

// How the upload engine reaches an Agent. The network implementation posts to the Node; tests drive a
// scripted one.
class UploadTransport {
public:
    using Progress = std::function<void(qint64 bytesSent)>;
    using Done = std::function<void(const TransferReply&)>;

    virtual ~UploadTransport() = default;

    // A short JSON request, awaited; other replies and timers keep being delivered meanwhile.
    virtual TransferReply request(const QString& method, const QString& path, const QJsonObject& body) = 0;
    // A short JSON request nobody waits for (a cancel sent while the pane goes away).
    virtual void notify(const QString& method, const QString& path, const QJsonObject& body) = 0;
    // Posts one chunk, bytes [offset, offset + length) of the local file, read from disk while they go
    // out; returns a ticket (> 0). progress and done arrive later, on this thread.
    virtual quint64 sendChunk(const QString& uploadId, qint64 index, const QString& localPath, qint64 offset,
                              qint64 length, Progress progress, Done done) = 0;
    // Forgets the ticket first, then ends its request: done is never called for it.
    virtual void abortChunk(quint64 ticket) = 0;
};

// Time as the upload engine sees it.
class UploadClock {
public:
    virtual ~UploadClock() = default;
    virtual qint64 nowMs() const = 0;
    // Runs fn once after ms, unless context is gone by then.
    virtual void schedule(int ms, QObject* context, std::function<void()> fn) = 0;
};

} // namespace files
