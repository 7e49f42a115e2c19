#pragma once

#include "files/UploadTransport.h"
#include "model/Node.h"

#include <QElapsedTimer>
#include <QHash>
#include <QNetworkAccessManager>

class QNetworkReply;

namespace files {

// The upload engine's requests to one Node's Agent: short JSON calls through the blocking request
// layer, chunks posted on an own network access manager with the application proxy and an idle limit.
class AgentUploadTransport : public UploadTransport {
public:
    explicit AgentUploadTransport(const Node& node);
    ~AgentUploadTransport() override;

    TransferReply request(const QString& method, const QString& path, const QJsonObject& body) override;
    void notify(const QString& method, const QString& path, const QJsonObject& body) override;
    quint64 sendChunk(const QString& uploadId, qint64 index, const QString& localPath, qint64 offset,
                      qint64 length, Progress progress, Done done) override;
    void abortChunk(quint64 ticket) override;

private:
    void onChunkFinished(quint64 ticket);

    Node node_;
    QNetworkAccessManager manager_;
    QHash<quint64, QNetworkReply*> replies_;
    QHash<quint64, Done> done_;
    quint64 nextTicket_ = 1;
};

// The real clock: a monotonic timer and single-shot timers.
class SystemUploadClock : public UploadClock {
public:
    SystemUploadClock();
    qint64 nowMs() const override;
    void schedule(int ms, QObject* context, std::function<void()> fn) override;

private:
    QElapsedTimer timer_;
};

} // namespace files
