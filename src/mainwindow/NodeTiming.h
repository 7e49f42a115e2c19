#pragma once

// Time limits of the nodes page and the Node maintenance actions, in milliseconds. Tests may shorten them.
namespace nodes::timing {

// A status request that receives nothing for this long is abandoned and its Node shows "离线", so a Node
// that accepts the connection and never answers cannot stall the poll of every other Node.
inline constexpr int kDefaultStatusIdleTimeoutMs = 15000;
inline int statusIdleTimeoutMs = kDefaultStatusIdleTimeoutMs;

// After an Agent update that was not confirmed at once, the Node's status is polled while the Agent
// restarts: a short first wait, then longer ones, a bounded number of tries.
inline constexpr int kDefaultRestartFirstWaitMs = 300;
inline int restartFirstWaitMs = kDefaultRestartFirstWaitMs;
inline constexpr int kDefaultRestartNextWaitMs = 1000;
inline int restartNextWaitMs = kDefaultRestartNextWaitMs;
inline constexpr int kRestartPollTries = 8;

// One extra status poll this long after Agent updates were sent, when the Agents have restarted.
inline constexpr int kDefaultAfterUpdateRefreshMs = 5000;
inline int afterUpdateRefreshMs = kDefaultAfterUpdateRefreshMs;

} // namespace nodes::timing
