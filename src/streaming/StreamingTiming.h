#pragma once

namespace streaming {

// Time limits of the streaming pages, in milliseconds. Tests may shorten them; `timing = {}` restores
// the defaults (the test entry point does so before every test function).
struct StreamingTiming {
    // A live room status request that receives nothing for this long is given up like a network error;
    // until then only that room waits, every other room keeps its one-second poll.
    int liveStatusIdleTimeoutMs = 10000;

    // An RTMP room list request that receives nothing for this long ends as a failure (the Node's service
    // row says why), so a Node that accepts the connection and never answers holds up only its own rows.
    int rtmpStatusIdleTimeoutMs = 15000;

    bool operator==(const StreamingTiming&) const = default;
};

inline StreamingTiming timing;

} // namespace streaming
