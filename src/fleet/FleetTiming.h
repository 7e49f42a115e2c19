#pragma once

// Durations of the shared poll cycle, in milliseconds. Tests may shorten them; reset() restores the
// defaults. A poll cycle reads them when it is created.
namespace fleet::timing {

// Replies that finish while others of the same poll are still on their way are gathered for at most
// this long and handed to the page together, so a burst of replies costs one repaint instead of one
// per reply. The last reply of a poll is handed over at once.
inline constexpr int kDefaultHandOverGatherMs = 100;
inline int handOverGatherMs = kDefaultHandOverGatherMs;

inline void reset() {
    handOverGatherMs = kDefaultHandOverGatherMs;
}

} // namespace fleet::timing
