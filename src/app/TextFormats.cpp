#include "app/TextFormats.h"

#include <QDateTime>
#include <QStringList>
#include <cmath>

namespace fmt {
namespace {

struct Scaled {
    double value;
    int unitIndex;
};

Scaled scaleBy1024(double value, int lastUnit) {
    int unit = 0;
    while (value >= 1024.0 && unit < lastUnit) {
        value /= 1024.0;
        ++unit;
    }
    return {value, unit};
}

QString sizeText(double bytes, const char* const* units, int lastUnit) {
    const Scaled s = scaleBy1024(bytes, lastUnit);
    const int decimals = s.value < 10.0 ? 2 : 1;
    return QString::number(s.value, 'f', decimals) + QLatin1Char(' ') + QLatin1String(units[s.unitIndex]);
}

constexpr const char* kSizeUnits[] = {"B", "KB", "MB", "GB", "TB"};
constexpr const char* kRateUnits[] = {"B/s", "KB/s", "MB/s", "GB/s"};

bool inRange(double value, double highest) {
    return std::isfinite(value) && value >= 0.0 && value <= highest;
}

const QString kDash = QStringLiteral("--");

QString twoDigits(qint64 n) {
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

} // namespace

QString clientBytes(double bytes) {
    return inRange(bytes, kMaxPlausibleBytes) ? sizeText(bytes, kSizeUnits, 4) : kDash;
}

QString updaterBytes(double bytes) {
    return sizeText(bytes, kSizeUnits, 3);
}

QString clientRate(double bytesPerSecond) {
    return inRange(bytesPerSecond, kMaxPlausibleRate) ? clientBytes(bytesPerSecond) + QStringLiteral("/s")
                                                      : kDash;
}

QString nodeRate(double bytesPerSecond) {
    if (!inRange(bytesPerSecond, kMaxPlausibleRate))
        return kDash;
    const Scaled s = scaleBy1024(bytesPerSecond, 3);
    const int decimals = s.value < 10.0 ? 1 : 0;
    return QString::number(s.value, 'f', decimals) + QLatin1Char(' ') +
           QLatin1String(kRateUnits[s.unitIndex]);
}

QString count(double value) {
    if (!inRange(value, kMaxPlausibleCount) || value != std::floor(value))
        return kDash;
    return QString::number(qint64(value));
}

QString duration(qint64 seconds) {
    if (seconds < 0)
        seconds = 0;
    const qint64 days = seconds / 86400;
    const qint64 hours = (seconds % 86400) / 3600;
    const qint64 minutes = (seconds % 3600) / 60;
    const qint64 secs = seconds % 60;
    if (days > 0) {
        return QStringLiteral("%1d %2:%3:%4")
            .arg(QString::number(days), twoDigits(hours), twoDigits(minutes), twoDigits(secs));
    }
    return QStringLiteral("%1:%2:%3").arg(twoDigits(hours), twoDigits(minutes), twoDigits(secs));
}

QString formatEpochMs(qint64 ms) {
    if (ms < 1)
        return QStringLiteral("--");
    return QDateTime::fromMSecsSinceEpoch(ms).toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString timestampedLine(const QString& text) {
    return QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss")) + QLatin1Char(' ') + text;
}

} // namespace fmt
