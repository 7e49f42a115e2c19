#pragma once

// Time limits of the Node console, in milliseconds. Tests may shorten them and call reset() afterwards.
namespace console::timing {

// ssh is a local program; if it has not started after this long it never will.
inline constexpr int kDefaultSshStartWaitMs = 5000;
inline int sshStartWaitMs = kDefaultSshStartWaitMs;

// Closing the pane terminates ssh and gives it this long to end before it is killed.
inline constexpr int kDefaultSshStopWaitMs = 1000;
inline int sshStopWaitMs = kDefaultSshStopWaitMs;

// Fetching the host keys of a Node with a pinned fingerprint; a host that does not answer within this
// time gets no session rather than an endless wait.
inline constexpr int kDefaultKeyScanTimeoutMs = 15000;
inline int keyScanTimeoutMs = kDefaultKeyScanTimeoutMs;

// A connection to the asset server that sends no request within this time is dropped.
inline constexpr int kDefaultAssetIdleMs = 10000;
inline int assetIdleMs = kDefaultAssetIdleMs;

inline void reset() {
    sshStartWaitMs = kDefaultSshStartWaitMs;
    sshStopWaitMs = kDefaultSshStopWaitMs;
    keyScanTimeoutMs = kDefaultKeyScanTimeoutMs;
    assetIdleMs = kDefaultAssetIdleMs;
}

} // namespace console::timing
