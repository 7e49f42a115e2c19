#include "widgets/UsageBarRules.h"

#include <algorithm>

namespace widgets {

UsageBarShape usageBarShape(const QRect& cell) {
    const int x1 = cell.left(), y1 = cell.top(), x2 = cell.right(), y2 = cell.bottom();
    if (y2 - y1 - 13 > 13)
        return {QRect(QPoint(x1 + 8, y1 + 7), QPoint(x2 - 8, y2 - 7)), 4};
    const QRect bar(QPoint(x1 + 6, y1 + 4), QPoint(x2 - 6, y2 - 4));
    return {bar, bar.height() > 9 ? 4 : bar.height() / 2};
}

int usageFillWidth(int barWidth, double percent) {
    const double p = std::clamp(percent, 0.0, 100.0);
    return std::max(2, int(barWidth * p / 100.0));
}

QString usageFillColor(double percent) {
    if (percent >= 95)
        return QStringLiteral("#d93025");
    if (percent >= 85)
        return QStringLiteral("#f29900");
    if (percent >= 70)
        return QStringLiteral("#f2c94c");
    return QStringLiteral("#34a853");
}

} // namespace widgets
