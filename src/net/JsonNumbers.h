#pragma once

#include <QJsonValue>
#include <QtGlobal>
#include <cmath>

namespace net {

// A JSON number as a whole number within lowest..highest, checked before it is converted (a double
// outside the target type's range is undefined behaviour in the conversion); a value that is no number,
// not finite or outside the range gives fallback. Fractions are truncated toward zero.
inline qint64 boundedInteger(const QJsonValue& value, qint64 lowest, qint64 highest, qint64 fallback) {
    if (!value.isDouble())
        return fallback;
    const double number = std::trunc(value.toDouble());
    // 2^63 itself does not fit, though double(highest) may round up to it.
    if (!std::isfinite(number) || number < double(lowest) || number > double(highest) ||
        std::fabs(number) >= 9223372036854775808.0)
        return fallback;
    return qint64(number);
}

} // namespace net
