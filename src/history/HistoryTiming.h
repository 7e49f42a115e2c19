#pragma once

#include <QtGlobal>

// Durations of the history, in milliseconds. Tests may shorten the retention windows; reset() restores
// the defaults. A store reads them whenever it writes or prunes.
namespace history::timing {

// Every sample is kept as it came (one per status poll) for this long.
inline constexpr qint64 kDefaultFullResolutionMs = 2LL * 3600 * 1000;
// Minute aggregates (and events) are kept for this long.
inline constexpr qint64 kDefaultAggregateRetentionMs = 14LL * 24 * 3600 * 1000;
// The trend column covers this much of the recent past.
inline constexpr qint64 kDefaultTrendMs = 15LL * 60 * 1000;

inline qint64 fullResolutionMs = kDefaultFullResolutionMs;
inline qint64 aggregateRetentionMs = kDefaultAggregateRetentionMs;
inline qint64 trendMs = kDefaultTrendMs;

inline constexpr qint64 kMinuteMs = 60 * 1000;
inline constexpr qint64 kHourMs = 60 * kMinuteMs;

inline void reset() {
    fullResolutionMs = kDefaultFullResolutionMs;
    aggregateRetentionMs = kDefaultAggregateRetentionMs;
    trendMs = kDefaultTrendMs;
}

} // namespace history::timing
