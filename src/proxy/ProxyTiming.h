#pragma once

// Durations of the proxy and bridge pages. Tests may shorten them; reset() restores the defaults.
namespace proxy::timing {

// Idle limit of one status or bridge-list poll request: a silent Agent fails after this long.
inline int pollIdleMs = 8000;
// While an upstream test runs its Node's bridges are read this often, so the result shows when the
// test ends rather than at the next status tick; after the limit the status tick alone goes on.
inline int bridgeTestFollowMs = 1000;
inline int bridgeTestFollowLimitMs = 60000;

inline void reset() {
    pollIdleMs = 8000;
    bridgeTestFollowMs = 1000;
    bridgeTestFollowLimitMs = 60000;
}

} // namespace proxy::timing
