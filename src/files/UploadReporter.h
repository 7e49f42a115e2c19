#pragma once

#include "files/SpeedMeter.h"
#include "files/UploadTransport.h"

#include <QString>
#include <functional>
#include <memory>

namespace files {

// What an upload tells the pane that shows it. Any member may be empty.
struct UploadEvents {
    std::function<void()> changed;              // state or progress changed: refresh the display
    std::function<void(const QString&)> log;    // one log line
    std::function<void(const QString&)> failed; // the upload failed with this text
    std::function<void(int succeeded, int failed)> batchFinished; // audio: the batch ended

    // Each is a no-op when nobody listens (after detach, in tests).
    void notifyChanged() const {
        if (changed)
            changed();
    }
    void writeLog(const QString& text) const {
        if (log)
            log(text);
    }
};

// What the video upload and the audio batch share: the transport and clock they run on, the listener
// of their events, the status line and the speed meter.
class UploadReporter {
public:
    void setEvents(UploadEvents events) { events_ = std::move(events); }
    QString status() const { return status_; }

protected:
    UploadReporter(std::shared_ptr<UploadTransport> transport, std::shared_ptr<UploadClock> clock)
        : transport_(std::move(transport)), clock_(std::move(clock)) {}
    ~UploadReporter() = default;

    ProgressFigures sampleProgressOf(qint64 shownBytes, qint64 totalBytes) {
        return meter_.sample(clock_->nowMs(), shownBytes, totalBytes);
    }
    void setStatus(const QString& text) {
        status_ = text;
        emitChanged();
    }
    void emitChanged() {
        // A copy: the listener may replace the events (detach) while it runs.
        const UploadEvents events = events_;
        events.notifyChanged();
    }
    void emitLog(const QString& text) {
        const UploadEvents events = events_;
        events.writeLog(text);
    }

    std::shared_ptr<UploadTransport> transport_;
    std::shared_ptr<UploadClock> clock_;
    UploadEvents events_;
    QString status_ = QStringLiteral("未开始");
    SpeedMeter meter_;
};

} // namespace files
