#pragma once

#include "files/UploadReporter.h"
#include "files/UploadRules.h"

#include <QFile>
#include <QObject>
#include <QString>
#include <map>
#include <memory>
#include <set>

namespace files {

// One video file uploaded in chunks: the lowest chunk not yet received, sent or waiting for a retry goes
// next, up to four at a time; a failed chunk is retried three times; the session survives failures
// and pauses, and "resume" asks the Agent which chunks it already holds.
//
// Every reply and timer carries the epoch it was started in; start, resume, pause-stop, failure,
// cancel and detach begin a new epoch, so nothing from an earlier one can act on the current state.
// Owned through std::shared_ptr: a blocking request keeps the scheduler alive until it returns, even
// when the pane that owns it is gone meanwhile.
class VideoUploadScheduler : public QObject,
                             public UploadReporter,
                             public std::enable_shared_from_this<VideoUploadScheduler> {
public:
    VideoUploadScheduler(std::shared_ptr<UploadTransport> transport, std::shared_ptr<UploadClock> clock);
    ~VideoUploadScheduler() override;

    // The pane goes away: no more events; an unfinished session is cancelled on the Agent.
    void detach();

    // Begins a new session for a checked local file under the given name.
    void start(const QString& localPath, const QString& fileName, bool overwrite);
    void pause();
    void resume();
    void cancel();
    // Another file was chosen: the resumable session of the previous one is given up on the Agent.
    void endSession();

    bool running() const { return running_; }
    bool finishing() const { return finishing_; }
    bool pauseRequested() const { return pauseRequested_; }
    // Something the Agent holds a session for is under way (uploading, pausing, starting, finishing).
    bool busy() const { return running_ || finishing_; }
    QString uploadId() const { return uploadId_; }
    QString localPath() const { return localPath_; }
    qint64 fileSize() const { return fileSize_; }
    qint64 chunkSize() const { return geometry_.chunkSize; }
    qint64 totalChunks() const { return geometry_.totalChunks; }
    qint64 receivedCount() const { return qint64(received_.size()); }
    int activeCount() const { return int(active_.size()); }
    bool completed() const { return completed_; }
    // Bytes of the chunks the Agent confirmed (the whole file once it is complete).
    qint64 shownBytes() const;
    // Bytes sent in requests the Agent has not answered yet.
    qint64 unconfirmedBytes() const;
    ProgressFigures sampleProgress();

    // A paused session is continued or cancelled, not replaced by a new start.
    bool canStart() const { return !running_ && !finishing_ && !paused_; }
    bool canPause() const { return running_ && !finishing_; }
    bool canResume() const;
    bool canCancel() const { return !finishing_ && (running_ || canResume()); }

private:
    void pump();
    bool sendChunk(qint64 index);
    void onChunkDone(quint64 ticket, qint64 index, const TransferReply& reply);
    void scheduleRetry(qint64 index, const QString& text);
    void finish();
    void fail(const QString& text);
    QString applySessionReply(const QJsonObject& reply);
    bool openLocalFile();
    qint64 lowestFreeIndex() const;
    void abortActive();

    quint64 epoch_ = 0;

    QString uploadId_;
    QString localPath_;
    QString fileName_;
    bool overwrite_ = false;
    qint64 fileSize_ = 0;
    ChunkGeometry geometry_;
    QFile file_;
    std::set<qint64> received_;
    std::set<qint64> inFlight_;
    std::set<qint64> retryWaiting_;
    std::map<qint64, int> retryCount_;
    std::map<qint64, qint64> sentBytes_;
    std::map<quint64, qint64> active_; // transport ticket -> chunk index

    bool running_ = false;
    bool pauseRequested_ = false;
    bool paused_ = false;
    bool cancelled_ = false;
    bool finishing_ = false;
    bool completed_ = false;
};

} // namespace files
