#include "mainwindow/PercentTableWidget.h"

#include "mainwindow/NodeStatusRules.h"

#include <QHeaderView>

PercentTableWidget::PercentTableWidget(QWidget* parent) : QTableWidget(parent) {
}

PercentTableWidget::PercentTableWidget(int rows, int columns, QWidget* parent)
    : QTableWidget(rows, columns, parent) {
}

void PercentTableWidget::setColumnWidths(int firstColumnWidth, const QList<int>& percentages) {
    firstColumnWidth_ = firstColumnWidth;
    percentages_ = percentages;
    distributeWidths();
}

void PercentTableWidget::resizeEvent(QResizeEvent* event) {
    QTableWidget::resizeEvent(event);
    distributeWidths();
}

void PercentTableWidget::distributeWidths() {
    const QList<int> widths =
        nodes::percentColumnWidths(viewport()->width(), firstColumnWidth_, percentages_, columnCount());
    if (widths.isEmpty())
        return;
    QHeaderView* header = horizontalHeader();
    header->setStretchLastSection(false);
    for (int column = 0; column < columnCount(); ++column)
        header->setSectionResizeMode(column, QHeaderView::Fixed);
    for (int column = 0; column < widths.size(); ++column)
        setColumnWidth(column, widths[column]);
}
