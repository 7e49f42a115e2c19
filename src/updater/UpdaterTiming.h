#pragma once

#include <QtGlobal>

namespace updater {

// Time limits and block sizes of the updater. Tests shorten them; `timing = {}` restores the defaults
// (the test entry point does so before every test function). The built program takes shorter values
// from the environment only when a test sets them (applyTimingOverridesFromEnvironment).
struct UpdaterTiming {
    int startDelayMs = 100;              // window shown -> pipeline starts
    int segmentIdleMs = 15000;           // no data for this long ends an attempt
    int segmentOverallMs = 90000;        // one segment attempt may take this long
    int retryWaitStepMs = 500;           // wait before attempt n+1 = step * n
    int pidWaitMs = 30000;               // how long the client may take to exit
    int quitDelayMs = 800;               // success shown this long before quitting
    int progressReportIntervalMs = 1000; // download progress at most this often (or per %)
    qint64 segmentBytes = 4194304;       // one ranged request

    bool operator==(const UpdaterTiming&) const = default;
};

inline UpdaterTiming timing;

inline constexpr qint64 kHashBlockBytes = 1048576; // read block of the digest

// Reads, when present, ONDIVO_UPDATER_START_DELAY_MS, ONDIVO_UPDATER_SEGMENT_IDLE_MS,
// ONDIVO_UPDATER_SEGMENT_OVERALL_MS, ONDIVO_UPDATER_RETRY_WAIT_STEP_MS, ONDIVO_UPDATER_PID_WAIT_MS,
// ONDIVO_UPDATER_QUIT_DELAY_MS and ONDIVO_UPDATER_SEGMENT_BYTES (positive integers) into `timing`.
// Only the integration tests of the built program set them, so a fault such as a 15 s stall can be
// provoked in well under a second; a value that is absent or not a positive number keeps the default.
void applyTimingOverridesFromEnvironment();

} // namespace updater
