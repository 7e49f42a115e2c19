#include "mainwindow/NodeStatusRules.h"

#include "app/TextFormats.h"

#include <algorithm>
#include <set>

namespace nodes {
namespace {

double numberOr(const QJsonObject& object, const char* key, double fallback) {
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isDouble() ? value.toDouble() : fallback;
}

QString installedEngineName(const QJsonObject& engine) {
    const QString version = engine.value(QLatin1String("version")).toString();
    return version.isEmpty() ? QStringLiteral("已安装") : version;
}

bool installed(const QJsonObject& engine) {
    return engine.value(QLatin1String("installed")).toBool(false);
}

} // namespace

QString sizeText(double bytes) {
    return fmt::clientBytes(bytes);
}

QString rateText(double bytesPerSecond) {
    return fmt::nodeRate(bytesPerSecond);
}

QString engineText(const QJsonObject& engine) {
    return installed(engine) ? installedEngineName(engine) : QStringLiteral("未安装");
}

QString mediaMtxText(const QJsonObject& mediaMtx) {
    if (!installed(mediaMtx))
        return QStringLiteral("未安装");
    const bool running = mediaMtx.value(QLatin1String("running")).toBool(false);
    return installedEngineName(mediaMtx) + (running ? QStringLiteral(" 运行中") : QStringLiteral(" 已停止"));
}

QString usageText(const QJsonObject& usage) {
    const double percent = numberOr(usage, "usedPercent", -1);
    const double used = numberOr(usage, "used", -1);
    const double total = numberOr(usage, "total", -1);
    if (percent < 0 || used < 0 || total <= 0)
        return QStringLiteral("--");
    return sizeText(used) + QStringLiteral(" / ") + sizeText(total) + QStringLiteral("  ") +
           QString::number(percent, 'f', 1) + QLatin1Char('%');
}

double usagePercent(const QJsonObject& usage) {
    const double percent = numberOr(usage, "usedPercent", -1);
    if (percent < 0)
        return -1;
    return std::min(percent, 100.0);
}

QString networkText(const QJsonObject& network) {
    const double rx = numberOr(network, "rxRate", -1);
    const double tx = numberOr(network, "txRate", -1);
    if (rx < 0 || tx < 0)
        return QStringLiteral("--");
    return QStringLiteral("下行 ") + rateText(rx) + QStringLiteral(" / 上行 ") + rateText(tx);
}

QString cpuText(const QJsonObject& status) {
    const QJsonValue cpu = status.value(QLatin1String("cpu"));
    if (cpu.isUndefined())
        return QStringLiteral("--");
    return QString::number(cpu.toDouble(), 'f', 1) + QLatin1Char('%');
}

NodeRowTexts rowFromStatus(const QJsonObject& status) {
    const QJsonObject memory = status.value(QLatin1String("memory")).toObject();
    const QJsonObject disk = status.value(QLatin1String("disk")).toObject();
    NodeRowTexts row;
    const QJsonValue version = status.value(QLatin1String("agentVersion"));
    row.agentVersion =
        version.isString() && !version.toString().isEmpty() ? version.toString() : QStringLiteral("--");
    row.mediaMtx = mediaMtxText(status.value(QLatin1String("mediaMTX")).toObject());
    row.gost = engineText(status.value(QLatin1String("gost")).toObject());
    row.ffmpeg = engineText(status.value(QLatin1String("ffmpeg")).toObject());
    row.cpu = cpuText(status);
    row.memory = usageText(memory);
    row.disk = usageText(disk);
    row.network = networkText(status.value(QLatin1String("network")).toObject());
    row.memoryPercent = usagePercent(memory);
    row.diskPercent = usagePercent(disk);
    return row;
}

static NodeRowTexts blankRow(const QString& network) {
    const QString dash = QStringLiteral("--");
    return NodeRowTexts{dash, dash, dash, dash, dash, dash, dash, network, -1, -1};
}

NodeRowTexts offlineRow() {
    return blankRow(QStringLiteral("离线"));
}

NodeRowTexts unconnectedRow() {
    return blankRow(QStringLiteral("未接入"));
}

QString agentVersionCell(const QString& version, const QString& latest) {
    if (version != QLatin1String("--") && !version.isEmpty() && !latest.isEmpty() && version != latest)
        return version + QStringLiteral(" -> ") + latest;
    return version.isEmpty() ? QStringLiteral("--") : version;
}

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

QList<int> validSelectedRows(const QList<int>& selectedRows, int currentRow, int nodeCount) {
    std::set<int> rows;
    for (int row : selectedRows) {
        if (row >= 0 && row < nodeCount)
            rows.insert(row);
    }
    if (rows.empty() && currentRow >= 0 && currentRow < nodeCount)
        rows.insert(currentRow);
    return QList<int>(rows.begin(), rows.end());
}

bool rightClickSelectsRowAlone(int clickedRow, int nodeCount, const QList<int>& selectedRows) {
    return clickedRow >= 0 && clickedRow < nodeCount && !selectedRows.contains(clickedRow);
}

} // namespace nodes
