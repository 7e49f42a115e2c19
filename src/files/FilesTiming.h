#pragma once

// Delays of the files page and the upload engine, in milliseconds. Tests may shorten them.
namespace files::timing {

// A failed chunk is sent again after these waits (first, second and third failure in a row).
inline constexpr int kDefaultFirstRetryMs = 1000;
inline constexpr int kDefaultSecondRetryMs = 3000;
inline constexpr int kDefaultThirdRetryMs = 5000;
inline int firstRetryMs = kDefaultFirstRetryMs;
inline int secondRetryMs = kDefaultSecondRetryMs;
inline int thirdRetryMs = kDefaultThirdRetryMs;

// A chunk request that neither sends nor receives anything for this long is given up like a
// network failure (and retried), so one stalled connection cannot hold a slot for good.
inline constexpr int kDefaultChunkIdleTimeoutMs = 60000;
inline int chunkIdleTimeoutMs = kDefaultChunkIdleTimeoutMs;

// The current speed is sampled at most this often.
inline constexpr int kDefaultSpeedSampleMs = 700;
inline int speedSampleMs = kDefaultSpeedSampleMs;

inline void reset() {
    firstRetryMs = kDefaultFirstRetryMs;
    secondRetryMs = kDefaultSecondRetryMs;
    thirdRetryMs = kDefaultThirdRetryMs;
    chunkIdleTimeoutMs = kDefaultChunkIdleTimeoutMs;
    speedSampleMs = kDefaultSpeedSampleMs;
}

// Wait before the n-th retry in a row (1..3); 0 when no retry is left.
inline int retryDelayMs(int attempt) {
    switch (attempt) {
    case 1: return firstRetryMs;
    case 2: return secondRetryMs;
    case 3: return thirdRetryMs;
    default: return 0;
    }
}

} // namespace files::timing
