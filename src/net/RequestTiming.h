#pragma once

// Time limits of the request layer, in milliseconds. Tests may shorten them.
namespace net::timing {

// A blocking call that receives nothing for this long is abandoned like a network failure, so an
// endpoint that accepts the connection and never answers cannot hold the window busy for good.
inline constexpr int kDefaultBlockingIdleTimeoutMs = 60000;
inline int blockingIdleTimeoutMs = kDefaultBlockingIdleTimeoutMs;

inline void reset() {
    blockingIdleTimeoutMs = kDefaultBlockingIdleTimeoutMs;
}

} // namespace net::timing
