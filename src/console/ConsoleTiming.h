#pragma once

// Time limits of the Node console, in milliseconds. Tests may shorten them and call reset() afterwards.
namespace console::timing {

// ssh is a local program; if it has not started after this long it never will.
inline constexpr int kDefaultSshStartWaitMs = 5000;
inline int sshStartWaitMs = kDefaultSshStartWaitMs;

// Closing the pane terminates ssh and gives it this long to end before it is killed.
inline constexpr int kDefaultSshStopWaitMs = 1000;
inline int sshStopWaitMs = kDefaultSshStopWaitMs;

// From the start of a connection (the host-key check included) until ssh has logged in. A host that
// accepts the connection but never completes a login gets a clear failure instead of a black terminal.
inline constexpr int kDefaultSshConnectLimitMs = 20000;
inline int sshConnectLimitMs = kDefaultSshConnectLimitMs;

// A connection to the asset server that sends no request within this time is dropped.
inline constexpr int kDefaultAssetIdleMs = 10000;
inline int assetIdleMs = kDefaultAssetIdleMs;

inline void reset() {
    sshStartWaitMs = kDefaultSshStartWaitMs;
    sshStopWaitMs = kDefaultSshStopWaitMs;
    sshConnectLimitMs = kDefaultSshConnectLimitMs;
    assetIdleMs = kDefaultAssetIdleMs;
}

} // namespace console::timing
