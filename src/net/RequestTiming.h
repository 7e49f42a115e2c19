#pragma once

namespace net {

// Time limits of the request layer, in milliseconds. Tests may shorten them; `timing = {}` restores the
// defaults (the test entry point does so before every test function).
struct RequestTiming {
    // A blocking call that receives nothing for this long is abandoned like a network failure, so an
    // endpoint that accepts the connection and never answers cannot hold the window busy for good.
    int blockingIdleTimeoutMs = 60000;

    // Agent operations that answer only when they are done (an FFmpeg install can run for minutes
    // without a byte on the wire) get this idle limit instead.
    int longOperationIdleTimeoutMs = 10 * 60 * 1000;

    bool operator==(const RequestTiming&) const = default;
};

inline RequestTiming timing;

} // namespace net
