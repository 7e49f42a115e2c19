#pragma once

#include "files/UploadReporter.h"
#include "files/UploadRules.h"

#include <QFile>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <set>
#include <vector>

namespace files {

// A batch of audio files uploaded into one audio folder: up to five files at once, one chunk in
// flight per file, each file retried on its own; a failing file never stops the others.
//
// The fill step takes a slot and moves past its task before the blocking start request, and is never
// re-entered, so no file starts twice and no more than five run. Timers and replies find their task by
// id within the batch generation they belong to; a new batch, a cancel or detach starts a new one.
class AudioUploadBatch : public QObject,
                         public UploadReporter,
                         public std::enable_shared_from_this<AudioUploadBatch> {
public:
    AudioUploadBatch(std::shared_ptr<UploadTransport> transport, std::shared_ptr<UploadClock> clock);
    ~AudioUploadBatch() override;

    void detach();

    // Builds the tasks (usable audio files; a name already taken in this batch is skipped and logged)
    // and starts them. Returns the number of tasks; 0 starts nothing.
    int start(const QStringList& localPaths, const QString& folder, bool overwrite);
    void pause();
    void resume();
    void cancel();

    bool batchRunning() const { return batchRunning_; }
    bool pauseRequested() const { return pauseRequested_; }
    int taskCount() const { return int(tasks_.size()); }
    int succeeded() const { return succeeded_; }
    int failedCount() const { return failed_; }
    int activeCount() const { return int(active_.size()); }
    qint64 totalBytes() const { return totalBytes_; }
    // Bytes of the chunks the Agent confirmed, over all files (a finished file counts whole).
    qint64 shownBytes() const;
    // Bytes sent in chunk requests the Agent has not answered yet.
    qint64 unconfirmedBytes() const;
    ProgressFigures sampleProgress();
    // Names of the files the batch refused because an earlier file had the same name.
    QStringList skippedDuplicates() const { return skippedDuplicates_; }

    bool canStart() const { return !batchRunning_; }
    bool canPause() const { return batchRunning_ && !pauseRequested_; }
    bool canResume() const { return batchRunning_ && pauseRequested_; }
    bool canCancel() const { return batchRunning_; }

private:
    struct Task {
        quint64 id = 0;
        QString localPath, fileName, uploadId, lastError;
        qint64 fileSize = 0;
        ChunkGeometry geometry;
        qint64 sentBytes = 0; // of the chunk in flight
        qint64 currentChunk = -1;
        int retryCount = 0;
        std::set<qint64> received;
        std::unique_ptr<QFile> file;
        quint64 ticket = 0;        // the chunk in flight, 0 when none
        bool retryPending = false; // a retry timer will send the next chunk
        bool done = false, failed = false;
    };

    void dropTasks();
    void fillSlots();
    void startTask(quint64 taskId);
    void sendNextChunk(Task& task);
    void onChunkDone(quint64 taskId, quint64 ticket, const TransferReply& reply);
    void scheduleRetry(Task& task, const QString& text);
    void finishTask(quint64 taskId);
    void failTask(Task& task, const QString& text);
    void checkEnd();
    QString applySessionReply(Task& task, const QJsonObject& reply);
    Task* findTask(quint64 id);
    void removeActive(quint64 id);

    quint64 generation_ = 0;
    quint64 nextTaskId_ = 1;

    std::vector<std::unique_ptr<Task>> tasks_;
    std::vector<quint64> active_; // ids of started, unfinished tasks
    size_t nextTask_ = 0;
    bool filling_ = false;
    QString folder_;
    bool overwrite_ = false;
    int succeeded_ = 0;
    int failed_ = 0;
    qint64 totalBytes_ = 0;
    QStringList skippedDuplicates_;

    bool batchRunning_ = false;
    bool pauseRequested_ = false;
    bool cancelled_ = false;
};

} // namespace files
