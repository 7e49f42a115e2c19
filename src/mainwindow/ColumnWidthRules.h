#pragma once

#include <QList>
#include <QString>

// How a table's columns share its width once the user has dragged one of them: the widths become
// weights, kept per table, and every later width is the viewport shared by those weights.
namespace columns {

// The narrowest a column may be dragged or shared down to.
inline constexpr int kMinimumWidth = 30;

// The viewport shared by the weights; the rounding rest goes to the last column. Empty when any weight
// is not positive.
QList<int> proportionalWidths(int available, const QList<int>& weights);

// The widths after column was dragged to newWidth with the table's total kept: the columns to its right
// give or take the difference in proportion to what they have above the minimum (the columns to its
// left when it is the last one). Unchanged when the column is out of range or stands alone.
QList<int> resizeWithinTotal(const QList<int>& widths, int column, int newWidth,
                             int minimumWidth = kMinimumWidth);

// Stored form of the weights ("120,80,..."), and back; decoding yields an empty list unless there are
// exactly columnCount positive whole numbers, so a stored layout of another table shape is ignored.
QString encodeWeights(const QList<int>& weights);
QList<int> decodeWeights(const QString& text, int columnCount);

} // namespace columns
