#pragma once

// Time limits of the RTMP rooms page, in milliseconds. Tests may shorten them and call reset() after.
namespace streaming::rtmptiming {

// A room list request that receives nothing for this long ends as a failure (the Node's service row says
// why), so a Node that accepts the connection and never answers holds up only its own rows.
inline constexpr int kDefaultStatusIdleTimeoutMs = 15000;
inline int statusIdleTimeoutMs = kDefaultStatusIdleTimeoutMs;

inline void reset() {
    statusIdleTimeoutMs = kDefaultStatusIdleTimeoutMs;
}

} // namespace streaming::rtmptiming
