#pragma once

#include <QtGlobal>

namespace history {

inline constexpr qint64 kMinuteMs = 60 * 1000;
inline constexpr qint64 kHourMs = 60 * kMinuteMs;

// Durations of the history, in milliseconds. Tests may shorten the retention windows; `timing = {}`
// restores the defaults (the test entry point does so before every test function). A store reads them
// whenever it writes or prunes.
struct HistoryTiming {
    // Every sample is kept as it came (one per status poll) for this long.
    qint64 fullResolutionMs = 2 * kHourMs;

    // Minute aggregates (and events) are kept for this long.
    qint64 aggregateRetentionMs = 14LL * 24 * kHourMs;

    // The trend column covers this much of the recent past.
    qint64 trendMs = 15 * kMinuteMs;

    bool operator==(const HistoryTiming&) const = default;
};

inline HistoryTiming timing;

} // namespace history
