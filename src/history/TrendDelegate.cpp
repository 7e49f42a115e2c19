#include "history/TrendDelegate.h"

#include "app/TextFormats.h"
#include "history/HistoryTiming.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <algorithm>

namespace history {
namespace {

const QColor kCpuColor(0x1a, 0x73, 0xe8);
const QColor kNetworkColor(0x34, 0xa8, 0x53, 170);
const QColor kOfflineColor(0xd9, 0x30, 0x25, 40);

// x of a time inside the plot: the trend window ends now at the right edge.
double xOf(qint64 timeMs, qint64 endMs, const QRectF& plot) {
    const double span = double(qMax<qint64>(1, timing.trendMs));
    const double offset = double(timeMs - (endMs - timing.trendMs)) / span;
    return plot.left() + std::clamp(offset, 0.0, 1.0) * plot.width();
}

// A line through the points that have a value; a missing one breaks it.
QPainterPath linePath(const Trend& trend, const QList<float>& values, double peak, qint64 endMs,
                      const QRectF& plot) {
    QPainterPath path;
    bool open = false;
    for (int i = 0; i < trend.timesMs.size() && i < values.size(); ++i) {
        if (values[i] < 0) {
            open = false;
            continue;
        }
        const QPointF point(xOf(trend.timesMs[i], endMs, plot),
                            plot.bottom() - std::clamp(values[i] / peak, 0.0, 1.0) * plot.height());
        if (open)
            path.lineTo(point);
        else
            path.moveTo(point);
        open = true;
    }
    return path;
}

} // namespace

TrendDelegate::TrendDelegate(std::function<QString(int)> nodeIdOfRow, QObject* parent)
    : QStyledItemDelegate(parent), nodeIdOfRow_(std::move(nodeIdOfRow)) {
}

const Trend* TrendDelegate::trendOf(int row) const {
    const auto it = trends_.constFind(nodeIdOfRow_ ? nodeIdOfRow_(row) : QString());
    return it == trends_.cend() || it->timesMs.isEmpty() ? nullptr : &*it;
}

void TrendDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const {
    QStyledItemDelegate::paint(painter, option, index);
    const Trend* trend = trendOf(index.row());
    if (!trend)
        return;
    const QRectF plot = QRectF(option.rect).adjusted(6, 5, -6, -5);
    if (plot.width() < 8 || plot.height() < 6)
        return;
    const qint64 endMs = trend->timesMs.last();

    QList<float> network;
    double peak = 1;
    for (int i = 0; i < trend->timesMs.size(); ++i) {
        const float rx = trend->rxRate.value(i, -1);
        const float tx = trend->txRate.value(i, -1);
        network << (rx < 0 && tx < 0 ? -1.0f : qMax(0.0f, rx) + qMax(0.0f, tx));
        peak = qMax(peak, double(network.last()));
    }

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setPen(Qt::NoPen);
    painter->setBrush(kOfflineColor);
    const double step = trend->timesMs.size() > 1
                            ? plot.width() / double(qMax<qsizetype>(1, trend->timesMs.size() - 1))
                            : plot.width();
    for (int i = 0; i < trend->timesMs.size() && i < trend->cpu.size(); ++i) {
        if (trend->cpu[i] >= 0)
            continue;
        const double x = xOf(trend->timesMs[i], endMs, plot);
        painter->drawRect(QRectF(x - step / 2, plot.top(), qMax(2.0, step), plot.height()));
    }
    painter->setBrush(Qt::NoBrush);
    painter->setPen(QPen(kNetworkColor, 1.2));
    painter->drawPath(linePath(*trend, network, peak, endMs, plot));
    painter->setPen(QPen(kCpuColor, 1.6));
    painter->drawPath(linePath(*trend, trend->cpu, 100.0, endMs, plot));
    painter->restore();
}

bool TrendDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                              const QModelIndex& index) {
    const Trend* trend = index.isValid() ? trendOf(index.row()) : nullptr;
    if (!trend || event->type() != QEvent::ToolTip)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    QToolTip::showText(event->globalPos(), trendToolTip(*trend), view);
    return true;
}

QString trendToolTip(const Trend& trend) {
    float peak = -1;
    for (float value : trend.cpu)
        peak = qMax(peak, value);
    const int last = int(trend.timesMs.size()) - 1;
    const float cpu = trend.cpu.value(last, -1);
    const QString now = cpu < 0 ? QStringLiteral("离线") : QString::number(cpu, 'f', 1) + QLatin1Char('%');
    QString text =
        QStringLiteral("最近 %1 分钟 CPU：当前 %2，最高 %3")
            .arg(timing.trendMs / kMinuteMs)
            .arg(now, peak < 0 ? QStringLiteral("--") : QString::number(peak, 'f', 1) + QLatin1Char('%'));
    const float rx = trend.rxRate.value(last, -1);
    const float tx = trend.txRate.value(last, -1);
    if (rx >= 0 || tx >= 0)
        text += QStringLiteral("\n网络：↓ %1 ↑ %2")
                    .arg(fmt::nodeRate(qMax(0.0f, rx)), fmt::nodeRate(qMax(0.0f, tx)));
    text += QStringLiteral("\n双击查看历史");
    return text;
}

} // namespace history
