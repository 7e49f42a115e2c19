#pragma once

#include <QString>
#include <QtGlobal>

namespace files {

// The figures of the progress display at one moment.
struct ProgressFigures {
    qint64 shown = 0;
    qint64 total = 0;
    double averageRate = 0;  // bytes per second since the session started
    double currentRate = -1; // bytes per second over the last sample; -1 when no new sample
    qint64 etaSeconds = -1;  // -1 when unknown
    bool complete = false;   // the upload ended with everything stored
    qint64 unconfirmed = 0;  // bytes sent that the Agent has not confirmed yet (not in shown)
};

// Average speed since an upload began, current speed over samples of at least
// files::timing.speedSampleMs, and the time left at the average speed.
class SpeedMeter {
public:
    // A new session: average and current speed measured from now on.
    void begin(qint64 nowMs, qint64 baseBytes);
    // Continues a session (resume): the average keeps its start, the current speed starts over.
    void resume(qint64 nowMs, qint64 baseBytes);
    bool started() const { return sessionStartMs_ >= 0; }
    ProgressFigures sample(qint64 nowMs, qint64 shown, qint64 total);

private:
    qint64 sessionStartMs_ = -1;
    qint64 sampleStartMs_ = -1;
    qint64 sampleBaseBytes_ = 0;
};

// The texts of the display.
QString rateText(double bytesPerSecond);
QString sizeProgressText(qint64 shown, qint64 total);
// The bar's value for the confirmed bytes; the maximum only once the upload is complete.
int progressBarValue(qint64 shown, qint64 total, int maximum, bool complete);

} // namespace files
