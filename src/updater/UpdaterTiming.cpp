#include "updater/UpdaterTiming.h"

#include <QString>

namespace updater {
namespace {

template <typename T> void overrideFrom(const char* name, T& value) {
    bool ok = false;
    const qint64 parsed = qEnvironmentVariable(name).toLongLong(&ok);
    if (ok && parsed > 0)
        value = T(parsed);
}

} // namespace

void applyTimingOverridesFromEnvironment() {
    overrideFrom("ONDIVO_UPDATER_START_DELAY_MS", timing.startDelayMs);
    overrideFrom("ONDIVO_UPDATER_SEGMENT_IDLE_MS", timing.segmentIdleMs);
    overrideFrom("ONDIVO_UPDATER_SEGMENT_OVERALL_MS", timing.segmentOverallMs);
    overrideFrom("ONDIVO_UPDATER_RETRY_WAIT_STEP_MS", timing.retryWaitStepMs);
    overrideFrom("ONDIVO_UPDATER_PID_WAIT_MS", timing.pidWaitMs);
    overrideFrom("ONDIVO_UPDATER_QUIT_DELAY_MS", timing.quitDelayMs);
    overrideFrom("ONDIVO_UPDATER_SEGMENT_BYTES", timing.segmentBytes);
}

} // namespace updater
