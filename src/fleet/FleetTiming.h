#pragma once

namespace fleet {

// Durations of the shared poll cycle, in milliseconds. Tests may shorten them; `timing = {}` restores
// the defaults (the test entry point does so before every test function). A poll cycle reads them when
// it is created.
struct FleetTiming {
    // Replies that finish while others of the same poll are still on their way are gathered for at most
    // this long and handed to the page together, so a burst of replies costs one repaint instead of one
    // per reply. The last reply of a poll is handed over at once.
    int handOverGatherMs = 100;

    bool operator==(const FleetTiming&) const = default;
};

inline FleetTiming timing;

} // namespace fleet
