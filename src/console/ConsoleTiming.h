#pragma once

namespace console {

// Time limits of the Node console, in milliseconds. Tests may shorten them; `timing = {}` restores the
// defaults (the test entry point does so before every test function).
struct ConsoleTiming {
    // ssh is a local program; if it has not started after this long it never will.
    int sshStartWaitMs = 5000;

    // Closing the pane terminates ssh and gives it this long to end before it is killed.
    int sshStopWaitMs = 1000;

    // Fetching the host keys of a Node with a pinned fingerprint; a host that does not answer within this
    // time gets no session rather than an endless wait.
    int keyScanTimeoutMs = 15000;

    // A connection to the asset server that sends no request within this time is dropped.
    int assetIdleMs = 10000;

    bool operator==(const ConsoleTiming&) const = default;
};

inline ConsoleTiming timing;

} // namespace console
