#include "proxy/BridgePage.h"

#include "fleet/ListRows.h"
#include "fleet/NodeBatch.h"
#include "fleet/PollCycle.h"
#include "net/RequestLayer.h"
#include "net/RequestResult.h"
#include "proxy/ProxyDialogs.h"
#include "proxy/ProxyRules.h"
#include "proxy/ProxyTiming.h"
#include "shell/AgentCall.h"
#include "ui/Dialogs.h"
#include "widgets/NodeFilterCombo.h"
#include "widgets/PercentTableWidget.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace proxy {
namespace {

const QStringList kHeaders{QStringLiteral("状态"),     QStringLiteral("名称"),     QStringLiteral("节点"),
                           QStringLiteral("入口地址"), QStringLiteral("出口地址"), QStringLiteral("延迟"),
                           QStringLiteral("测速"),     QStringLiteral("测试时间"), QStringLiteral("连接"),
                           QStringLiteral("上传速率"), QStringLiteral("下载速率"), QStringLiteral("总流量"),
                           QStringLiteral("错误")};
const QList<int> kPercentages{9, 9, 12, 14, 7, 8, 9, 5, 8, 8, 8, 13};
constexpr int kFirstColumnWidth = 76;

QString bridgePath(const QString& id, const QString& suffix = QString()) {
    return QStringLiteral("/proxy/bridges/") + QString::fromLatin1(QUrl::toPercentEncoding(id)) + suffix;
}

} // namespace

BridgePage::BridgePage(shell::Shell& shell, QWidget* parent) : QWidget(parent), shell_(shell) {
    buildPage();
    shell_.whenNodesLoaded(this, [this] { afterNodesLoaded(); });
    afterNodesLoaded();
}

void BridgePage::buildPage() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(8);
    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(new QLabel(QStringLiteral("节点:"), this));
    filter_ = new NodeFilterCombo(this);
    filter_->setObjectName(QStringLiteral("bridgeNodeFilter"));
    filter_->setMinimumWidth(180);
    filterRow->addWidget(filter_);
    filterRow->addStretch();
    layout->addLayout(filterRow);

    table_ = new PercentTableWidget(
        {QStringLiteral("bridgeTable"), kHeaders, kFirstColumnWidth, kPercentages}, this);
    layout->addWidget(table_);

    connect(filter_, &QComboBox::activated, this, [this] { showOnlyNode(filter_->selectedNodeId()); });
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this] { editBridge(); });
    connect(table_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { showContextMenu(pos); });
}

QString BridgePage::filterNodeId() const {
    return filter_->selectedNodeId();
}

void BridgePage::afterNodesLoaded() {
    const QList<Node>& nodes = shell_.nodes();
    filter_->rebuild(nodes);
    // Rows follow their Node by id: a Node that moved keeps its bridges, a Node that is gone loses them.
    rows_.removeIf([&](const ProxyBridgeRow& row) { return !shell_.nodeById(row.nodeId); });
    for (ProxyBridgeRow& row : rows_)
        row.nodeName = nodeLabel(*shell_.nodeById(row.nodeId));
    render(QString(), false);
}

void BridgePage::showOnlyNode(const QString& nodeId) {
    const int index = nodeId.isEmpty() ? 0 : filter_->findData(nodeId);
    if (index >= 0)
        filter_->setCurrentIndex(index);
    render();
    refreshBridges(true);
}

void BridgePage::refreshBridges(bool showMessages) {
    const QList<fleet::NodeRef> targets = fleet::snapshotFiltered(shell_.nodes(), filterNodeId());
    if (showMessages) {
        shell_.setBusyText(QStringLiteral("刷新中转..."));
        announce_ = true;
    }
    requestLists(targets);
    if (awaited_.isEmpty()) {
        render();
        announceRefreshed();
    }
}

void BridgePage::requestLists(const QList<fleet::NodeRef>& targets) {
    QList<fleet::PollRequest> requests;
    for (const fleet::NodeRef& target : targets) {
        if (!target.node.hasAgentEndpoint()) {
            mergeNodeBridges(
                rows_, target.id,
                {bridgeFailureRow(target.id, nodeLabel(target.node), QString::fromUtf8(kStateNoAgent),
                                  QString::fromUtf8(kNoAgentText))},
                edits_, edits_.stamp());
            continue;
        }
        QNetworkRequest request = net::agentNetworkRequest(target.node, QStringLiteral("/proxy/bridges"));
        request.setTransferTimeout(timing.pollIdleMs);
        requests.append({target.id, request});
        awaited_.insert(target.id);
    }
    // The rows are built on the poll cycle's worker; the GUI thread only merges and draws them.
    auto parse = [](const fleet::PollReply& reply) {
        return QVariant::fromValue(
            readBridgeListReply(reply.networkError, reply.errorText, reply.status, reply.body, reply.key));
    };
    const QStringList sent = shell_.poller(shell::PollKind::BridgeStatus)
                                 .send(requests, this, parse, [this](const fleet::PollReply& reply) {
                                     deliverList(reply.key, reply.value.value<BridgeListReply>());
                                 });
    for (const QString& nodeId : sent)
        sentAt_.insert(nodeId, edits_.stamp());
}

void BridgePage::followTest(const QString& nodeId, const QString& bridgeKey, int remainingMs) {
    if (remainingMs <= 0)
        return;
    QTimer::singleShot(timing.bridgeTestFollowMs, this, [this, nodeId, bridgeKey, remainingMs] {
        const auto row = std::find_if(rows_.cbegin(), rows_.cend(), [&](const ProxyBridgeRow& bridge) {
            return bridge.key() == bridgeKey;
        });
        const QList<fleet::NodeRef> target = fleet::snapshotFiltered(shell_.nodes(), nodeId);
        // Done when the test is over, the bridge or its Node is gone.
        if (row == rows_.cend() || !row->testing || target.isEmpty() || target.first().id != nodeId)
            return;
        requestLists(target);
        followTest(nodeId, bridgeKey, remainingMs - timing.bridgeTestFollowMs);
    });
}

void BridgePage::deliverList(const QString& nodeId, const BridgeListReply& list) {
    awaited_.remove(nodeId);
    const Node* node = shell_.nodeById(nodeId);
    if (node) {
        // A Node whose list could not be read shows one row saying why instead of its bridges until it
        // answers again, as the other pages show a failed Node.
        QList<ProxyBridgeRow> fresh = list.rows;
        for (ProxyBridgeRow& row : fresh)
            row.nodeName = nodeLabel(*node);
        if (!list.failure.isEmpty())
            fresh = {bridgeFailureRow(nodeId, nodeLabel(*node),
                                      QString::fromUtf8(list.offline ? kStateOffline : kStateFailed),
                                      list.failure)};
        mergeNodeBridges(rows_, nodeId, fresh, edits_, sentAt_.value(nodeId));
        if (list.isCut())
            cutNodes_.insert(nodeId);
        else
            cutNodes_.remove(nodeId);
        // An answer that could not be read is said so, not shown as a Node without bridges.
        if (list.failure == QString::fromUtf8(net::kMalformedReplyText))
            unreadable_.insert(nodeId);
        else
            unreadable_.remove(nodeId);
        render();
    }
    if (awaited_.isEmpty())
        announceRefreshed();
}

void BridgePage::announceRefreshed() {
    QStringList cut, unreadable;
    for (const Node& node : shell_.nodes()) {
        if (cutNodes_.contains(node.id))
            cut << nodeLabel(node);
        if (unreadable_.contains(node.id))
            unreadable << nodeLabel(node) + QStringLiteral(": ") +
                              QString::fromUtf8(net::kMalformedReplyText);
    }
    QString text = fleet::withCutNotice(QStringLiteral("中转已刷新"), cut);
    if (!unreadable.isEmpty())
        text += QStringLiteral("；中转列表读取失败：") + unreadable.join(QStringLiteral("、"));
    // A timer refresh speaks only when there is something to warn about.
    if (announce_ || !cut.isEmpty() || !unreadable.isEmpty()) {
        if (text != lastNotice_ || announce_)
            shell_.setStatusText(text);
        lastNotice_ = text;
    }
    announce_ = false;
}

void BridgePage::render(const QString& selectKey, bool keepPosition) {
    const int rememberedRow = table_->currentRow();
    QString rememberedKey = selectKey;
    if (rememberedKey.isEmpty() && rememberedRow >= 0 && rememberedRow < shownKeys_.size())
        rememberedKey = shownKeys_[rememberedRow];
    const QString only = filterNodeId();
    shownKeys_.clear();
    QList<const ProxyBridgeRow*> shown;
    for (const ProxyBridgeRow& row : rows_) {
        if (only.isEmpty() || row.nodeId == only) {
            shown << &row;
            shownKeys_ << row.key();
        }
    }
    {
        const TableFill fill(table_);
        table_->setRowCount(int(shown.size()));
        for (int r = 0; r < shown.size(); ++r) {
            const QStringList cells = bridgeCells(*shown[r]);
            for (int c = 0; c < cells.size(); ++c)
                table_->setCellText(r, c, cells[c]);
        }
    }
    const int select = rowToReselect(shownKeys_, rememberedKey, keepPosition ? rememberedRow : -1);
    if (select >= 0) {
        table_->selectRow(select);
    } else {
        table_->clearSelection();
        table_->setCurrentCell(-1, -1);
    }
}

std::optional<ProxyBridgeRow> BridgePage::currentBridge() const {
    const int row = table_->currentRow();
    if (row >= 0 && row < shownKeys_.size()) {
        for (const ProxyBridgeRow& bridge : rows_) {
            // A Node's failure row names no bridge to act on.
            if (bridge.key() == shownKeys_[row] && !bridge.isFailureRow())
                return bridge;
        }
    }
    ui::information(shell_.dialogParent(), QStringLiteral("请先选择一个中转。"));
    return std::nullopt;
}

std::optional<Node> BridgePage::nodeOfBridge(const ProxyBridgeRow& row) const {
    if (const Node* node = shell_.nodeById(row.nodeId))
        return *node;
    ui::warning(shell_.dialogParent(), QStringLiteral("中转绑定的节点不可用。"));
    return std::nullopt;
}

std::optional<BridgePage::ChosenBridge> BridgePage::chosenBridge() const {
    const std::optional<ProxyBridgeRow> row = currentBridge();
    if (!row)
        return std::nullopt;
    const std::optional<Node> node = nodeOfBridge(*row);
    if (!node)
        return std::nullopt;
    return ChosenBridge{*row, *node};
}

bool BridgePage::sendBridgeRequest(const Node& node, const QString& method, const QString& path,
                                   const QJsonObject& body, const QString& busyText,
                                   const QString& failurePrefix, QJsonObject* reply) {
    if (!node.hasAgentEndpoint()) {
        ui::warning(shell_.dialogParent(), QStringLiteral("当前节点缺少 Agent API 信息。"));
        return false;
    }
    const std::optional<QJsonObject> answer = shell::callAgent(
        shell_, {.busyText = busyText, .failureLead = failurePrefix, .recordKey = net::kBridgeRecordKey},
        node, method, path, body);
    if (answer)
        *reply = *answer;
    return answer.has_value();
}

void BridgePage::adoptReply(const Node& node, const QJsonObject& reply) {
    // The Node may have left the list while the request waited; its bridge then has no row to go to.
    const Node* current = shell_.nodeById(node.id);
    if (!current)
        return;
    const ProxyBridgeRow row = ProxyBridgeRow::fromJson(reply, node.id, nodeLabel(*current));
    edits_.noteUpdated(row.key());
    replaceBridgeRow(rows_, row);
    render(row.key());
}

void BridgePage::createBridge() {
    const QList<Node>& nodes = shell_.nodes();
    if (nodes.isEmpty()) {
        ui::information(shell_.dialogParent(), QStringLiteral("请先导入节点。"));
        return;
    }
    const ProxyDefaults defaults = loadProxyDefaults();
    if (!defaults.isComplete()) {
        ui::warning(shell_.dialogParent(), QStringLiteral("请填写代理账号和密码。"));
        return;
    }
    BridgeCreateDialog dialog(nodes, filterNodeId(), shell_.dialogParent());
    if (ui::execDialog(dialog) != QDialog::Accepted)
        return;
    if (dialog.name().isEmpty()) {
        ui::warning(shell_.dialogParent(), QStringLiteral("请输入中转名称。"));
        return;
    }
    const Node* chosen = shell_.nodeById(dialog.nodeId());
    if (!chosen) {
        ui::warning(shell_.dialogParent(), QStringLiteral("请选择节点。"));
        return;
    }
    const Node node = *chosen;
    saveProxyDefaults(defaults);
    const QString busyText = QStringLiteral("创建中转...");
    const int port = freeBridgePort(node, defaults.port, busyText);
    const QJsonObject body{{QStringLiteral("name"), dialog.name()},
                           {QStringLiteral("listen"), QStringLiteral("0.0.0.0")},
                           {QStringLiteral("port"), port},
                           {QStringLiteral("username"), defaults.username.trimmed()},
                           {QStringLiteral("password"), defaults.password},
                           {QStringLiteral("upstreamType"), QStringLiteral("socks5")}};
    QJsonObject reply;
    if (!sendBridgeRequest(node, QStringLiteral("POST"), QStringLiteral("/proxy/bridges"), body, busyText,
                           QStringLiteral("创建中转失败: "), &reply))
        return;
    adoptReply(node, reply);
    shell_.setStatusText(QStringLiteral("中转创建完成"));
}

int BridgePage::freeBridgePort(const Node& node, int preferred, const QString& busyText) {
    QSet<int> taken;
    for (const ProxyBridgeRow& row : std::as_const(rows_)) {
        if (row.nodeId == node.id)
            taken.insert(row.port);
    }
    if (node.hasAgentEndpoint()) {
        // The proxy usually listens on the very default port a bridge would take.
        net::RequestResult proxy;
        {
            shell::BusyScope busy(shell_, busyText, busyText);
            proxy = net::agentCall(node, QStringLiteral("GET"), QStringLiteral("/proxy/status"));
        }
        const bool proxyHoldsPort = proxy.reply.value(QStringLiteral("running")).toBool() ||
                                    proxy.reply.value(QStringLiteral("enabled")).toBool();
        if (!proxy.failedUnlessRecord(net::kProxyRecordKey) && proxyHoldsPort)
            taken.insert(proxy.reply.value(QStringLiteral("port")).toInt());
    }
    const int port = firstFreePort(preferred, taken);
    return port > 0 ? port : preferred;
}

void BridgePage::editBridge() {
    const std::optional<ChosenBridge> chosen = chosenBridge();
    if (!chosen)
        return;
    const ProxyBridgeRow* row = &chosen->row;
    const Node* node = &chosen->node;
    BridgeEditDialog dialog(*row, shell_.dialogParent());
    if (ui::execDialog(dialog) != QDialog::Accepted)
        return;
    const BridgeSettings values = dialog.values();
    if (!values.hasEntryAccount()) {
        ui::warning(shell_.dialogParent(), QStringLiteral("请填写名称、入口账号和入口密码。"));
        return;
    }
    QJsonObject reply;
    if (!sendBridgeRequest(*node, QStringLiteral("PUT"), bridgePath(row->id), values.toJson(),
                           QStringLiteral("保存中转..."), QStringLiteral("保存中转失败: "), &reply))
        return;
    adoptReply(*node, reply);
    shell_.setStatusText(QStringLiteral("中转保存完成"));
}

void BridgePage::setBridgeRunning(bool start) {
    const std::optional<ChosenBridge> chosen = chosenBridge();
    if (!chosen)
        return;
    const ProxyBridgeRow* row = &chosen->row;
    const Node* node = &chosen->node;
    QJsonObject reply;
    if (!sendBridgeRequest(*node, QStringLiteral("POST"),
                           bridgePath(row->id, start ? QStringLiteral("/start") : QStringLiteral("/stop")),
                           {}, start ? QStringLiteral("启动中转...") : QStringLiteral("停止中转..."),
                           QStringLiteral("中转请求失败: "), &reply))
        return;
    adoptReply(*node, reply);
    shell_.setStatusText(QStringLiteral("中转请求完成"));
}

void BridgePage::testBridgeUpstream() {
    const std::optional<ChosenBridge> chosen = chosenBridge();
    if (!chosen)
        return;
    const ProxyBridgeRow* row = &chosen->row;
    const Node* node = &chosen->node;
    if (row->upstreamHost.isEmpty() || row->upstreamPort < 1) {
        ui::warning(shell_.dialogParent(), QStringLiteral("请先配置出口地址和端口。"));
        return;
    }
    QJsonObject reply;
    if (!sendBridgeRequest(*node, QStringLiteral("POST"), bridgePath(row->id, QStringLiteral("/test")), {},
                           QStringLiteral("测试上游..."), QStringLiteral("中转上游测试失败: "), &reply))
        return;
    for (ProxyBridgeRow& bridge : rows_) {
        if (bridge.key() == row->key()) {
            bridge.testing = true;
            bridge.testStartedAt = QDateTime::currentSecsSinceEpoch();
        }
    }
    render(row->key());
    adoptReply(*node, reply);
    shell_.setStatusText(QStringLiteral("中转测试已开始"));
    followTest(node->id, row->key(), timing.bridgeTestFollowLimitMs);
}

void BridgePage::copyBridgeConnection() {
    const std::optional<ProxyBridgeRow> row = currentBridge();
    if (!row)
        return;
    QString address = row->socksAddr;
    if (address.isEmpty()) {
        // Without an address from the Agent the Node's own host is dialled; a Node that is gone has none.
        const std::optional<Node> node = nodeOfBridge(*row);
        if (!node)
            return;
        address = node->host + QLatin1Char(':') + QString::number(row->port);
    }
    const QString url = socksUrl(row->username, row->password, address);
    QApplication::clipboard()->setText(url);
    shell_.setStatusText(QStringLiteral("中转连接已复制 ") + maskedSocksUrl(row->username, address));
}

void BridgePage::deleteBridge() {
    const std::optional<ChosenBridge> chosen = chosenBridge();
    if (!chosen)
        return;
    const ProxyBridgeRow* row = &chosen->row;
    const Node* node = &chosen->node;
    if (!ui::question(shell_.dialogParent(),
                      deleteBridgeQuestion(row->name, row->running, row->activeConnections)))
        return;
    if (!shell::callAgent(shell_,
                          {.busyText = QStringLiteral("删除中转..."),
                           .failureLead = QStringLiteral("删除中转失败: "),
                           .recordKey = net::kBridgeRecordKey},
                          *node, QStringLiteral("DELETE"), bridgePath(row->id)))
        return;
    edits_.noteDeleted(row->key());
    removeBridgeRow(rows_, row->key());
    render();
    shell_.setStatusText(QStringLiteral("中转已删除"));
}

void BridgePage::showContextMenu(const QPoint& pos) {
    const int clicked = table_->rowAt(pos.y());
    if (clicked >= 0)
        table_->selectRow(clicked);
    const bool hasRow = table_->currentRow() >= 0 && table_->currentRow() < shownKeys_.size();
    QMenu menu(this);
    menu.addAction(QStringLiteral("刷新"), this, [this] { refreshBridges(true); });
    menu.addAction(QStringLiteral("新增中转"), this, [this] { createBridge(); });
    menu.addAction(QStringLiteral("显示全部"), this, [this] { showOnlyNode(QString()); });
    if (hasRow) {
        const QString nodeId = shownKeys_[table_->currentRow()].section(QLatin1Char('|'), 0, 0);
        menu.addAction(QStringLiteral("只看本节点"), this, [this, nodeId] { showOnlyNode(nodeId); });
        menu.addSeparator();
    }
    const QList<QAction*> rowActions{
        menu.addAction(QStringLiteral("编辑中转"), this, [this] { editBridge(); }),
        menu.addAction(QStringLiteral("启动中转"), this, [this] { setBridgeRunning(true); }),
        menu.addAction(QStringLiteral("停止中转"), this, [this] { setBridgeRunning(false); }),
        menu.addAction(QStringLiteral("测试上游"), this, [this] { testBridgeUpstream(); }),
        menu.addAction(QStringLiteral("复制连接"), this, [this] { copyBridgeConnection(); })};
    menu.addSeparator();
    QAction* remove = menu.addAction(QStringLiteral("删除中转"), this, [this] { deleteBridge(); });
    for (QAction* action : rowActions)
        action->setEnabled(hasRow);
    remove->setEnabled(hasRow);
    menu.exec(table_->viewport()->mapToGlobal(pos));
}

} // namespace proxy
