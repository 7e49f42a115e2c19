#pragma once

// Time limits of the streaming pages, in milliseconds. Tests may shorten them and call reset() after.
namespace streaming::timing {

// A live room status request that receives nothing for this long is given up like a network error; until
// then only that room waits, every other room keeps its one-second poll.
inline constexpr int kDefaultLiveStatusIdleTimeoutMs = 10000;
inline int liveStatusIdleTimeoutMs = kDefaultLiveStatusIdleTimeoutMs;

// An RTMP room list request that receives nothing for this long ends as a failure (the Node's service row
// says why), so a Node that accepts the connection and never answers holds up only its own rows.
inline constexpr int kDefaultRtmpStatusIdleTimeoutMs = 15000;
inline int rtmpStatusIdleTimeoutMs = kDefaultRtmpStatusIdleTimeoutMs;

inline void reset() {
    liveStatusIdleTimeoutMs = kDefaultLiveStatusIdleTimeoutMs;
    rtmpStatusIdleTimeoutMs = kDefaultRtmpStatusIdleTimeoutMs;
}

} // namespace streaming::timing
