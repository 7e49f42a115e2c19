#include "proxy/ProxyPage.h"

#include "fleet/NodeBatch.h"
#include "fleet/PollCycle.h"
#include "net/RequestLayer.h"
#include "net/RequestResult.h"
#include "proxy/ProxyDialogs.h"
#include "proxy/ProxyTiming.h"
#include "shell/BusyScope.h"
#include "ui/Dialogs.h"
#include "widgets/PercentTableWidget.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QSet>
#include <QVBoxLayout>

namespace proxy {
namespace {

const QStringList kHeaders{QStringLiteral("状态"),     QStringLiteral("名称"),   QStringLiteral("地址"),
                           QStringLiteral("端口"),     QStringLiteral("账号"),   QStringLiteral("密码"),
                           QStringLiteral("连接"),     QStringLiteral("客户端"), QStringLiteral("上传速率"),
                           QStringLiteral("下载速率"), QStringLiteral("总流量"), QStringLiteral("运行时长"),
                           QStringLiteral("错误")};
const QList<int> kPercentages{10, 10, 7, 9, 9, 6, 6, 10, 10, 10, 8, 11};
constexpr int kFirstColumnWidth = 96;

} // namespace

ProxyPage::ProxyPage(shell::Shell& shell, QWidget* parent) : QWidget(parent), shell_(shell) {
    buildTable();
    defaults_ = loadProxyDefaults();
    shell_.whenNodesLoaded(this, [this] { fillRows(); });
    fillRows();
}

void ProxyPage::buildTable() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(8);
    table_ = new PercentTableWidget({QStringLiteral("proxyTable"), kHeaders, kFirstColumnWidth, kPercentages,
                                     QAbstractItemView::ExtendedSelection},
                                    this);
    connect(table_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { showContextMenu(pos); });
    layout->addWidget(table_);
}

void ProxyPage::fillRows() {
    // The selection follows its Nodes: after a reload the same row may hold another Node.
    QSet<QString> selectedIds;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows()) {
        if (const QTableWidgetItem* item = table_->item(index.row(), 0))
            selectedIds.insert(item->data(kNodeIdRole).toString());
    }
    table_->clearSelection();
    table_->setCurrentCell(-1, -1);
    const QList<Node>& nodes = shell_.nodes();
    table_->setRowCount(int(nodes.size()));
    for (int row = 0; row < nodes.size(); ++row) {
        table_->cellItem(row, 0)->setData(kNodeIdRole, nodes[row].id);
        table_->setCellText(row, 1, nodeLabel(nodes[row]));
        table_->setCellText(row, 2, nodes[row].host);
        applyView(row, unknownProxyRow());
    }
    for (int row = 0; row < nodes.size(); ++row) {
        if (selectedIds.contains(nodes[row].id))
            table_->selectionModel()->select(table_->model()->index(row, 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

void ProxyPage::applyView(int row, const ProxyRowView& view) {
    if (row < 0 || row >= table_->rowCount())
        return;
    QTableWidgetItem* state = table_->cellItem(row, 0);
    state->setText(view.state);
    state->setData(kAddressRole, view.connection.socksAddr);
    state->setData(kUsernameRole, view.connection.username);
    state->setData(kPasswordRole, view.connection.password);
    state->setData(kRunningRole, view.running);
    state->setData(kActiveConnectionsRole, view.activeConnections);
    for (int i = 0; i < view.cells.size(); ++i)
        table_->setCellText(row, 3 + i, view.cells[i]);
}

int ProxyPage::rowOfNode(const QString& nodeId) const {
    for (int row = 0; row < table_->rowCount(); ++row) {
        const QTableWidgetItem* item = table_->item(row, 0);
        if (item && item->data(kNodeIdRole).toString() == nodeId)
            return row;
    }
    return -1;
}

void ProxyPage::refreshStatuses() {
    QList<fleet::PollRequest> requests;
    for (const Node& node : shell_.nodes()) {
        if (!node.hasAgentEndpoint()) {
            applyView(rowOfNode(node.id),
                      failedProxyRow(QString::fromUtf8(kStateNoAgent), QString::fromUtf8(kNoAgentText)));
            continue;
        }
        QNetworkRequest request = net::agentNetworkRequest(node, QStringLiteral("/proxy/status"));
        request.setTransferTimeout(timing.pollIdleMs);
        requests.append({node.id, request});
    }
    if (requests.isEmpty())
        return;
    // A success whose body is no JSON object comes back as {"error": "回复格式错误"}: a failed row, never
    // a proxy that reads as stopped.
    auto parse = [](const fleet::PollReply& reply) {
        return QVariant(net::parseReplyObject(reply.status, reply.body));
    };
    shell_.poller(shell::PollKind::ProxyStatus)
        .send(requests, this, parse, [this](const fleet::PollReply& reply) {
            // Matched by Node id: after a reload the Node may sit in another row, or be gone.
            applyView(rowOfNode(reply.key), proxyRowFromPoll(reply.networkError, reply.errorText,
                                                             reply.status, reply.value.toJsonObject()));
        });
}

QList<int> ProxyPage::selectedRows() const {
    QList<int> nodeRows;
    QList<int> tableRows;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows())
        tableRows << index.row();
    if (tableRows.isEmpty() && table_->currentRow() >= 0)
        tableRows << table_->currentRow();
    std::sort(tableRows.begin(), tableRows.end());
    for (int row : tableRows) {
        const QTableWidgetItem* item = table_->item(row, 0);
        const int nodeRow = item ? shell_.indexOfNode(item->data(kNodeIdRole).toString()) : -1;
        if (nodeRow >= 0)
            nodeRows << nodeRow;
    }
    return nodeRows;
}

void ProxyPage::runOnSelection(const QString& path, const QJsonObject& body) {
    const QList<fleet::NodeRef> targets = fleet::snapshotRows(shell_.nodes(), selectedRows());
    if (targets.isEmpty()) {
        ui::information(shell_.dialogParent(), QStringLiteral("请先选择一个节点。"));
        return;
    }
    if (targets.size() == 1 && !targets.first().node.hasAgentEndpoint()) {
        ui::warning(shell_.dialogParent(), QStringLiteral("当前节点缺少 Agent API 信息。"));
        return;
    }
    fleet::BatchReport report;
    {
        shell::BusyScope busy(shell_, QStringLiteral("代理请求中..."));
        report = fleet::runBatch(targets, [&](const fleet::NodeRef& target) {
            const net::RequestResult result = net::agentCall(target.node, QStringLiteral("POST"), path, body);
            const int row = rowOfNode(target.id);
            if (result.failedUnlessRecord(net::kProxyRecordKey)) {
                const QString error = result.text();
                applyView(row, failedProxyRow(QString::fromUtf8(kStateFailed), error));
                return fleet::StepOutcome::failure(error);
            }
            applyView(row, proxyRowFromStatus(result.reply));
            return fleet::StepOutcome::success();
        });
        // The status line tells what happened: "done" only when every Node did it.
        busy.finish(
            report.failures() == 0
                ? QStringLiteral("代理请求完成")
                : QStringLiteral("代理请求失败 %1/%2").arg(report.failures()).arg(report.results.size()));
    }
    if (report.failures() == 0)
        return;
    if (targets.size() == 1) {
        ui::warning(shell_.dialogParent(),
                    QStringLiteral("代理请求失败: ") + report.results.first().outcome.reason);
    } else {
        ui::warning(shell_.dialogParent(), fleet::batchSummary(QStringLiteral("代理请求"), report));
    }
}

void ProxyPage::startProxies() {
    if (!defaults_.isComplete()) {
        ui::warning(shell_.dialogParent(), QStringLiteral("请填写代理账号和密码。"));
        return;
    }
    saveProxyDefaults(defaults_);
    runOnSelection(QStringLiteral("/proxy/start"),
                   {{QStringLiteral("listen"), QStringLiteral("0.0.0.0")},
                    {QStringLiteral("port"), defaults_.port},
                    {QStringLiteral("username"), defaults_.username.trimmed()},
                    {QStringLiteral("password"), defaults_.password}});
}

bool ProxyPage::confirmStop(const QList<int>& nodeRows) {
    QStringList labels;
    int running = 0;
    int connections = 0;
    for (int nodeRow : nodeRows) {
        const Node& node = shell_.nodes()[nodeRow];
        labels << nodeLabel(node);
        const QTableWidgetItem* state = table_->item(rowOfNode(node.id), 0);
        if (state && state->data(kRunningRole).toBool()) {
            ++running;
            connections += state->data(kActiveConnectionsRole).toInt();
        }
    }
    return ui::question(shell_.dialogParent(), stopProxiesQuestion(labels, running, connections));
}

void ProxyPage::stopProxies() {
    const QList<int> rows = selectedRows();
    // Without a selection runOnSelection says so; there is nothing to ask about.
    if (!rows.isEmpty() && !confirmStop(rows))
        return;
    runOnSelection(QStringLiteral("/proxy/stop"), {});
}

void ProxyPage::restartProxies() {
    runOnSelection(QStringLiteral("/proxy/restart"), {});
}

void ProxyPage::copyConnection() {
    const int row = table_->currentRow();
    const QTableWidgetItem* item = row >= 0 ? table_->item(row, 0) : nullptr;
    // A row left over from a Node that is gone no longer names anything to copy.
    if (!item || !shell_.nodeById(item->data(kNodeIdRole).toString())) {
        ui::information(shell_.dialogParent(), QStringLiteral("请先选择一个节点。"));
        return;
    }
    const ConnectionData connection{item->data(kAddressRole).toString(), item->data(kUsernameRole).toString(),
                                    item->data(kPasswordRole).toString()};
    if (!connection.isComplete()) {
        ui::information(shell_.dialogParent(),
                        QStringLiteral("当前代理没有可复制的运行连接，请先启动代理或刷新状态。"));
        return;
    }
    const QString url = socksUrl(connection.username, connection.password, connection.socksAddr);
    QApplication::clipboard()->setText(url);
    // The clipboard holds the password; the status line stays on screen, so it shows it masked.
    shell_.setStatusText(QStringLiteral("代理连接已复制 ") +
                         maskedSocksUrl(connection.username, connection.socksAddr));
}

void ProxyPage::editDefaults() {
    defaults_ = loadProxyDefaults();
    ProxyDefaultsDialog dialog(defaults_, shell_.dialogParent());
    if (ui::execDialog(dialog) != QDialog::Accepted)
        return;
    defaults_ = dialog.values();
    saveProxyDefaults(defaults_);
    shell_.setStatusText(QStringLiteral("代理默认参数已保存，运行中的代理不会受影响"));
}

void ProxyPage::showContextMenu(const QPoint& pos) {
    const int clicked = table_->rowAt(pos.y());
    if (clicked >= 0 && !table_->selectionModel()->isRowSelected(clicked, QModelIndex()))
        table_->selectRow(clicked);
    else if (clicked >= 0)
        table_->setCurrentCell(clicked, table_->currentColumn() < 0 ? 0 : table_->currentColumn(),
                               QItemSelectionModel::NoUpdate);
    QMenu menu(this);
    menu.addAction(QStringLiteral("刷新状态"), this, [this] { refreshStatuses(); });
    menu.addAction(QStringLiteral("默认代理参数"), this, [this] { editDefaults(); });
    if (table_->currentRow() >= 0) {
        menu.addSeparator();
        menu.addAction(QStringLiteral("启动代理"), this, [this] { startProxies(); });
        menu.addAction(QStringLiteral("停止代理"), this, [this] { stopProxies(); });
        menu.addAction(QStringLiteral("重启代理"), this, [this] { restartProxies(); });
        menu.addSeparator();
        menu.addAction(QStringLiteral("复制连接"), this, [this] { copyConnection(); });
    }
    menu.exec(table_->viewport()->mapToGlobal(pos));
}

} // namespace proxy
