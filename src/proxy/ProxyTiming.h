#pragma once

namespace proxy {

// Durations of the proxy and bridge pages, in milliseconds. Tests may shorten them; `timing = {}`
// restores the defaults (the test entry point does so before every test function).
struct ProxyTiming {
    // Idle limit of one status or bridge-list poll request: a silent Agent fails after this long.
    int pollIdleMs = 8000;

    bool operator==(const ProxyTiming&) const = default;
};

inline ProxyTiming timing;

} // namespace proxy
