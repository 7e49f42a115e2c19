#pragma once

namespace settings {

// Delays of the settings page and the version label, in milliseconds. Tests may shorten them;
// `timing = {}` restores the defaults (the test entry point does so before every test function).
struct SettingsTiming {
    // The first client manifest fetch waits this long after the version label is built, so the window
    // is on screen before a slow Cloud API could hold it in a blocking request.
    int versionCheckDelayMs = 1200;

    bool operator==(const SettingsTiming&) const = default;
};

inline SettingsTiming timing;

} // namespace settings
