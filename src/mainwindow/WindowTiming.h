#pragma once

// Intervals of the main window's two polling timers, in milliseconds. Tests may shorten them.
namespace mainwindow::timing {

inline constexpr int kDefaultStatusPollMs = 5000;
inline int statusPollMs = kDefaultStatusPollMs;

inline constexpr int kDefaultLivePollMs = 1000;
inline int livePollMs = kDefaultLivePollMs;

} // namespace mainwindow::timing
