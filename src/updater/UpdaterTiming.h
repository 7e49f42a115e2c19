#pragma once

#include <QtGlobal>

// Time limits and block sizes of the updater. Tests shorten them; the built program takes shorter
// values from the environment only when a test sets them (applyTimingOverridesFromEnvironment).
namespace updater::timing {

inline constexpr int kDefaultStartDelayMs = 100;        // window shown -> pipeline starts
inline constexpr int kDefaultSegmentIdleMs = 15000;     // no data for this long ends an attempt
inline constexpr int kDefaultSegmentOverallMs = 90000;  // one segment attempt may take this long
inline constexpr int kDefaultRetryWaitStepMs = 500;     // wait before attempt n+1 = step * n
inline constexpr int kDefaultPidWaitMs = 30000;         // how long the client may take to exit
inline constexpr int kDefaultQuitDelayMs = 800;         // success shown this long before quitting
inline constexpr int kDefaultProgressReportIntervalMs = 1000; // download progress at most this often (or per %)
inline constexpr qint64 kDefaultSegmentBytes = 4194304; // one ranged request
inline constexpr qint64 kHashBlockBytes = 1048576;      // read block of the digest

inline int startDelayMs = kDefaultStartDelayMs;
inline int segmentIdleMs = kDefaultSegmentIdleMs;
inline int segmentOverallMs = kDefaultSegmentOverallMs;
inline int retryWaitStepMs = kDefaultRetryWaitStepMs;
inline int pidWaitMs = kDefaultPidWaitMs;
inline int quitDelayMs = kDefaultQuitDelayMs;
inline qint64 segmentBytes = kDefaultSegmentBytes;
inline int progressReportIntervalMs = kDefaultProgressReportIntervalMs;

// Reads, when present, ONDIVO_UPDATER_START_DELAY_MS, ONDIVO_UPDATER_SEGMENT_IDLE_MS,
// ONDIVO_UPDATER_SEGMENT_OVERALL_MS, ONDIVO_UPDATER_RETRY_WAIT_STEP_MS, ONDIVO_UPDATER_PID_WAIT_MS,
// ONDIVO_UPDATER_QUIT_DELAY_MS and ONDIVO_UPDATER_SEGMENT_BYTES (positive integers). Only the
// integration tests of the built program set them, so a fault such as a 15 s stall can be provoked
// in well under a second; a value that is absent or not a positive number keeps the default.
void applyTimingOverridesFromEnvironment();

// Puts every value back to its default (tests).
void resetTiming();

} // namespace updater::timing
