#pragma once

#include <QString>
#include <QtGlobal>

// The text forms of sizes, rates, durations and times that every page shares.
namespace fmt {

// Bytes in "B" .. "TB" (client tables and totals): two decimals below 10, one from 10 on.
QString clientBytes(double bytes);
// Bytes in "B" .. "GB" (the updater's download and size messages).
QString updaterBytes(double bytes);
// A client size per second: clientBytes + "/s".
QString clientRate(double bytesPerSecond);
// The nodes page's network rate: "B/s" .. "GB/s", one decimal below 10, none from 10 on.
QString nodeRate(double bytesPerSecond);
// "hh:mm:ss" below one day, "Nd hh:mm:ss" from one day on; negative counts as 0.
QString duration(qint64 seconds);

// Milliseconds since the epoch as local "yyyy-MM-dd HH:mm:ss"; below 1 gives "--".
QString formatEpochMs(qint64 ms);
// "HH:mm:ss " + text with the current local time, the line form of the timestamped log views.
QString timestampedLine(const QString& text);

} // namespace fmt
