#pragma once

namespace console {

// Time limits of the Node console, in milliseconds. Tests may shorten them; `timing = {}` restores the
// defaults (the test entry point does so before every test function).
struct ConsoleTiming {
    // ssh is a local program; if it has not started after this long it never will.
    int sshStartWaitMs = 5000;

    // Closing the pane terminates ssh and gives it this long to end before it is killed.
    int sshStopWaitMs = 1000;

    // From the start of a connection (the host-key check included) until ssh has logged in. A host that
    // accepts the connection but never completes a login gets a clear failure instead of a black
    // terminal.
    int sshConnectLimitMs = 20000;

    // A connection to the asset server that sends no request within this time is dropped.
    int assetIdleMs = 10000;

    bool operator==(const ConsoleTiming&) const = default;
};

inline ConsoleTiming timing;

} // namespace console
