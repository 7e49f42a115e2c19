#pragma once

#include <QStyledItemDelegate>

// Paints a cell that carries a usage percentage (role Qt::UserRole + 50) as a rounded bar coloured by
// how full it is, with the cell text over it. Cells without a percentage paint the default way.
class UsageProgressDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};
