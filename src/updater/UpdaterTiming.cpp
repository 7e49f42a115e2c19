#include "updater/UpdaterTiming.h"

#include <QString>

namespace updater::timing {
namespace {

template <typename T> void overrideFrom(const char* name, T& value) {
    bool ok = false;
    const qint64 parsed = qEnvironmentVariable(name).toLongLong(&ok);
    if (ok && parsed > 0)
        value = T(parsed);
}

} // namespace

void applyTimingOverridesFromEnvironment() {
    overrideFrom("ONDIVO_UPDATER_START_DELAY_MS", startDelayMs);
    overrideFrom("ONDIVO_UPDATER_SEGMENT_IDLE_MS", segmentIdleMs);
    overrideFrom("ONDIVO_UPDATER_SEGMENT_OVERALL_MS", segmentOverallMs);
    overrideFrom("ONDIVO_UPDATER_RETRY_WAIT_STEP_MS", retryWaitStepMs);
    overrideFrom("ONDIVO_UPDATER_PID_WAIT_MS", pidWaitMs);
    overrideFrom("ONDIVO_UPDATER_QUIT_DELAY_MS", quitDelayMs);
    overrideFrom("ONDIVO_UPDATER_SEGMENT_BYTES", segmentBytes);
}

void resetTiming() {
    startDelayMs = kDefaultStartDelayMs;
    segmentIdleMs = kDefaultSegmentIdleMs;
    segmentOverallMs = kDefaultSegmentOverallMs;
    retryWaitStepMs = kDefaultRetryWaitStepMs;
    pidWaitMs = kDefaultPidWaitMs;
    quitDelayMs = kDefaultQuitDelayMs;
    segmentBytes = kDefaultSegmentBytes;
    progressReportIntervalMs = kDefaultProgressReportIntervalMs;
}

} // namespace updater::timing
