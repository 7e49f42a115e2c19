#pragma once

// Durations of the main window, the nodes page and the Node maintenance actions, in milliseconds.
// Tests may shorten them; reset() restores the defaults.
namespace mainwindow::timing {

// The window's two polling timers.
inline constexpr int kDefaultStatusPollMs = 5000;
inline int statusPollMs = kDefaultStatusPollMs;
inline constexpr int kDefaultLivePollMs = 1000;
inline int livePollMs = kDefaultLivePollMs;

// A status request that receives nothing for this long is abandoned and its Node shows "离线"; until
// then only that Node's row waits.
inline constexpr int kDefaultStatusIdleTimeoutMs = 15000;
inline int statusIdleTimeoutMs = kDefaultStatusIdleTimeoutMs;

// After an Agent update that was not confirmed at once, the Node's status is polled while the Agent
// restarts: a short first wait, then longer ones.
inline constexpr int kDefaultRestartFirstWaitMs = 300;
inline int restartFirstWaitMs = kDefaultRestartFirstWaitMs;
inline constexpr int kDefaultRestartNextWaitMs = 1000;
inline int restartNextWaitMs = kDefaultRestartNextWaitMs;

// One extra status poll this long after Agent updates were sent, when the Agents have restarted.
inline constexpr int kDefaultAfterUpdateRefreshMs = 5000;
inline int afterUpdateRefreshMs = kDefaultAfterUpdateRefreshMs;

inline void reset() {
    statusPollMs = kDefaultStatusPollMs;
    livePollMs = kDefaultLivePollMs;
    statusIdleTimeoutMs = kDefaultStatusIdleTimeoutMs;
    restartFirstWaitMs = kDefaultRestartFirstWaitMs;
    restartNextWaitMs = kDefaultRestartNextWaitMs;
    afterUpdateRefreshMs = kDefaultAfterUpdateRefreshMs;
}

} // namespace mainwindow::timing
