#include "files/AudioUploadBatch.h"

#include "files/FilesTiming.h"
#include "files/UploadRules.h"

#include <QFileInfo>
#include <QJsonObject>
#include <QSet>

namespace files {
namespace {

const QString kCancelPath = QStringLiteral("/files/upload/cancel");

QJsonObject idBody(const QString& uploadId) {
    return {{QStringLiteral("uploadId"), uploadId}};
}

} // namespace

AudioUploadBatch::AudioUploadBatch(std::shared_ptr<UploadTransport> transport,
                                   std::shared_ptr<UploadClock> clock)
    : UploadReporter(std::move(transport), std::move(clock)) {
}

AudioUploadBatch::~AudioUploadBatch() {
    for (const auto& task : tasks_) {
        if (task->ticket)
            transport_->abortChunk(task->ticket);
    }
}

void AudioUploadBatch::detach() {
    events_ = UploadEvents();
    ++generation_;
    for (const quint64 id : active_) {
        Task* task = findTask(id);
        if (task && !task->uploadId.isEmpty() && !task->done)
            transport_->notify(QStringLiteral("POST"), kCancelPath, idBody(task->uploadId));
    }
    dropTasks();
    batchRunning_ = false;
}

void AudioUploadBatch::dropTasks() {
    for (const auto& task : tasks_) {
        if (task->ticket)
            transport_->abortChunk(task->ticket);
        task->ticket = 0;
    }
    tasks_.clear();
    active_.clear();
}

int AudioUploadBatch::start(const QStringList& localPaths, const QString& folder, bool overwrite) {
    if (batchRunning_)
        return 0;
    ++generation_;
    dropTasks();
    skippedDuplicates_.clear();
    totalBytes_ = 0;
    QSet<QString> names;
    for (const QString& path : localPaths) {
        const QFileInfo info(path);
        if (!info.exists() || !info.isFile() || info.size() <= 0 || !isAudioFile(path))
            continue;
        // Files of the same name from different subfolders would land on one path in the folder.
        if (names.contains(info.fileName())) {
            skippedDuplicates_ << info.fileName();
            continue;
        }
        names.insert(info.fileName());
        auto task = std::make_unique<Task>();
        task->id = nextTaskId_++;
        task->localPath = path;
        task->fileName = info.fileName();
        task->fileSize = info.size();
        task->geometry.chunkSize = chunkSizeFor(task->fileSize);
        task->geometry.totalChunks = chunkCountFor(task->fileSize, task->geometry.chunkSize);
        totalBytes_ += task->fileSize;
        tasks_.push_back(std::move(task));
    }
    if (tasks_.empty())
        return 0;
    folder_ = folder.trimmed();
    overwrite_ = overwrite;
    nextTask_ = 0;
    succeeded_ = failed_ = 0;
    batchRunning_ = true;
    pauseRequested_ = false;
    cancelled_ = false;
    meter_ = SpeedMeter();
    meter_.begin(clock_->nowMs(), 0);
    setStatus(QStringLiteral("上传中"));
    for (const QString& name : std::as_const(skippedDuplicates_))
        emitLog(QStringLiteral("已跳过重名文件: %1（同一目录中已有同名文件）").arg(name));
    emitLog(
        QStringLiteral("开始批量上传音频：%1 个文件，%2 个并发").arg(tasks_.size()).arg(kAudioFilesAtOnce));
    fillSlots();
    return int(tasks_.size());
}

void AudioUploadBatch::fillSlots() {
    if (filling_)
        return; // the running fill loop looks again after its blocking start returns
    filling_ = true;
    const auto keepAlive = shared_from_this();
    const quint64 generation = generation_;
    while (generation == generation_ && batchRunning_ && !pauseRequested_ && !cancelled_ &&
           int(active_.size()) < kAudioFilesAtOnce && nextTask_ < tasks_.size()) {
        const quint64 id = tasks_[nextTask_]->id;
        ++nextTask_;
        active_.push_back(id);
        startTask(id);
    }
    filling_ = false;
    if (generation == generation_)
        checkEnd();
}

void AudioUploadBatch::startTask(quint64 taskId) {
    Task* task = findTask(taskId);
    if (!task || cancelled_)
        return;
    const QJsonObject body{{QStringLiteral("mediaKind"), QStringLiteral("audio")},
                           {QStringLiteral("fileName"), task->fileName},
                           {QStringLiteral("size"), QString::number(task->fileSize)},
                           {QStringLiteral("chunkSize"), QString::number(task->geometry.chunkSize)},
                           {QStringLiteral("overwrite"), overwrite_},
                           {QStringLiteral("audioFolder"), folder_}};
    const quint64 generation = generation_;
    const TransferReply reply =
        transport_->request(QStringLiteral("POST"), QStringLiteral("/files/upload/start"), body);
    task = generation == generation_ ? findTask(taskId) : nullptr;
    if (!task || cancelled_) {
        const QString lateId = reply.json.value(QLatin1String("uploadId")).toString();
        if (!lateId.isEmpty())
            transport_->notify(QStringLiteral("POST"), kCancelPath, idBody(lateId));
        return;
    }
    if (const net::RequestResult result = reply.result(); result.failed())
        return failTask(*task, QStringLiteral("创建上传任务失败: ") + result.text());
    const QString refused = applySessionReply(*task, reply.json);
    if (!refused.isEmpty()) {
        // The failure below closes the session the Agent opened.
        task->uploadId = reply.json.value(QLatin1String("uploadId")).toString();
        return failTask(*task, QStringLiteral("创建上传任务失败: ") + refused);
    }
    if (task->uploadId.isEmpty())
        return failTask(*task, QStringLiteral("创建上传任务失败: Agent 未返回 uploadId"));
    task->file = std::make_unique<QFile>(task->localPath);
    if (!task->file->open(QIODevice::ReadOnly))
        return failTask(*task, QStringLiteral("无法打开本地音频文件"));
    emitLog(QStringLiteral("开始上传 %1").arg(task->fileName));
    sendNextChunk(*task);
}

void AudioUploadBatch::sendNextChunk(Task& task) {
    if (cancelled_ || task.done || task.failed || task.ticket || task.uploadId.isEmpty())
        return;
    if (pauseRequested_) {
        setStatus(QStringLiteral("已暂停"));
        return;
    }
    const qint64 total = task.geometry.totalChunks;
    qint64 index = 0;
    while (index < total && task.received.count(index))
        ++index;
    if (total < 1 || index >= total)
        return finishTask(task.id);
    // index < totalChunks, which the file's size bounds: the offset cannot overflow.
    const qint64 offset = index * task.geometry.chunkSize;
    const qint64 length = chunkLength(index, task.fileSize, task.geometry.chunkSize);
    task.currentChunk = index;
    if (!task.file || !task.file->seek(offset))
        return failTask(task, QStringLiteral("读取分片失败"));
    if (task.file->size() < offset + length)
        return failTask(task, QStringLiteral("读取分片大小不完整"));
    task.sentBytes = 0;

    const std::weak_ptr<AudioUploadBatch> weak = weak_from_this();
    const quint64 generation = generation_;
    const quint64 taskId = task.id;
    auto ticketHolder = std::make_shared<quint64>(0);
    auto progress = [weak, generation, taskId, length](qint64 sent) {
        const auto self = weak.lock();
        Task* t = self && self->generation_ == generation ? self->findTask(taskId) : nullptr;
        if (!t || !t->ticket)
            return;
        t->sentBytes = std::clamp<qint64>(sent, 0, length);
        self->emitChanged();
    };
    auto done = [weak, generation, taskId, ticketHolder](const TransferReply& reply) {
        const auto self = weak.lock();
        if (self && self->generation_ == generation)
            self->onChunkDone(taskId, *ticketHolder, reply);
    };
    *ticketHolder = transport_->sendChunk(task.uploadId, index, task.localPath, offset, length,
                                          std::move(progress), std::move(done));
    task.ticket = *ticketHolder;
}

void AudioUploadBatch::onChunkDone(quint64 taskId, quint64 ticket, const TransferReply& reply) {
    Task* task = findTask(taskId);
    if (!task || task->ticket != ticket)
        return;
    task->ticket = 0;
    task->sentBytes = 0;
    if (cancelled_ || task->done || task->failed)
        return;
    // A success that does not confirm this very chunk counts as a failed attempt, never as a reason to
    // send at once again.
    const QString failure =
        reply.succeeded()
            ? chunkConfirmationFailure(reply.json, task->currentChunk, task->fileSize, task->geometry)
            : chunkFailureText(reply.networkError, reply.body, reply.json, reply.status);
    if (!failure.isEmpty())
        return scheduleRetry(*task, failure);
    task->retryCount = 0;
    // Added to what is known, never replacing it: each success then confirms at least one new chunk,
    // so a file takes no more successful requests than it has chunks.
    const std::set<qint64> more = receivedIndices(reply.json, task->geometry.totalChunks);
    task->received.insert(more.begin(), more.end());
    emitChanged();
    sendNextChunk(*task);
}

void AudioUploadBatch::scheduleRetry(Task& task, const QString& text) {
    const int attempt = ++task.retryCount;
    if (attempt > kMaxRetries)
        return failTask(task, QStringLiteral("分片 %1 上传失败: %2").arg(task.currentChunk + 1).arg(text));
    emitLog(QStringLiteral("%1 分片 %2 失败，准备重试 %3/3: %4")
                .arg(task.fileName)
                .arg(task.currentChunk + 1)
                .arg(attempt)
                .arg(text));
    task.retryPending = true;
    const std::weak_ptr<AudioUploadBatch> weak = weak_from_this();
    const quint64 generation = generation_;
    const quint64 taskId = task.id;
    clock_->schedule(timing.retryDelayMs(attempt), this, [weak, generation, taskId] {
        const auto self = weak.lock();
        Task* t = self && self->generation_ == generation ? self->findTask(taskId) : nullptr;
        if (!t || !t->retryPending)
            return;
        t->retryPending = false;
        // While paused the task stays without a reply; resume sends its chunk.
        if (!self->pauseRequested_)
            self->sendNextChunk(*t);
    });
}

void AudioUploadBatch::finishTask(quint64 taskId) {
    Task* task = findTask(taskId);
    if (!task)
        return;
    const quint64 generation = generation_;
    const auto keepAlive = shared_from_this();
    const TransferReply reply = transport_->request(
        QStringLiteral("POST"), QStringLiteral("/files/upload/finish"), idBody(task->uploadId));
    task = generation == generation_ ? findTask(taskId) : nullptr;
    if (!task || cancelled_ || task->done || task->failed)
        return;
    if (const net::RequestResult result = reply.result(); result.failed())
        return failTask(*task, QStringLiteral("完成上传失败: ") + result.text());
    task->done = true;
    task->file.reset();
    removeActive(taskId);
    ++succeeded_;
    emitLog(QStringLiteral("上传完成: ") + task->fileName);
    emitChanged();
    if (batchRunning_ && !pauseRequested_ && !cancelled_)
        fillSlots();
    checkEnd();
}

void AudioUploadBatch::failTask(Task& task, const QString& text) {
    if (task.failed || task.done)
        return;
    task.failed = true;
    task.lastError = text;
    task.retryPending = false;
    if (task.ticket)
        transport_->abortChunk(task.ticket);
    task.ticket = 0;
    task.file.reset();
    if (!task.uploadId.isEmpty())
        transport_->notify(QStringLiteral("POST"), kCancelPath, idBody(task.uploadId));
    removeActive(task.id);
    ++failed_;
    emitLog(QStringLiteral("上传失败: %1 - %2").arg(task.fileName, text));
    emitChanged();
    if (batchRunning_ && !pauseRequested_ && !cancelled_)
        fillSlots();
    checkEnd();
}

void AudioUploadBatch::checkEnd() {
    if (!batchRunning_ || succeeded_ + failed_ < int(tasks_.size()))
        return;
    const auto keepAlive = shared_from_this(); // the summary box waits in a nested event loop
    batchRunning_ = false;
    pauseRequested_ = false;
    setStatus(failed_ == 0 ? QStringLiteral("完成") : QStringLiteral("部分失败"));
    emitLog(QStringLiteral("批量上传结束：成功 %1，失败 %2").arg(succeeded_).arg(failed_));
    if (const auto finished = events_.batchFinished)
        finished(succeeded_, failed_);
}

void AudioUploadBatch::pause() {
    if (!canPause())
        return;
    pauseRequested_ = true;
    setStatus(QStringLiteral("已暂停，当前分片完成后停止"));
}

void AudioUploadBatch::resume() {
    if (!canResume())
        return;
    pauseRequested_ = false;
    setStatus(QStringLiteral("上传中"));
    const quint64 generation = generation_;
    const std::vector<quint64> ids = active_;
    for (const quint64 id : ids) {
        if (generation != generation_)
            return;
        Task* task = findTask(id);
        // A task whose retry timer is still waiting is sent by that timer, not here.
        if (task && !task->ticket && !task->retryPending && !task->done && !task->failed)
            sendNextChunk(*task);
    }
    if (generation == generation_)
        fillSlots();
    emitChanged();
}

void AudioUploadBatch::cancel() {
    if (!batchRunning_ && active_.empty())
        return;
    pauseRequested_ = false;
    cancelled_ = true;
    ++generation_;
    QStringList openSessions;
    for (const quint64 id : std::exchange(active_, {})) {
        Task* task = findTask(id);
        if (!task)
            continue;
        if (task->ticket)
            transport_->abortChunk(task->ticket);
        task->ticket = 0;
        task->retryPending = false;
        task->file.reset();
        if (!task->uploadId.isEmpty() && !task->done)
            openSessions << task->uploadId;
    }
    batchRunning_ = false;
    setStatus(QStringLiteral("已取消"));
    emitLog(QStringLiteral("批量上传已取消"));
    const auto keepAlive = shared_from_this();
    for (const QString& id : std::as_const(openSessions))
        transport_->request(QStringLiteral("POST"), kCancelPath, idBody(id));
    emitChanged();
}

QString AudioUploadBatch::applySessionReply(Task& task, const QJsonObject& reply) {
    ChunkGeometry geometry = task.geometry;
    const QString refused = applyReplyGeometry(reply, task.fileSize, geometry);
    if (!refused.isEmpty())
        return refused;
    const QString id = reply.value(QLatin1String("uploadId")).toString();
    if (!id.isEmpty())
        task.uploadId = id;
    task.geometry = geometry;
    task.received = receivedIndices(reply, geometry.totalChunks);
    return QString();
}

AudioUploadBatch::Task* AudioUploadBatch::findTask(quint64 id) {
    for (const auto& task : tasks_) {
        if (task->id == id)
            return task.get();
    }
    return nullptr;
}

void AudioUploadBatch::removeActive(quint64 id) {
    active_.erase(std::remove(active_.begin(), active_.end(), id), active_.end());
}

qint64 AudioUploadBatch::shownBytes() const {
    qint64 shown = 0;
    for (const auto& task : tasks_) {
        shown += task->done ? task->fileSize
                            : std::min(task->fileSize, coveredBytes(task->received, task->fileSize,
                                                                    task->geometry.chunkSize));
    }
    return shown;
}

qint64 AudioUploadBatch::unconfirmedBytes() const {
    qint64 sent = 0;
    for (const auto& task : tasks_)
        sent += task->ticket ? task->sentBytes : 0;
    return sent;
}

ProgressFigures AudioUploadBatch::sampleProgress() {
    ProgressFigures figures = sampleProgressOf(shownBytes(), totalBytes_);
    figures.complete = !batchRunning_ && !tasks_.empty() && succeeded_ == int(tasks_.size());
    figures.unconfirmed = unconfirmedBytes();
    return figures;
}

} // namespace files
