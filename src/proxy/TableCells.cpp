#include "proxy/TableCells.h"

#include "ui/PlainText.h"

#include <QTableWidget>

namespace proxy {

UpdatesSuspended::UpdatesSuspended(QTableWidget* table)
    : table_(table), updates_(table->updatesEnabled()), sorting_(table->isSortingEnabled()) {
    table_->setSortingEnabled(false);
    table_->setUpdatesEnabled(false);
}

UpdatesSuspended::~UpdatesSuspended() {
    table_->setUpdatesEnabled(updates_);
    table_->setSortingEnabled(sorting_);
}

QTableWidgetItem* cellItem(QTableWidget* table, int row, int column) {
    QTableWidgetItem* item = table->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        item->setFlags(item->flags() & ~Qt::ItemIsEditable);
        item->setTextAlignment(Qt::AlignCenter);
        table->setItem(row, column, item);
    }
    return item;
}

void setCellText(QTableWidget* table, int row, int column, const QString& text) {
    QTableWidgetItem* item = cellItem(table, row, column);
    if (item->text() == text && !text.isEmpty())
        return;
    item->setText(text);
    item->setToolTip(ui::plainToolTip(text));
}

} // namespace proxy
