#pragma once

#include <QRect>
#include <QString>

// How a usage cell (a figure with a percentage, such as a Node's memory) is drawn as a bar; no widgets
// here, the delegate applies it.
namespace widgets {

// The item data role that carries a cell's usage percentage; cells without it paint the default way.
inline constexpr int kUsagePercentRole = 256 + 50; // Qt::UserRole + 50

// Usage bar geometry inside a cell rectangle, and the fill width and colours.
struct UsageBarShape {
    QRect bar;
    int radius = 0;
};
UsageBarShape usageBarShape(const QRect& cell);
int usageFillWidth(int barWidth, double percent);
QString usageFillColor(double percent);
inline constexpr char kUsageTrackColor[] = "#eef1f4";
inline constexpr char kUsageTextColor[] = "#202020";

} // namespace widgets
