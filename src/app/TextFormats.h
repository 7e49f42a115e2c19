#pragma once

#include <QString>
#include <QtGlobal>

// The text forms of sizes, rates, durations and times that every page shares.
namespace fmt {

// The range of sizes, rates and counts a peer may plausibly report; anything outside it (negative, not a
// number, 1e300) is shown as "--" rather than as a 300-digit figure or a negative total.
inline constexpr double kMaxPlausibleBytes = 1152921504606846976.0; // 2^60 bytes (1 EiB)
inline constexpr double kMaxPlausibleRate = 1125899906842624.0;     // 2^50 bytes per second
inline constexpr double kMaxPlausibleCount = 1000000000.0;

// Bytes in "B" .. "TB" (client tables and totals): two decimals below 10, one from 10 on; "--" outside
// 0 .. kMaxPlausibleBytes.
QString clientBytes(double bytes);
// Bytes in "B" .. "GB" (the updater's download and size messages).
QString updaterBytes(double bytes);
// A client size per second: clientBytes + "/s"; "--" outside 0 .. kMaxPlausibleRate.
QString clientRate(double bytesPerSecond);
// The nodes page's network rate: "B/s" .. "GB/s", one decimal below 10, none from 10 on; "--" outside
// 0 .. kMaxPlausibleRate.
QString nodeRate(double bytesPerSecond);
// A count (files, connections): the whole number in decimal; "--" for a fraction or outside
// 0 .. kMaxPlausibleCount.
QString count(double value);
// "hh:mm:ss" below one day, "Nd hh:mm:ss" from one day on; negative counts as 0.
QString duration(qint64 seconds);

// Milliseconds since the epoch as local "yyyy-MM-dd HH:mm:ss"; below 1 gives "--".
QString formatEpochMs(qint64 ms);
// "HH:mm:ss " + text with the current local time, the line form of the timestamped log views.
QString timestampedLine(const QString& text);

} // namespace fmt
