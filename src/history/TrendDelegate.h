#pragma once

#include "history/HistoryRecords.h"

#include <QHash>
#include <QStyledItemDelegate>
#include <functional>

// Paints the trend cell of a Node row: CPU over the last minutes as a line on a 0..100 % scale, the
// network (received plus sent) as a second, fainter line scaled to its own peak, and the minutes without
// an answer as a shaded band. Hovering tells the figures in words.
namespace history {

class TrendDelegate : public QStyledItemDelegate {
public:
    // nodeIdOfRow names the Node a row shows (empty: none).
    TrendDelegate(std::function<QString(int row)> nodeIdOfRow, QObject* parent);

    void setTrends(QHash<QString, Trend> trends) { trends_ = std::move(trends); }
    const Trend* trendOf(int row) const;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

private:
    std::function<QString(int)> nodeIdOfRow_;
    QHash<QString, Trend> trends_;
};

// The hover text of a trend: CPU now, its peak and the latest rates.
QString trendToolTip(const Trend& trend);

} // namespace history
