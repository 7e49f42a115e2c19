#pragma once

// Delays and time limits of sign-in and the network proxy dialog, in milliseconds. Tests may shorten
// them; reset() restores the defaults.
namespace account::timing {

// The automatic sign-in starts this long after the dialog is built, so the dialog is on screen first.
inline constexpr int kDefaultAutoSignInDelayMs = 100;
inline int autoSignInDelayMs = kDefaultAutoSignInDelayMs;

// A proxy test that has not finished after this long is aborted.
inline constexpr int kDefaultProxyTestTimeoutMs = 12000;
inline int proxyTestTimeoutMs = kDefaultProxyTestTimeoutMs;

inline void reset() {
    autoSignInDelayMs = kDefaultAutoSignInDelayMs;
    proxyTestTimeoutMs = kDefaultProxyTestTimeoutMs;
}

} // namespace account::timing
