#pragma once

// Durations of the proxy and bridge pages. Tests may shorten them; reset() restores the defaults.
namespace proxy::timing {

// Idle limit of one status or bridge-list poll request: a silent Agent fails after this long.
inline int pollIdleMs = 8000;

inline void reset() {
    pollIdleMs = 8000;
}

} // namespace proxy::timing
