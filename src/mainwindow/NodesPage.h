#pragma once

#include "mainwindow/NodeRows.h"
#include "mainwindow/NodeStatusRules.h"
#include "model/Node.h"

#include <QHash>
#include <QList>
#include <QNetworkRequest>
#include <QPointer>
#include <QWidget>
#include <memory>

namespace shell {
class Shell;
}
namespace history {
class TrendDelegate;
struct Sample;
} // namespace history
class NodeMaintenance;
class NodeWindow;
class PercentTableWidget;
class QLineEdit;
class QMenu;

// The first page: one row per Node with its Agent version, engines and live figures, polled from every
// Node's Agent; its context menu is the entry to the Node maintenance actions, which report into its rows.
class NodesPage : public QWidget, public NodeRows {
public:
    explicit NodesPage(shell::Shell& shell, QWidget* parent = nullptr);
    ~NodesPage() override;

    // Rewrites every row from the window's Node list (after each load).
    void fillNodeRows();
    // One status poll over every Node with an Agent; a Node whose previous request still waits is
    // skipped, so one silent Agent delays only its own row.
    void refreshNodeStatuses() override;
    // Whether any status request still waits.
    bool statusPollInFlight() const;
    void nodeChanging(const QString& nodeId) override;

    // Columns 3 to 10 of one row; rows outside the table are ignored. Draws the usage bars of columns 8
    // and 9 from the percentages it carries.
    void setNodeRow(int row, const mainwindow::NodeRowTexts& texts) override;
    // A usage cell: a plain cell when percent < 0, else the text over a bar of clamp(percent, 0, 100).
    void setUsageCell(int row, int column, const QString& text, double percent);
    // A plain centred, read-only cell; an unchanged cell is left alone so the table repaints only what moved.
    void setCellText(int row, int column, const QString& text) override;

    // Distinct selected rows that are valid Node indexes, ascending; else the current row.
    QList<int> selectedNodeRows() const override;
    // Rewrites column 3 of every row after a new Agent manifest.
    void rewriteAgentColumn();

    // Right-click: the selection rule for the clicked row, then the menu for what is selected.
    void applyRightClickSelection(int row);
    std::unique_ptr<QMenu> createContextMenu();
    void showContextMenu(const QPoint& viewportPos);

    // Asks the shell to delete the selected Nodes (copies of their records).
    void deleteSelectedNodes();
    // Opens a Node window for the Node of this row (a copy of the record); deletes itself when closed.
    void openNodeWindow(int row);
    // Opens the history window of the Node of this row ("查看历史", double-click on the trend).
    void openHistoryWindow(int row);
    // Selects the row of this Node (from the event list), clearing a filter that hides it.
    void revealNode(const QString& nodeId);

    // Hides the rows whose Node does not match the filter text, keeps the selection to visible rows and
    // tells the count in the status line while a filter is set.
    void applyFilter();
    // Ctrl+F: the filter box with its text selected.
    void focusFilter();

    PercentTableWidget* table() const { return table_; }
    QLineEdit* filterEdit() const { return filterEdit_; }
    NodeMaintenance& maintenance() { return *maintenance_; }

private:
    void buildNodesPage();
    // The row of the Node that was polled, when it still stands in the list with the same Agent.
    int rowOfPolledNode(const QString& id, const AgentApi& polledAgent) const;
    // The status request of this Node, built again only when its Agent or the idle limit changed.
    const QNetworkRequest& statusRequestFor(const Node& node);
    // One finished poll cycle goes into the history; the trend column is read again.
    void recordCycle(const QList<history::Sample>& samples);
    // Hands the row's live figures to the open Node windows of its Node ("概览").
    void showFiguresInNodeWindows(int row);

    // Status requests kept from one poll to the next: building one for every Node on every tick was a
    // good share of what a poll cost the GUI thread. Emptied at each Node list load.
    struct StatusRequest {
        AgentApi agent;
        int idleLimitMs = 0;
        QNetworkRequest request;
    };
    QHash<QString, StatusRequest> statusRequests_;
    // What each Node's row showed last, by Node id: a reload shows it again until the next reply
    // instead of blanking the fleet for a poll interval.
    QHash<QString, mainwindow::NodeRowTexts> lastRows_;
    // Bumped when an action starts on a Node; a status reply asked for under an older count is dropped.
    QHash<QString, quint64> changeCounts_;

    shell::Shell& shell_;
    PercentTableWidget* table_ = nullptr;
    history::TrendDelegate* trendDelegate_ = nullptr;
    QLineEdit* filterEdit_ = nullptr;
    bool filterWasSet_ = false;
    std::unique_ptr<NodeMaintenance> maintenance_;
    QList<QPointer<NodeWindow>> nodeWindows_;
};
