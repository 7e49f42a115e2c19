#include "history/HistoryChart.h"

#include "app/TextFormats.h"

#include <QAreaSeries>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QMouseEvent>
#include <QValueAxis>
#include <algorithm>
#include <cstdlib>

namespace history {
namespace {

QString metricName(Metric metric) {
    switch (metric) {
    case Cpu:
        return QStringLiteral("CPU");
    case Memory:
        return QStringLiteral("内存");
    case Disk:
        return QStringLiteral("磁盘");
    case RxRate:
        return QStringLiteral("下行");
    case TxRate:
        return QStringLiteral("上行");
    case kMetricCount:
        break;
    }
    return QString();
}

const QColor kLineColors[] = {QColor(0x1a, 0x73, 0xe8), QColor(0xe3, 0x74, 0x00)};
const QColor kOfflineColor(0xd9, 0x30, 0x25, 45);

// The rate unit that keeps the peak of a chart between 1 and 1024.
std::pair<double, QString> rateUnit(double peak) {
    static const char* const units[] = {"B/s", "KB/s", "MB/s", "GB/s"};
    double divisor = 1;
    int unit = 0;
    while (peak / divisor >= 1024 && unit < 3) {
        divisor *= 1024;
        ++unit;
    }
    return {divisor, QString::fromLatin1(units[unit])};
}

} // namespace

HistoryChart::HistoryChart(const QString& title, QList<Metric> metrics, bool percent, QWidget* parent)
    : QChartView(parent), metrics_(std::move(metrics)), percent_(percent), title_(title) {
    auto* chart = new QChart;
    chart->setTitle(title);
    chart->setMargins(QMargins(4, 2, 4, 2));
    chart->legend()->setVisible(metrics_.size() > 1);
    chart->legend()->setAlignment(Qt::AlignTop);
    timeAxis_ = new QDateTimeAxis;
    timeAxis_->setTickCount(7);
    valueAxis_ = new QValueAxis;
    valueAxis_->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(timeAxis_, Qt::AlignBottom);
    chart->addAxis(valueAxis_, Qt::AlignLeft);

    // The offline band first, so the lines are drawn over it.
    auto* band = new QAreaSeries(new QLineSeries(chart));
    band->setName(QStringLiteral("离线"));
    band->setPen(Qt::NoPen);
    band->setBrush(kOfflineColor);
    chart->addSeries(band);
    band->attachAxis(timeAxis_);
    band->attachAxis(valueAxis_);
    for (int i = 0; i < metrics_.size(); ++i) {
        auto* line = new QLineSeries;
        line->setName(metricName(metrics_[i]));
        line->setPen(QPen(kLineColors[i % 2], 1.5));
        chart->addSeries(line);
        line->attachAxis(timeAxis_);
        line->attachAxis(valueAxis_);
        lines_ << line;
    }
    setChart(chart);
    setRenderHint(QPainter::Antialiasing);
    setMouseTracking(true);
    setMinimumHeight(170);
}

void HistoryChart::setSeries(const Series& series) {
    series_ = series;
    double peak = 0;
    for (const Aggregate& point : series.points) {
        for (Metric metric : metrics_)
            peak = std::max(peak, point.spread[metric].mean);
    }
    const auto [divisor, unit] =
        percent_ ? std::pair<double, QString>{1.0, QStringLiteral("%")} : rateUnit(peak);
    const double top = percent_ ? 100.0 : std::max(1.0, peak / divisor * 1.1);

    for (int i = 0; i < metrics_.size(); ++i) {
        QList<QPointF> points;
        points.reserve(series.points.size());
        for (const Aggregate& point : series.points) {
            const Spread& spread = point.spread[metrics_[i]];
            if (spread.count > 0)
                points.append(QPointF(double(point.startMs), spread.mean / divisor));
        }
        lines_[i]->replace(points);
    }
    QList<QPointF> band;
    for (const Span& span : series.offline) {
        band << QPointF(double(span.startMs), 0) << QPointF(double(span.startMs), top)
             << QPointF(double(span.endMs), top) << QPointF(double(span.endMs), 0);
    }
    const auto seriesList = chart()->series();
    if (auto* area = qobject_cast<QAreaSeries*>(seriesList.value(0)))
        area->upperSeries()->replace(band);

    chart()->setTitle(percent_ ? title_ : title_ + QStringLiteral("（") + unit + QStringLiteral("）"));
    // Small rates need a decimal, or neighbouring ticks would read the same.
    valueAxis_->setLabelFormat(!percent_ && top < 10 ? QStringLiteral("%.1f") : QStringLiteral("%.0f"));
    valueAxis_->setRange(0, top);
    timeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(series.fromMs),
                        QDateTime::fromMSecsSinceEpoch(series.toMs));
    timeAxis_->setFormat(series.range == Range::TwoWeeks ? QStringLiteral("MM-dd") : QStringLiteral("HH:mm"));
}

QString HistoryChart::valueText(double value) const {
    if (percent_)
        return QString::number(value, 'f', 1) + QLatin1Char('%');
    return fmt::nodeRate(value);
}

QString HistoryChart::textAt(qint64 timeMs) const {
    const QList<Aggregate>& points = series_.points;
    if (points.isEmpty() || timeMs < series_.fromMs || timeMs > series_.toMs)
        return QString();
    for (const Span& span : series_.offline) {
        if (timeMs >= span.startMs && timeMs < span.endMs)
            return fmt::formatEpochMs(timeMs) + QStringLiteral("  离线");
    }
    // The step whose start is nearest to the cursor.
    auto it = std::lower_bound(points.begin(), points.end(), timeMs,
                               [](const Aggregate& point, qint64 time) { return point.startMs < time; });
    if (it == points.end() || (it != points.begin() && timeMs - (it - 1)->startMs < it->startMs - timeMs))
        --it;
    if (std::llabs(it->startMs - timeMs) > 2 * stepMs(series_.range))
        return QString();
    QString text = fmt::formatEpochMs(it->startMs);
    for (Metric metric : metrics_) {
        const Spread& spread = it->spread[metric];
        text += QStringLiteral("  ") + metricName(metric) + QLatin1Char(' ');
        if (spread.count <= 0) {
            text += QStringLiteral("--");
            continue;
        }
        text += valueText(spread.mean);
        if (spread.count > 1 && spread.max > spread.min)
            text += QStringLiteral("（%1 ~ %2）").arg(valueText(spread.min), valueText(spread.max));
    }
    return text;
}

void HistoryChart::mouseMoveEvent(QMouseEvent* event) {
    QChartView::mouseMoveEvent(event);
    if (!hover_)
        return;
    const QPointF scenePos = mapToScene(event->position().toPoint());
    const QPointF value = chart()->mapToValue(chart()->mapFromScene(scenePos), lines_.value(0));
    hover_(chart()->plotArea().contains(chart()->mapFromScene(scenePos)) ? textAt(qint64(value.x()))
                                                                         : QString());
}

void HistoryChart::leaveEvent(QEvent* event) {
    QChartView::leaveEvent(event);
    if (hover_)
        hover_(QString());
}

} // namespace history
