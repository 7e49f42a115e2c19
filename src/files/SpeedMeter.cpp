#include "files/SpeedMeter.h"

#include "app/TextFormats.h"
#include "files/FilesTiming.h"

namespace files {

void SpeedMeter::begin(qint64 nowMs, qint64 baseBytes) {
    sessionStartMs_ = nowMs;
    sampleStartMs_ = nowMs;
    sampleBaseBytes_ = baseBytes;
}

void SpeedMeter::resume(qint64 nowMs, qint64 baseBytes) {
    if (sessionStartMs_ < 0)
        sessionStartMs_ = nowMs;
    sampleStartMs_ = nowMs;
    sampleBaseBytes_ = baseBytes;
}

ProgressFigures SpeedMeter::sample(qint64 nowMs, qint64 shown, qint64 total) {
    ProgressFigures figures;
    figures.shown = shown;
    figures.total = total;
    if (sessionStartMs_ < 0)
        return figures;
    const qint64 elapsed = std::max<qint64>(1, nowMs - sessionStartMs_);
    figures.averageRate = double(shown) * 1000.0 / double(elapsed);
    if (sampleStartMs_ < 0) {
        sampleStartMs_ = nowMs;
        sampleBaseBytes_ = shown;
    } else if (nowMs - sampleStartMs_ >= timing.speedSampleMs) {
        const double rate = 1000.0 * double(shown - sampleBaseBytes_) / double(nowMs - sampleStartMs_);
        figures.currentRate = std::max(0.0, rate);
        sampleBaseBytes_ = shown;
        sampleStartMs_ = nowMs;
    }
    if (figures.averageRate > 0 && total >= shown)
        figures.etaSeconds = qint64(double(total - shown) / figures.averageRate);
    return figures;
}

QString rateText(double bytesPerSecond) {
    return fmt::clientRate(bytesPerSecond);
}

QString sizeProgressText(qint64 shown, qint64 total) {
    return fmt::clientBytes(double(shown)) + QStringLiteral(" / ") + fmt::clientBytes(double(total));
}

int progressBarValue(qint64 shown, qint64 total, int maximum, bool complete) {
    if (complete)
        return maximum;
    if (total <= 0)
        return 0;
    // Every chunk confirmed is not yet a stored file: the Agent still has to check and move it.
    const int value = int(double(maximum) * double(std::clamp<qint64>(shown, 0, total)) / double(total));
    return std::min(value, maximum - 1);
}

} // namespace files
