#include "widgets/ColumnWidthRules.h"

#include <QStringList>
#include <algorithm>
#include <numeric>

namespace widgets {

QList<int> percentColumnWidths(int viewportWidth, int firstColumnWidth, const QList<int>& percentages,
                               int columnCount) {
    QList<int> widths;
    if (columnCount < 1 || percentages.isEmpty())
        return widths;
    const int first = std::min(viewportWidth > 161 ? viewportWidth / 2 : 80, firstColumnWidth);
    widths << first;
    const int n = std::min(columnCount - 1, int(percentages.size()));
    if (n < 1)
        return widths;
    int sum = 0;
    for (int k = 0; k < n; ++k)
        sum += std::max(0, percentages[k]);
    if (sum < 1)
        return widths;
    const qint64 available = std::max(0, viewportWidth - first);
    int given = 0;
    for (int k = 0; k < n; ++k) {
        int width = 40;
        if (k == n - 1)
            width = std::max<int>(40, int(available - given));
        else if (percentages[k] > 0)
            width = std::max<int>(40, int(percentages[k] * available / sum));
        widths << width;
        given += width;
    }
    return widths;
}

QList<int> proportionalWidths(int available, const QList<int>& weights) {
    if (weights.isEmpty() || std::any_of(weights.begin(), weights.end(), [](int w) { return w <= 0; }))
        return {};
    const qint64 sum = std::accumulate(weights.begin(), weights.end(), qint64(0));
    const qint64 space = std::max(0, available);
    QList<int> widths;
    qint64 given = 0;
    for (int i = 0; i < weights.size(); ++i) {
        const qint64 width = i == weights.size() - 1 ? space - given : weights[i] * space / sum;
        widths << int(width);
        given += width;
    }
    return widths;
}

QList<int> resizeWithinTotal(const QList<int>& widths, int column, int newWidth, int minimumWidth) {
    if (column < 0 || column >= widths.size() || widths.size() < 2)
        return widths;
    // The columns that give way: those to the right, or those to the left of the last column.
    QList<int> side;
    for (int i = column + 1; i < widths.size(); ++i)
        side << i;
    if (side.isEmpty()) {
        for (int i = 0; i < column; ++i)
            side << i;
    }
    qint64 sideTotal = 0;
    qint64 sideExtra = 0;
    for (int i : side) {
        sideTotal += widths[i];
        sideExtra += std::max(0, widths[i] - minimumWidth);
    }
    const qint64 span = widths[column] + sideTotal;
    const qint64 sideMinimum = qint64(minimumWidth) * side.size();
    const qint64 upper = std::max<qint64>(minimumWidth, span - sideMinimum);
    const qint64 width = std::clamp<qint64>(newWidth, minimumWidth, upper);
    const qint64 newExtra = std::max<qint64>(0, span - width - sideMinimum);

    QList<int> result = widths;
    result[column] = int(width);
    qint64 given = 0;
    for (int k = 0; k < side.size(); ++k) {
        const int i = side[k];
        qint64 extra = 0;
        if (k == side.size() - 1)
            extra = newExtra - given;
        else if (sideExtra > 0)
            extra = std::max(0, widths[i] - minimumWidth) * newExtra / sideExtra;
        else
            extra = newExtra / side.size();
        result[i] = int(minimumWidth + extra);
        given += extra;
    }
    return result;
}

QString encodeWeights(const QList<int>& weights) {
    QStringList parts;
    for (int weight : weights)
        parts << QString::number(weight);
    return parts.join(QLatin1Char(','));
}

QList<int> decodeWeights(const QString& text, int columnCount) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (columnCount < 1 || parts.size() != columnCount)
        return {};
    QList<int> weights;
    for (const QString& part : parts) {
        bool ok = false;
        const int weight = part.trimmed().toInt(&ok);
        if (!ok || weight <= 0)
            return {};
        weights << weight;
    }
    return weights;
}

} // namespace widgets
