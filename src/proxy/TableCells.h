#pragma once

#include <QString>

class QTableWidget;
class QTableWidgetItem;

namespace proxy {

// Holds a widget's painting back while a table is filled, so the fill costs one repaint, not one per cell;
// sorting stays off meanwhile (rows would move while they are written).
class UpdatesSuspended {
public:
    explicit UpdatesSuspended(QTableWidget* table);
    ~UpdatesSuspended();
    UpdatesSuspended(const UpdatesSuspended&) = delete;
    UpdatesSuspended& operator=(const UpdatesSuspended&) = delete;

private:
    QTableWidget* table_;
    bool updates_;
    bool sorting_;
};

// The centred, read-only item of a cell, created on first use.
QTableWidgetItem* cellItem(QTableWidget* table, int row, int column);
// Writes a cell and its tooltip (the whole text, for narrow columns), both plain: markup in a bridge name
// is shown, never rendered. A cell that already shows the text is left alone.
void setCellText(QTableWidget* table, int row, int column, const QString& text);

} // namespace proxy
