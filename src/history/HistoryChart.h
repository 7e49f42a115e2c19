#pragma once

#include "history/HistoryRecords.h"

#include <QChartView>
#include <functional>

class QLineSeries;
class QDateTimeAxis;
class QValueAxis;

namespace history {

// One chart of the history window: one or two figures of a Node as lines (the mean of each step), the
// offline spans as shaded bands behind them. Moving the mouse over it reports the figures of the step
// under the cursor.
class HistoryChart : public QChartView {
public:
    // Percent charts run from 0 to 100; rate charts scale to their peak.
    HistoryChart(const QString& title, QList<Metric> metrics, bool percent, QWidget* parent = nullptr);

    void setSeries(const Series& series);
    void setHoverHandler(std::function<void(const QString& text)> handler) { hover_ = std::move(handler); }
    // The text for the step nearest to this time; empty outside the data.
    QString textAt(qint64 timeMs) const;

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QString valueText(double value) const;

    QList<Metric> metrics_;
    bool percent_ = false;
    QString title_;
    Series series_;
    QList<QLineSeries*> lines_;
    QDateTimeAxis* timeAxis_ = nullptr;
    QValueAxis* valueAxis_ = nullptr;
    std::function<void(const QString&)> hover_;
};

} // namespace history
