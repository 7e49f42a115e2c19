#include "mainwindow/NodeStatusRules.h"

#include "app/TextFormats.h"

#include <algorithm>
#include <set>

namespace mainwindow {
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
    return QStringLiteral("Down ") + rateText(rx) + QStringLiteral(" / Up ") + rateText(tx);
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

} // namespace mainwindow
