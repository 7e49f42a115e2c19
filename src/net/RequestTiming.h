#pragma once

// Time limits of the request layer, in milliseconds. Tests may shorten them.
namespace net::timing {

// A blocking call that receives nothing for this long is abandoned like a network failure, so an
// endpoint that accepts the connection and never answers cannot hold the window busy for good.
inline constexpr int kDefaultBlockingIdleTimeoutMs = 60000;
inline int blockingIdleTimeoutMs = kDefaultBlockingIdleTimeoutMs;

// Agent operations that answer only when they are done (an FFmpeg install can run for minutes without
// a byte on the wire) get this idle limit instead.
inline constexpr int kDefaultLongOperationIdleTimeoutMs = 10 * 60 * 1000;
inline int longOperationIdleTimeoutMs = kDefaultLongOperationIdleTimeoutMs;

inline void reset() {
    blockingIdleTimeoutMs = kDefaultBlockingIdleTimeoutMs;
    longOperationIdleTimeoutMs = kDefaultLongOperationIdleTimeoutMs;
}

} // namespace net::timing
