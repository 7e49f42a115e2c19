#pragma once

#include "mainwindow/NodeStatusRules.h"

#include <QList>
#include <QString>

// What Node maintenance needs of the table it reports into: the rows the user chose and the cells it
// writes while a batch runs. Row i is Node i of the shell's list; rows outside the table are ignored.
class NodeRows {
public:
    // Distinct selected rows that are valid Node indexes, ascending; else the current row.
    virtual QList<int> selectedNodeRows() const = 0;
    // A plain centred, read-only cell.
    virtual void setCellText(int row, int column, const QString& text) = 0;
    // Columns 3 to 10 of one row, with the usage bars drawn from the percentages the texts carry.
    virtual void setNodeRow(int row, const mainwindow::NodeRowTexts& texts) = 0;
    // One status poll over every Node with an Agent.
    virtual void refreshNodeStatuses() = 0;
    // An action is about to change this Node: a status reply asked for before now describes the old
    // state and must not overwrite what the action writes.
    virtual void nodeChanging(const QString& nodeId) = 0;

protected:
    ~NodeRows() = default;
};
