#pragma once

#include <QString>

class QTableWidget;
class QTableWidgetItem;

namespace proxy {

// The centred, read-only item of a cell, created on first use.
QTableWidgetItem* cellItem(QTableWidget* table, int row, int column);
// Writes a cell and its tooltip (the whole text, for narrow columns), both plain: markup in a bridge name
// is shown, never rendered.
void setCellText(QTableWidget* table, int row, int column, const QString& text);

} // namespace proxy
