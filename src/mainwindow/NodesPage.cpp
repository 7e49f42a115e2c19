#include "mainwindow/NodesPage.h"

#include "mainwindow/MainWindow.h"

#include <QComboBox>
#include <QHeaderView>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>
#include <set>

NodesPage::NodesPage(MainWindow* window) : QWidget(window), window_(window) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    table_ = new QTableWidget(0, 11, this);
    table_->setHorizontalHeaderLabels({QStringLiteral("名称"), QStringLiteral("地址"), QStringLiteral("服务器名"),
                                       QStringLiteral("Agent版本"), QStringLiteral("MediaMTX"), QStringLiteral("GOST"),
                                       QStringLiteral("FFmpeg"), QStringLiteral("CPU"), QStringLiteral("内存"),
                                       QStringLiteral("磁盘"), QStringLiteral("网络")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(table_);
}

void NodesPage::fillNodeRows() {
    const QList<Node>& nodes = window_->nodes();
    table_->setRowCount(int(nodes.size()));
    for (int row = 0; row < nodes.size(); ++row) {
        const Node& node = nodes[row];
        const QStringList texts{nodeLabel(node), node.host, node.name,
                                node.lastAgentVersion.isEmpty() ? QStringLiteral("--") : node.lastAgentVersion};
        for (int column = 0; column < 11; ++column)
            table_->setItem(row, column, new QTableWidgetItem(texts.value(column, QStringLiteral("--"))));
    }
}

void NodesPage::refreshNodeStatuses() {}

QList<int> NodesPage::selectedNodeRows() const {
    const int count = int(window_->nodes().size());
    std::set<int> rows;
    for (const QModelIndex& index : table_->selectionModel()->selectedIndexes()) {
        if (index.row() >= 0 && index.row() < count)
            rows.insert(index.row());
    }
    if (rows.empty() && table_->currentRow() >= 0 && table_->currentRow() < count)
        rows.insert(table_->currentRow());
    return QList<int>(rows.begin(), rows.end());
}

void NodesPage::rewriteAgentColumn() {}

void rebuildNodeFilter(QComboBox* combo, const QList<Node>& nodes) {
    const QSignalBlocker blocker(combo);
    const QString previous = combo->currentData().toString();
    combo->clear();
    combo->addItem(QStringLiteral("全部节点"), QString());
    for (const Node& node : nodes)
        combo->addItem(nodeLabel(node), node.id);
    const int index = combo->findData(previous, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
    combo->setCurrentIndex(index < 0 ? 0 : index);
}
