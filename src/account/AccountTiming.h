#pragma once

namespace account {

// Delays and time limits of sign-in and the network proxy dialog, in milliseconds. Tests may shorten
// them; `timing = {}` restores the defaults (the test entry point does so before every test function).
struct AccountTiming {
    // The automatic sign-in starts this long after the dialog is built, so the dialog is on screen first.
    int autoSignInDelayMs = 100;

    // A proxy test that has not finished after this long is aborted.
    int proxyTestTimeoutMs = 12000;

    bool operator==(const AccountTiming&) const = default;
};

inline AccountTiming timing;

} // namespace account
