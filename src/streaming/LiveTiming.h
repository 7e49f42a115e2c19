#pragma once

// Time limits of the live page, in milliseconds. Tests may shorten them.
namespace live::timing {

// A room status request that receives nothing for this long is given up like a network error; until
// then only that room waits, every other room keeps its one-second poll.
inline constexpr int kDefaultStatusIdleTimeoutMs = 10000;
inline int statusIdleTimeoutMs = kDefaultStatusIdleTimeoutMs;

inline void reset() {
    statusIdleTimeoutMs = kDefaultStatusIdleTimeoutMs;
}

} // namespace live::timing
