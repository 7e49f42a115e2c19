#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

// How a Node's status reply becomes the texts of its row in the nodes table. No widgets here: the page
// applies them.
namespace mainwindow {

inline constexpr int kNodeColumnCount = 12;
inline constexpr int kAgentColumn = 3;
inline constexpr int kMediaMtxColumn = 4;
inline constexpr int kGostColumn = 5;
inline constexpr int kFfmpegColumn = 6;
inline constexpr int kCpuColumn = 7;
inline constexpr int kMemoryColumn = 8;
inline constexpr int kDiskColumn = 9;
inline constexpr int kNetworkColumn = 10;
inline constexpr int kTrendColumn = 11; // drawn from the history, no text

// Texts of columns 3 to 10 of one row and the usage percentages of columns 8 and 9 (negative: no bar).
struct NodeRowTexts {
    QString agentVersion;
    QString mediaMtx;
    QString gost;
    QString ffmpeg;
    QString cpu;
    QString memory;
    QString disk;
    QString network;
    double memoryPercent = -1;
    double diskPercent = -1;

    bool operator==(const NodeRowTexts&) const = default;
};

QString sizeText(double bytes);
QString rateText(double bytesPerSecond);

// "未安装", the version, or "已安装".
QString engineText(const QJsonObject& engine);
// The engine text followed by " 运行中" or " 已停止"; "未安装" alone when not installed.
QString mediaMtxText(const QJsonObject& mediaMtx);
// "used / total  p%" or "--" when a figure is missing.
QString usageText(const QJsonObject& usage);
// The bar's percentage, capped at 100; -1 when there is none.
double usagePercent(const QJsonObject& usage);
// "Down x / Up y" or "--".
QString networkText(const QJsonObject& network);
// "12.5%" or "--" without a "cpu" member.
QString cpuText(const QJsonObject& status);

// The row of a status reply; missing members fall back to "--", "未安装" and no bar.
NodeRowTexts rowFromStatus(const QJsonObject& status);
// A Node that did not answer ("离线") or has no Agent endpoint ("未接入").
NodeRowTexts offlineRow();
NodeRowTexts unconnectedRow();

// Column 3: the version, with " -> latest" when a known version differs from the latest one.
QString agentVersionCell(const QString& version, const QString& latest);

// Rows of a selection that are Node indexes, distinct and ascending; the current row when none is.
QList<int> validSelectedRows(const QList<int>& selectedRows, int currentRow, int nodeCount);
// Whether a right-click on this row replaces the selection with the row alone.
bool rightClickSelectsRowAlone(int clickedRow, int nodeCount, const QList<int>& selectedRows);

} // namespace mainwindow
