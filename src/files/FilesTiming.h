#pragma once

namespace files {

// Delays of the files page and the upload engine, in milliseconds. Tests may shorten them; `timing = {}`
// restores the defaults (the test entry point does so before every test function).
struct FilesTiming {
    // A failed chunk is sent again after these waits (first, second and third failure in a row).
    int firstRetryMs = 1000;
    int secondRetryMs = 3000;
    int thirdRetryMs = 5000;

    // A chunk request that neither sends nor receives anything for this long is given up like a
    // network failure (and retried), so one stalled connection cannot hold a slot for good.
    int chunkIdleTimeoutMs = 60000;

    // The current speed is sampled at most this often.
    int speedSampleMs = 700;

    // Wait before the n-th retry in a row (1..3); 0 when no retry is left.
    int retryDelayMs(int attempt) const {
        switch (attempt) {
        case 1:
            return firstRetryMs;
        case 2:
            return secondRetryMs;
        case 3:
            return thirdRetryMs;
        default:
            return 0;
        }
    }

    bool operator==(const FilesTiming&) const = default;
};

inline FilesTiming timing;

} // namespace files
