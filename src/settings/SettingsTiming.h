#pragma once

// Delays of the settings page and the version label, in milliseconds. Tests may shorten them; reset()
// restores the defaults.
namespace settings::timing {

// The first client manifest fetch waits this long after the version label is built, so the window is
// on screen before a slow Cloud API could hold it in a blocking request.
inline constexpr int kDefaultVersionCheckDelayMs = 1200;
inline int versionCheckDelayMs = kDefaultVersionCheckDelayMs;

inline void reset() {
    versionCheckDelayMs = kDefaultVersionCheckDelayMs;
}

} // namespace settings::timing
