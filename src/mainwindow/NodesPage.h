#pragma once

#include "model/Node.h"

#include <QList>
#include <QWidget>

class MainWindow;
class QComboBox;
class QTableWidget;

// The first page: one row per Node with its Agent version, engines and live figures.
class NodesPage : public QWidget {
public:
    explicit NodesPage(MainWindow* window);

    // Rewrites every row from the window's Node list (after each load).
    void fillNodeRows();
    // One status poll cycle over every Node.
    void refreshNodeStatuses();
    // Distinct selected rows that are valid Node indexes, ascending; else the current row.
    QList<int> selectedNodeRows() const;
    // Rewrites column 3 of every row after a new Agent manifest.
    void rewriteAgentColumn();

    QTableWidget* table() const { return table_; }

private:
    MainWindow* window_;
    QTableWidget* table_ = nullptr;
};

// Rebuilds a node filter: "全部节点" then one item per Node; keeps the previous choice when it still exists.
void rebuildNodeFilter(QComboBox* combo, const QList<Node>& nodes);
