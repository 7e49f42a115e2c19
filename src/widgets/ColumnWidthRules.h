#pragma once

#include <QList>
#include <QString>

// How a percentage table's columns share its width: by default the first column is capped and the rest
// share what remains by percentages; once the user has dragged one of them the widths become weights,
// kept per table, and every later width is the viewport shared by those weights.
namespace widgets {

// Widths of every column of a percentage table for a viewport width; empty when nothing is to be set.
// Column 0 gets at most firstColumnWidth; the rest share what remains by the percentages, 40 at least.
QList<int> percentColumnWidths(int viewportWidth, int firstColumnWidth, const QList<int>& percentages,
                               int columnCount);

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

} // namespace widgets
