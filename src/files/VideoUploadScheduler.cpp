#include "files/VideoUploadScheduler.h"

#include "files/FilesTiming.h"
#include "files/UploadRules.h"

#include <QFileInfo>
#include <QJsonObject>
#include <QUrl>

namespace files {
namespace {

const QString kStartPath = QStringLiteral("/files/upload/start");
const QString kFinishPath = QStringLiteral("/files/upload/finish");
const QString kCancelPath = QStringLiteral("/files/upload/cancel");

QJsonObject idBody(const QString& uploadId) {
    return {{QStringLiteral("uploadId"), uploadId}};
}

} // namespace

VideoUploadScheduler::VideoUploadScheduler(std::shared_ptr<UploadTransport> transport,
                                           std::shared_ptr<UploadClock> clock)
    : UploadReporter(std::move(transport), std::move(clock)) {
}

VideoUploadScheduler::~VideoUploadScheduler() {
    abortActive();
}

void VideoUploadScheduler::detach() {
    events_ = UploadEvents();
    ++epoch_;
    abortActive();
    if (!uploadId_.isEmpty() && !completed_ && !cancelled_)
        transport_->notify(QStringLiteral("POST"), kCancelPath, idBody(uploadId_));
    uploadId_.clear();
    running_ = false;
    finishing_ = false;
    paused_ = false;
    file_.close();
}

void VideoUploadScheduler::endSession() {
    if (busy() || uploadId_.isEmpty())
        return;
    if (!completed_ && !cancelled_)
        transport_->notify(QStringLiteral("POST"), kCancelPath, idBody(uploadId_));
    ++epoch_;
    uploadId_.clear();
    paused_ = false;
    file_.close();
    emitChanged();
}

void VideoUploadScheduler::start(const QString& localPath, const QString& fileName, bool overwrite) {
    if (!canStart())
        return;
    endSession();
    ++epoch_;
    const quint64 epoch = epoch_;
    uploadId_.clear();
    received_.clear();
    inFlight_.clear();
    retryWaiting_.clear();
    retryCount_.clear();
    sentBytes_.clear();
    file_.close();
    localPath_ = localPath;
    fileName_ = fileName;
    overwrite_ = overwrite;
    fileSize_ = QFileInfo(localPath).size();
    geometry_.chunkSize = chunkSizeFor(fileSize_);
    geometry_.totalChunks = chunkCountFor(fileSize_, geometry_.chunkSize);
    finishing_ = false;
    paused_ = false;
    completed_ = false;
    cancelled_ = false;
    running_ = true;
    pauseRequested_ = false;
    meter_ = SpeedMeter();
    setStatus(QStringLiteral("创建上传任务"));

    const QJsonObject body{{QStringLiteral("mediaKind"), QStringLiteral("video")},
                           {QStringLiteral("fileName"), fileName},
                           {QStringLiteral("size"), QString::number(fileSize_)},
                           {QStringLiteral("chunkSize"), QString::number(geometry_.chunkSize)},
                           {QStringLiteral("overwrite"), overwrite}};
    const auto keepAlive = shared_from_this();
    const TransferReply reply = transport_->request(QStringLiteral("POST"), kStartPath, body);
    if (epoch != epoch_) {
        // Cancelled (or the pane went away) while the Agent opened the session: close it again.
        const QString lateId = reply.json.value(QLatin1String("uploadId")).toString();
        if (!lateId.isEmpty())
            transport_->notify(QStringLiteral("POST"), kCancelPath, idBody(lateId));
        return;
    }
    if (const net::RequestResult result = reply.result(); result.failed())
        return fail(QStringLiteral("创建上传任务失败: ") + result.text());
    const QString refused = applySessionReply(reply.json);
    if (!refused.isEmpty()) {
        // A session cut in a way this client cannot send is of no use to anyone: it is closed again.
        const QString openedId = reply.json.value(QLatin1String("uploadId")).toString();
        if (!openedId.isEmpty())
            transport_->notify(QStringLiteral("POST"), kCancelPath, idBody(openedId));
        return fail(QStringLiteral("创建上传任务失败: ") + refused);
    }
    if (uploadId_.isEmpty())
        return fail(QStringLiteral("创建上传任务失败: Agent 未返回 uploadId"));
    if (!openLocalFile())
        return fail(QStringLiteral("无法打开本地文件"));
    meter_.begin(clock_->nowMs(), shownBytes());
    emitLog(QStringLiteral("上传任务: ") + uploadId_);
    emitLog(QStringLiteral("视频分片并发: %1").arg(kVideoChunksInFlight));
    pump();
}

void VideoUploadScheduler::pause() {
    if (!canPause() || pauseRequested_)
        return;
    pauseRequested_ = true;
    setStatus(QStringLiteral("暂停中，当前分片完成后停止"));
    pump();
}

void VideoUploadScheduler::resume() {
    if (!canResume())
        return;
    ++epoch_;
    const quint64 epoch = epoch_;
    cancelled_ = false;
    running_ = true;
    pauseRequested_ = false;
    paused_ = false;
    // Retries that were waiting are due now; their old timers belong to the previous epoch.
    retryWaiting_.clear();
    retryCount_.clear();
    emitChanged();
    const auto keepAlive = shared_from_this();
    const TransferReply reply =
        transport_->request(QStringLiteral("GET"),
                            QStringLiteral("/files/upload/status?uploadId=") +
                                QString::fromLatin1(QUrl::toPercentEncoding(uploadId_)),
                            QJsonObject());
    if (epoch != epoch_)
        return;
    if (const net::RequestResult result = reply.result(); result.failed())
        return fail(QStringLiteral("继续上传失败: ") + result.text());
    const QString refused = applySessionReply(reply.json);
    if (!refused.isEmpty())
        return fail(QStringLiteral("继续上传失败: ") + refused);
    // The session belongs to the file it was started with; a file changed since cannot continue it.
    if (QFileInfo(localPath_).size() != fileSize_)
        return fail(QStringLiteral("本地文件已改变，无法继续上传，请重新开始上传"));
    if (!file_.isOpen() && !openLocalFile())
        return fail(QStringLiteral("无法打开本地文件"));
    meter_.resume(clock_->nowMs(), shownBytes());
    emitLog(QStringLiteral("继续上传: Agent 已收到 %1 / %2 个分片")
                .arg(received_.size())
                .arg(geometry_.totalChunks));
    pump();
}

void VideoUploadScheduler::cancel() {
    if (!canCancel())
        return;
    pauseRequested_ = false;
    paused_ = false;
    cancelled_ = true;
    ++epoch_;
    abortActive();
    retryWaiting_.clear();
    const QString id = uploadId_;
    uploadId_.clear();
    running_ = false;
    file_.close();
    setStatus(QStringLiteral("已取消"));
    emitLog(QStringLiteral("上传已取消"));
    if (!id.isEmpty()) {
        const auto keepAlive = shared_from_this();
        transport_->request(QStringLiteral("POST"), kCancelPath, idBody(id));
    }
    emitChanged();
}

bool VideoUploadScheduler::canResume() const {
    return !running_ && !finishing_ && !uploadId_.isEmpty() && !completed_ && !cancelled_;
}

void VideoUploadScheduler::pump() {
    if (cancelled_ || finishing_ || !running_)
        return;
    if (pauseRequested_) {
        if (active_.empty()) {
            running_ = false;
            paused_ = true;
            ++epoch_;
            setStatus(QStringLiteral("已暂停"));
        }
        return;
    }
    // No session yet (its start request still waits): nothing to send and nothing to finish.
    if (uploadId_.isEmpty() || geometry_.totalChunks < 1)
        return;
    while (running_ && int(active_.size()) < kVideoChunksInFlight) {
        const qint64 index = lowestFreeIndex();
        if (index < 0)
            break;
        if (!sendChunk(index))
            return;
    }
    emitChanged();
    if (!active_.empty() || !retryWaiting_.empty() || lowestFreeIndex() >= 0)
        return;
    finish();
}

bool VideoUploadScheduler::sendChunk(qint64 index) {
    // index < totalChunks, which the file's size bounds: the offset cannot overflow.
    const qint64 offset = index * geometry_.chunkSize;
    const qint64 length = chunkLength(index, fileSize_, geometry_.chunkSize);
    if (!file_.seek(offset)) {
        fail(QStringLiteral("读取分片失败"));
        return false;
    }
    // The bytes themselves are read from disk while they are sent.
    if (file_.size() < offset + length) {
        fail(QStringLiteral("读取分片大小不完整"));
        return false;
    }
    inFlight_.insert(index);
    sentBytes_[index] = 0;
    status_ = QStringLiteral("上传中，活动分片 %1").arg(active_.size() + 1);

    const std::weak_ptr<VideoUploadScheduler> weak = weak_from_this();
    const quint64 epoch = epoch_;
    auto ticketHolder = std::make_shared<quint64>(0);
    auto progress = [weak, epoch, index, length](qint64 sent) {
        const auto self = weak.lock();
        if (!self || self->epoch_ != epoch || !self->sentBytes_.count(index))
            return;
        self->sentBytes_[index] = std::clamp<qint64>(sent, 0, length);
        self->emitChanged();
    };
    auto done = [weak, ticketHolder, index](const TransferReply& reply) {
        if (const auto self = weak.lock())
            self->onChunkDone(*ticketHolder, index, reply);
    };
    *ticketHolder = transport_->sendChunk(uploadId_, index, localPath_, offset, length, std::move(progress),
                                          std::move(done));
    active_[*ticketHolder] = index;
    return true;
}

void VideoUploadScheduler::onChunkDone(quint64 ticket, qint64 index, const TransferReply& reply) {
    const auto it = active_.find(ticket);
    if (it == active_.end())
        return;
    active_.erase(it);
    inFlight_.erase(index);
    sentBytes_.erase(index);
    if (cancelled_)
        return;
    // A success that does not confirm this very chunk is a failed attempt like any other: sending it
    // again at once would loop for as long as the Agent keeps answering that way.
    const QString failure = reply.succeeded()
                                ? chunkConfirmationFailure(reply.json, index, fileSize_, geometry_)
                                : chunkFailureText(reply.networkError, reply.body, reply.json, reply.status);
    if (failure.isEmpty()) {
        retryCount_.erase(index);
        const std::set<qint64> more = receivedIndices(reply.json, geometry_.totalChunks);
        received_.insert(more.begin(), more.end());
        emitChanged();
    } else {
        scheduleRetry(index, failure);
    }
    pump();
}

void VideoUploadScheduler::scheduleRetry(qint64 index, const QString& text) {
    const int attempt = ++retryCount_[index];
    if (attempt > kMaxRetries)
        return fail(QStringLiteral("分片 %1 上传失败: %2").arg(index + 1).arg(text));
    setStatus(QStringLiteral("重试中%1/3").arg(attempt));
    emitLog(QStringLiteral("分片 %1 失败，准备重试 %2/3: %3").arg(index + 1).arg(attempt).arg(text));
    retryWaiting_.insert(index);
    const std::weak_ptr<VideoUploadScheduler> weak = weak_from_this();
    const quint64 epoch = epoch_;
    clock_->schedule(timing.retryDelayMs(attempt), this, [weak, epoch, index] {
        const auto self = weak.lock();
        if (!self || self->epoch_ != epoch || !self->retryWaiting_.count(index))
            return;
        self->retryWaiting_.erase(index);
        self->pump();
    });
}

void VideoUploadScheduler::finish() {
    if (uploadId_.isEmpty() || geometry_.totalChunks < 1 || qint64(received_.size()) < geometry_.totalChunks)
        return;
    finishing_ = true;
    setStatus(QStringLiteral("校验中"));
    emitLog(QStringLiteral("所有分片已上传，等待 Agent 校验并落盘..."));
    const quint64 epoch = epoch_;
    const auto keepAlive = shared_from_this();
    const TransferReply reply = transport_->request(QStringLiteral("POST"), kFinishPath, idBody(uploadId_));
    if (epoch != epoch_)
        return;
    finishing_ = false;
    if (const net::RequestResult result = reply.result(); result.failed())
        return fail(QStringLiteral("完成上传失败: ") + result.text());
    running_ = false;
    completed_ = true;
    file_.close();
    const QString name = reply.json.value(QLatin1String("fileName")).toString();
    setStatus(QStringLiteral("完成"));
    emitLog(QStringLiteral("上传完成: ") + (name.isEmpty() ? fileName_.trimmed() : name));
}

void VideoUploadScheduler::fail(const QString& text) {
    // The warning below waits in a nested event loop; the pane may go away meanwhile.
    const auto keepAlive = shared_from_this();
    ++epoch_;
    running_ = false;
    finishing_ = false;
    pauseRequested_ = false;
    paused_ = false;
    abortActive();
    retryWaiting_.clear();
    file_.close();
    status_ = QStringLiteral("失败");
    emitLog(text);
    if (const auto failed = events_.failed)
        failed(text);
    emitChanged();
}

QString VideoUploadScheduler::applySessionReply(const QJsonObject& reply) {
    ChunkGeometry geometry = geometry_;
    const QString refused = applyReplyGeometry(reply, fileSize_, geometry);
    if (!refused.isEmpty())
        return refused;
    const QString id = reply.value(QLatin1String("uploadId")).toString();
    if (!id.isEmpty())
        uploadId_ = id;
    geometry_ = geometry;
    // What the Agent holds is known by index only; its "uploadedBytes" is a claim nothing confirms.
    received_ = receivedIndices(reply, geometry_.totalChunks);
    return QString();
}

bool VideoUploadScheduler::openLocalFile() {
    file_.setFileName(localPath_);
    return file_.open(QIODevice::ReadOnly);
}

qint64 VideoUploadScheduler::lowestFreeIndex() const {
    for (qint64 index = 0; index < geometry_.totalChunks; ++index) {
        if (!received_.count(index) && !inFlight_.count(index) && !retryWaiting_.count(index))
            return index;
    }
    return -1;
}

void VideoUploadScheduler::abortActive() {
    const auto active = std::exchange(active_, {});
    for (const auto& [ticket, index] : active)
        transport_->abortChunk(ticket);
    inFlight_.clear();
    sentBytes_.clear();
}

qint64 VideoUploadScheduler::shownBytes() const {
    if (completed_)
        return fileSize_;
    return std::min(coveredBytes(received_, fileSize_, geometry_.chunkSize), fileSize_);
}

qint64 VideoUploadScheduler::unconfirmedBytes() const {
    qint64 sent = 0;
    for (const auto& [index, bytes] : sentBytes_) {
        if (!received_.count(index))
            sent += std::min(bytes, chunkLength(index, fileSize_, geometry_.chunkSize));
    }
    return sent;
}

ProgressFigures VideoUploadScheduler::sampleProgress() {
    ProgressFigures figures = sampleProgressOf(shownBytes(), fileSize_);
    figures.complete = completed_;
    figures.unconfirmed = unconfirmedBytes();
    return figures;
}

} // namespace files
