#pragma once

namespace mainwindow {

// Durations of the main window, the nodes page and the Node maintenance actions, in milliseconds.
// Tests may shorten them; `timing = {}` restores the defaults (the test entry point does so before
// every test function).
struct MainWindowTiming {
    // The window's two polling timers.
    int statusPollMs = 5000;
    int livePollMs = 1000;

    // A status request that receives nothing for this long is abandoned and its Node shows "离线"; until
    // then only that Node's row waits.
    int statusIdleTimeoutMs = 15000;

    // After an Agent update that was not confirmed at once, the Node's status is polled while the Agent
    // restarts: a short first wait, then longer ones.
    int restartFirstWaitMs = 300;
    int restartNextWaitMs = 1000;

    // One extra status poll this long after Agent updates were sent, when the Agents have restarted.
    int afterUpdateRefreshMs = 5000;

    // The nodes page polls this long after every Node list load, so a start or F5 shows live values
    // without waiting for the next tick; negative: only the ticks poll (tests that script each request).
    int pollAfterLoadMs = 0;

    bool operator==(const MainWindowTiming&) const = default;
};

inline MainWindowTiming timing;

} // namespace mainwindow
