#include "files/AgentUploadTransport.h"

#include "files/FilesTiming.h"
#include "files/UploadRules.h"
#include "net/ApplicationProxy.h"
#include "net/ReplyGuard.h"
#include "net/RequestLayer.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QTimer>
#include <QUrl>

namespace files {
namespace {

QByteArray cappedBody(QNetworkReply* reply) {
    // A reply ended by an error or by its guard is closed and has nothing left to read.
    return reply->isOpen() ? reply->read(kReplyBodyCap) : QByteArray();
}

// A window on a local file: the network layer reads the chunk from disk piece by piece as it sends,
// so no chunk is ever held in memory whole. It may rewind when a request is sent again.
class FileRangeDevice : public QIODevice {
public:
    FileRangeDevice(const QString& path, qint64 offset, qint64 length)
        : file_(path), offset_(offset), length_(length) {}

    bool open(OpenMode mode) override {
        return file_.open(QIODevice::ReadOnly | QIODevice::Unbuffered) && file_.seek(offset_) &&
               QIODevice::open(mode | Unbuffered);
    }
    void close() override {
        file_.close();
        QIODevice::close();
    }
    bool isSequential() const override { return false; }
    qint64 size() const override { return length_; }
    bool atEnd() const override { return pos() >= length_; }
    bool seek(qint64 position) override {
        return position >= 0 && position <= length_ && QIODevice::seek(position) &&
               file_.seek(offset_ + position);
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const qint64 wanted = std::min(maxSize, length_ - pos());
        if (wanted <= 0)
            return 0;
        if (file_.pos() != offset_ + pos() && !file_.seek(offset_ + pos()))
            return -1;
        return file_.read(data, wanted);
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QFile file_;
    qint64 offset_;
    qint64 length_;
};

} // namespace

AgentUploadTransport::AgentUploadTransport(const Node& node) : node_(node) {
    manager_.setProxy(net::applicationProxy());
    manager_.setRedirectPolicy(QNetworkRequest::SameOriginRedirectPolicy);
}

AgentUploadTransport::~AgentUploadTransport() {
    const QList<quint64> tickets = replies_.keys();
    for (const quint64 ticket : tickets)
        abortChunk(ticket);
}

TransferReply AgentUploadTransport::request(const QString& method, const QString& path,
                                            const QJsonObject& body) {
    TransferReply reply;
    reply.json = net::agentRequest(node_, method, path, body, &reply.status);
    return reply;
}

void AgentUploadTransport::notify(const QString& method, const QString& path, const QJsonObject& body) {
    // The manager lives on its own until the reply ends, so the request outlives whoever sent it.
    auto* manager = new QNetworkAccessManager(QCoreApplication::instance());
    manager->setProxy(net::applicationProxy());
    manager->setRedirectPolicy(QNetworkRequest::SameOriginRedirectPolicy);
    QNetworkRequest request = net::agentNetworkRequest(node_, path);
    request.setTransferTimeout(timing.chunkIdleTimeoutMs);
    net::requireRedirectApproval(request);
    QNetworkReply* reply = manager->sendCustomRequest(request, method.toUtf8(),
                                                      QJsonDocument(body).toJson(QJsonDocument::Compact));
    // Nobody reads the answer, but the network layer would keep all of it: an endless one is cut off.
    net::guardReply(reply, kReplyBodyCap);
    QObject::connect(reply, &QNetworkReply::finished, manager, [reply, manager] {
        reply->deleteLater();
        manager->deleteLater();
    });
}

quint64 AgentUploadTransport::sendChunk(const QString& uploadId, qint64 index, const QString& localPath,
                                        qint64 offset, qint64 length, Progress progress, Done done) {
    const QString path = QStringLiteral("/files/upload/chunk?uploadId=%1&index=%2")
                             .arg(QString::fromLatin1(QUrl::toPercentEncoding(uploadId)))
                             .arg(index);
    QNetworkRequest request = net::agentNetworkRequest(node_, path);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/octet-stream"));
    request.setTransferTimeout(timing.chunkIdleTimeoutMs);
    request.setHeader(QNetworkRequest::ContentLengthHeader, length);
    // A chunk is never sent twice because of a redirect, not even to the same Agent.
    net::requireRedirectApproval(request);
    auto* body = new FileRangeDevice(localPath, offset, length);
    body->open(QIODevice::ReadOnly);
    QNetworkReply* reply = manager_.post(request, body);
    body->setParent(reply);
    // The Agent answers a chunk with a few bytes of JSON; anything much larger is refused as it arrives.
    net::guardReply(reply, kReplyBodyCap);
    const quint64 ticket = nextTicket_++;
    replies_.insert(ticket, reply);
    done_.insert(ticket, std::move(done));
    QObject::connect(reply, &QNetworkReply::uploadProgress, reply,
                     [progress = std::move(progress)](qint64 sent, qint64) {
                         if (progress)
                             progress(sent);
                     });
    QObject::connect(reply, &QNetworkReply::finished, reply, [this, ticket] { onChunkFinished(ticket); });
    return ticket;
}

void AgentUploadTransport::onChunkFinished(quint64 ticket) {
    QNetworkReply* reply = replies_.take(ticket);
    Done done = done_.take(ticket);
    if (!reply)
        return;
    TransferReply result;
    result.status = net::replyStatus(reply);
    result.body = cappedBody(reply);
    result.json = net::parseJsonObject(result.body);
    // The guard may refuse a reply that has already come in whole: its verdict counts all the same.
    if (reply->error() != QNetworkReply::NoError || !net::guardFailure(reply).isEmpty())
        result.networkError = net::networkErrorText(reply);
    reply->deleteLater();
    if (done)
        done(result);
}

void AgentUploadTransport::abortChunk(quint64 ticket) {
    QNetworkReply* reply = replies_.take(ticket);
    done_.remove(ticket);
    if (!reply)
        return;
    // Detached first: the abort's own finished signal must not read as a failed chunk.
    QObject::disconnect(reply, nullptr, nullptr, nullptr);
    reply->abort();
    reply->deleteLater();
}

SystemUploadClock::SystemUploadClock() {
    timer_.start();
}

qint64 SystemUploadClock::nowMs() const {
    return timer_.elapsed();
}

void SystemUploadClock::schedule(int ms, QObject* context, std::function<void()> fn) {
    QTimer::singleShot(ms, context, std::move(fn));
}

} // namespace files
