#pragma once

#include "widgets/UsageBarRules.h"

#include <QStyledItemDelegate>

// Paints a cell that carries a usage percentage (role widgets::kUsagePercentRole) as a rounded bar coloured
// by how full it is, with the cell text over it. Cells without a percentage paint the default way.
class UsageProgressDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};
