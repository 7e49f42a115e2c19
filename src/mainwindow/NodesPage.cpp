#include "mainwindow/NodesPage.h"

#include "account/CloudNodeRules.h"
#include "console/NodeWindow.h"
#include "fleet/PollCycle.h"
#include "history/FleetHistory.h"
#include "history/HistoryWindow.h"
#include "history/TrendDelegate.h"
#include "mainwindow/MainWindowTiming.h"
#include "mainwindow/NodeFilterRules.h"
#include "mainwindow/NodeMaintenance.h"
#include "model/SignInState.h"
#include "net/RequestLayer.h"
#include "releases/ReleaseManifests.h"
#include "shell/Shell.h"
#include "widgets/PercentTableWidget.h"
#include "widgets/UsageProgressDelegate.h"

#include <QDateTime>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace {

const QStringList kHeaders{
    QStringLiteral("名称"),      QStringLiteral("地址"),     QStringLiteral("服务器名"),
    QStringLiteral("Agent版本"), QStringLiteral("MediaMTX"), QStringLiteral("GOST"),
    QStringLiteral("FFmpeg"),    QStringLiteral("CPU"),      QStringLiteral("内存"),
    QStringLiteral("磁盘"),      QStringLiteral("网络"),     QStringLiteral("趋势")};
const QList<int> kColumnPercentages{8, 10, 7, 8, 7, 7, 6, 12, 12, 11, 12};
constexpr int kFirstColumnWidth = 120;

QString dash() {
    return QStringLiteral("--");
}

// What one status reply becomes on the poller's thread: the row texts and the history sample.
struct PolledStatus {
    mainwindow::NodeRowTexts texts;
    history::Sample sample;
};

// The samples of one poll cycle, gathered until every request sent has been answered.
struct CycleSamples {
    int waiting = 0;
    bool overtaken = false; // a reply was dropped because an action changed its Node meanwhile
    QList<history::Sample> samples;
};

// What the page knew of a Node when its status was asked for.
struct PolledNode {
    AgentApi agent;
    quint64 changeCount = 0;
};

} // namespace

Q_DECLARE_METATYPE(PolledStatus)

NodesPage::NodesPage(shell::Shell& shell, QWidget* parent)
    : QWidget(parent), shell_(shell), maintenance_(std::make_unique<NodeMaintenance>(shell, *this, *this)) {
    setObjectName(QStringLiteral("nodesPage"));
    buildNodesPage();
    shell_.whenNodesLoaded(this, [this] {
        fillNodeRows();
        applyFilter();
        // Ask at once rather than at the next tick, so a reload or the start shows live values soon.
        if (mainwindow::timing.pollAfterLoadMs == 0)
            refreshNodeStatuses();
        else if (mainwindow::timing.pollAfterLoadMs > 0)
            QTimer::singleShot(mainwindow::timing.pollAfterLoadMs, this, [this] { refreshNodeStatuses(); });
    });
    shell_.manifests().whenAgentManifestKept(this, [this] { rewriteAgentColumn(); });
}

NodesPage::~NodesPage() = default;

void NodesPage::buildNodesPage() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    filterEdit_ = new QLineEdit(this);
    filterEdit_->setObjectName(QStringLiteral("nodesFilter"));
    filterEdit_->setPlaceholderText(QStringLiteral("筛选节点：名称、地址、服务器名、Agent版本"));
    filterEdit_->setClearButtonEnabled(true);
    connect(filterEdit_, &QLineEdit::textChanged, this, [this] { applyFilter(); });
    layout->addWidget(filterEdit_);
    table_ = new PercentTableWidget({QStringLiteral("nodesTable"), kHeaders, kFirstColumnWidth,
                                     kColumnPercentages, QAbstractItemView::ExtendedSelection},
                                    this);
    auto* usageDelegate = new UsageProgressDelegate(table_);
    table_->setItemDelegateForColumn(mainwindow::kMemoryColumn, usageDelegate);
    table_->setItemDelegateForColumn(mainwindow::kDiskColumn, usageDelegate);
    trendDelegate_ = new history::TrendDelegate(
        [this](int row) {
            return row >= 0 && row < shell_.nodes().size() ? shell_.nodes()[row].id : QString();
        },
        table_);
    table_->setItemDelegateForColumn(mainwindow::kTrendColumn, trendDelegate_);
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int column) {
        if (column == mainwindow::kTrendColumn && shell_.fleetHistory())
            openHistoryWindow(row);
        else
            openNodeWindow(row);
    });
    connect(table_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { showContextMenu(pos); });
    layout->addWidget(table_);
}

void NodesPage::fillNodeRows() {
    const QList<Node>& nodeList = shell_.nodes();
    const QString latest = shell_.manifests().latestAgentVersion();
    statusRequests_.clear();
    QHash<QString, mainwindow::NodeRowTexts> kept;
    for (const Node& node : nodeList) {
        if (lastRows_.contains(node.id))
            kept.insert(node.id, lastRows_.value(node.id));
    }
    lastRows_ = kept; // Nodes that left the list are forgotten
    table_->setRowCount(int(nodeList.size()));
    for (int row = 0; row < nodeList.size(); ++row) {
        const Node& node = nodeList[row];
        setCellText(row, 0, nodeLabel(node));
        setCellText(row, 1, node.host);
        setCellText(row, 2, node.name);
        const QString version = node.lastAgentVersion.isEmpty() ? dash() : node.lastAgentVersion;
        setCellText(row, mainwindow::kAgentColumn, mainwindow::agentVersionCell(version, latest));
        for (int column = mainwindow::kMediaMtxColumn; column <= mainwindow::kNetworkColumn; ++column)
            setCellText(row, column, dash());
        setCellText(row, mainwindow::kTrendColumn, QString());
        if (lastRows_.contains(node.id))
            setNodeRow(row, lastRows_.value(node.id));
    }
}

void NodesPage::refreshNodeStatuses() {
    const QList<Node>& nodeList = shell_.nodes();
    QList<fleet::PollRequest> requests;
    // The Agent each Node had when polled: a reply is dropped when the Node has since moved elsewhere, or
    // when an action changed it after the request left (the reply would bring back the old state).
    auto polledNodes = std::make_shared<QHash<QString, PolledNode>>();
    for (int row = 0; row < nodeList.size(); ++row) {
        const Node& node = nodeList[row];
        if (!node.hasAgentEndpoint()) {
            setNodeRow(row, mainwindow::unconnectedRow());
            continue;
        }
        requests.append({node.id, statusRequestFor(node)});
        polledNodes->insert(node.id, {node.agentApi, changeCounts_.value(node.id)});
    }
    if (requests.isEmpty())
        return;
    // Parsing runs on the poller's thread; only the finished row texts and samples come back here. Every
    // sample of a cycle carries the cycle's time.
    const qint64 cycleMs = QDateTime::currentMSecsSinceEpoch();
    const auto parse = [cycleMs](const fleet::PollReply& reply) {
        const bool answered = !reply.networkError && reply.status >= 200 && reply.status < 300;
        const QJsonObject status = answered ? net::parseJsonObject(reply.body) : QJsonObject();
        PolledStatus polled{!answered ? mainwindow::offlineRow() : mainwindow::rowFromStatus(status),
                            history::sampleFromStatus(reply.key, cycleMs, answered, status)};
        return QVariant::fromValue(polled);
    };
    auto cycle = std::make_shared<CycleSamples>();
    const QStringList sent =
        shell_.poller(shell::PollKind::NodeStatus)
            .send(requests, this, parse, [this, polledNodes, cycle](const fleet::PollReply& reply) {
                const auto polled = reply.value.value<PolledStatus>();
                const PolledNode asked = polledNodes->value(reply.key);
                const int row = rowOfPolledNode(reply.key, asked.agent);
                if (row >= 0 && asked.changeCount != changeCounts_.value(reply.key))
                    cycle->overtaken = true;
                else if (row >= 0) {
                    setNodeRow(row, polled.texts);
                    cycle->samples.append(polled.sample);
                }
                if (--cycle->waiting > 0)
                    return;
                recordCycle(cycle->samples);
                // The poll the action asked for skipped a Node whose old request still waited; ask again.
                if (cycle->overtaken)
                    refreshNodeStatuses();
            });
    cycle->waiting = int(sent.size());
}

void NodesPage::recordCycle(const QList<history::Sample>& samples) {
    history::FleetHistory* fleet = shell_.fleetHistory();
    if (!fleet)
        return;
    fleet->nodesPolled(samples);
    fleet->queryTrends(this, [this](const QHash<QString, history::Trend>& trends) {
        trendDelegate_->setTrends(trends);
        table_->viewport()->update();
    });
}

const QNetworkRequest& NodesPage::statusRequestFor(const Node& node) {
    StatusRequest& cached = statusRequests_[node.id];
    const int idleLimitMs = mainwindow::timing.statusIdleTimeoutMs;
    if (cached.request.url().isEmpty() || cached.agent != node.agentApi ||
        cached.idleLimitMs != idleLimitMs) {
        cached.agent = node.agentApi;
        cached.idleLimitMs = idleLimitMs;
        cached.request = net::agentNetworkRequest(node, QStringLiteral("/status"));
        cached.request.setTransferTimeout(idleLimitMs);
    }
    return cached.request;
}

void NodesPage::nodeChanging(const QString& nodeId) {
    ++changeCounts_[nodeId];
}

bool NodesPage::statusPollInFlight() const {
    return shell_.poller(shell::PollKind::NodeStatus).waitingCount() > 0;
}

int NodesPage::rowOfPolledNode(const QString& id, const AgentApi& polledAgent) const {
    const QList<Node>& nodeList = shell_.nodes();
    for (int row = 0; row < nodeList.size() && row < table_->rowCount(); ++row) {
        // After a reload the Node may stand in another row, or point at another Agent.
        if (nodeList[row].id == id)
            return nodeList[row].agentApi == polledAgent ? row : -1;
    }
    return -1;
}

void NodesPage::setNodeRow(int row, const mainwindow::NodeRowTexts& texts) {
    if (row < 0 || row >= table_->rowCount())
        return;
    const QList<Node>& nodeList = shell_.nodes();
    if (row < nodeList.size())
        lastRows_.insert(nodeList[row].id, texts);
    // A reply without a version (offline, not connected) says nothing new about the Agent: the Node's
    // last known version stays, in the column and in the record.
    const bool knowsVersion = !texts.agentVersion.isEmpty() && texts.agentVersion != dash();
    QString version = texts.agentVersion;
    if (!knowsVersion && row < nodeList.size() && !nodeList[row].lastAgentVersion.isEmpty())
        version = nodeList[row].lastAgentVersion;
    if (knowsVersion && row < nodeList.size()) {
        shell_.setLastAgentVersion(nodeList[row].id, texts.agentVersion);
        // The filter also looks at the Agent version, which only now may have become known.
        if (table_->isRowHidden(row) == mainwindow::nodeMatchesFilter(nodeList[row], filterEdit_->text()))
            applyFilter();
    }
    setCellText(row, mainwindow::kAgentColumn,
                mainwindow::agentVersionCell(version, shell_.manifests().latestAgentVersion()));
    setCellText(row, mainwindow::kMediaMtxColumn, texts.mediaMtx);
    setCellText(row, mainwindow::kGostColumn, texts.gost);
    setCellText(row, mainwindow::kFfmpegColumn, texts.ffmpeg);
    setCellText(row, mainwindow::kCpuColumn, texts.cpu);
    // Each usage cell is written once, with its bar or without, so an unchanged one stays as it is.
    setUsageCell(row, mainwindow::kMemoryColumn, texts.memory, texts.memoryPercent);
    setUsageCell(row, mainwindow::kDiskColumn, texts.disk, texts.diskPercent);
    setCellText(row, mainwindow::kNetworkColumn, texts.network);
    showFiguresInNodeWindows(row);
}

void NodesPage::showFiguresInNodeWindows(int row) {
    nodeWindows_.removeAll(nullptr);
    if (nodeWindows_.isEmpty() || row < 0 || row >= shell_.nodes().size())
        return;
    QList<QPair<QString, QString>> figures;
    for (int column = mainwindow::kAgentColumn; column <= mainwindow::kNetworkColumn; ++column) {
        const QTableWidgetItem* header = table_->horizontalHeaderItem(column);
        const QTableWidgetItem* cell = table_->item(row, column);
        figures.append({header ? header->text() : QString(), cell ? cell->text() : QStringLiteral("--")});
    }
    for (const QPointer<NodeWindow>& window : std::as_const(nodeWindows_)) {
        if (window->node().id == shell_.nodes().at(row).id)
            window->showLiveFigures(figures);
    }
}

void NodesPage::setCellText(int row, int column, const QString& text) {
    table_->setCellText(row, column, text);
}

void NodesPage::setUsageCell(int row, int column, const QString& text, double percent) {
    if (percent < 0) {
        table_->setCellText(row, column, text);
        return;
    }
    const double clamped = std::clamp(percent, 0.0, 100.0);
    const QTableWidgetItem* current = table_->item(row, column);
    if (current && current->text() == text && current->data(widgets::kUsagePercentRole) == QVariant(clamped))
        return;
    if (QTableWidgetItem* item = table_->setCellText(row, column, text))
        item->setData(widgets::kUsagePercentRole, clamped);
}

QList<int> NodesPage::selectedNodeRows() const {
    // Rows the filter hides are never acted on, even when "全选" or an earlier selection took them in.
    QList<int> selected;
    for (const QModelIndex& index : table_->selectionModel()->selectedIndexes()) {
        if (!table_->isRowHidden(index.row()))
            selected << index.row();
    }
    const int current = table_->isRowHidden(table_->currentRow()) ? -1 : table_->currentRow();
    return mainwindow::validSelectedRows(selected, current, int(shell_.nodes().size()));
}

void NodesPage::applyFilter() {
    const QList<Node>& nodeList = shell_.nodes();
    const QString text = filterEdit_->text();
    int shown = 0;
    for (int row = 0; row < table_->rowCount(); ++row) {
        const bool match = row < nodeList.size() && mainwindow::nodeMatchesFilter(nodeList[row], text);
        table_->setRowHidden(row, !match);
        if (match)
            ++shown;
        else if (table_->selectionModel()->isRowSelected(row, QModelIndex()))
            table_->selectionModel()->select(table_->model()->index(row, 0),
                                             QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    }
    const bool filterSet = !text.trimmed().isEmpty();
    if (filterSet)
        shell_.setStatusText(mainwindow::filteredStatusLine(shown, int(nodeList.size())));
    else if (filterWasSet_)
        shell_.setStatusText(account::statusLine(signInState().username, int(nodeList.size())));
    filterWasSet_ = filterSet;
}

void NodesPage::focusFilter() {
    filterEdit_->setFocus(Qt::ShortcutFocusReason);
    filterEdit_->selectAll();
}

void NodesPage::rewriteAgentColumn() {
    const QList<Node>& nodeList = shell_.nodes();
    const QString latest = shell_.manifests().latestAgentVersion();
    for (int row = 0; row < nodeList.size() && row < table_->rowCount(); ++row) {
        const QString version =
            nodeList[row].lastAgentVersion.isEmpty() ? dash() : nodeList[row].lastAgentVersion;
        setCellText(row, mainwindow::kAgentColumn, mainwindow::agentVersionCell(version, latest));
    }
}

void NodesPage::applyRightClickSelection(int row) {
    QList<int> selected;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows())
        selected << index.row();
    if (!mainwindow::rightClickSelectsRowAlone(row, int(shell_.nodes().size()), selected))
        return;
    table_->clearSelection();
    table_->selectRow(row);
}

std::unique_ptr<QMenu> NodesPage::createContextMenu() {
    auto menu = std::make_unique<QMenu>(this);
    auto add = [](QMenu* target, const QString& text, auto handler) {
        QAction* action = target->addAction(text);
        QObject::connect(action, &QAction::triggered, target, handler);
    };
    add(menu.get(), QStringLiteral("导入节点"), [this] { shell_.importNode(); });
    add(menu.get(), QStringLiteral("刷新云端"), [this] { shell_.reloadNodes(true); });
    menu->addSeparator();
    if (selectedNodeRows().isEmpty()) {
        add(menu.get(), QStringLiteral("全选"), [this] { table_->selectAll(); });
        return menu;
    }
    add(menu.get(), QStringLiteral("打开节点"), [this] {
        const QList<int> rows = selectedNodeRows();
        const int current = table_->currentRow();
        openNodeWindow(rows.contains(current) ? current : rows.value(0, -1));
    });
    add(menu.get(), QStringLiteral("刷新状态"), [this] { refreshNodeStatuses(); });
    if (shell_.fleetHistory())
        add(menu.get(), QStringLiteral("查看历史"), [this] {
            const QList<int> rows = selectedNodeRows();
            const int current = table_->currentRow();
            openHistoryWindow(rows.contains(current) ? current : rows.value(0, -1));
        });
    menu->addSeparator();

    NodeMaintenance& actions = *maintenance_;
    QMenu* services = menu->addMenu(QStringLiteral("三方服务"));
    QMenu* mediaMtx = services->addMenu(QStringLiteral("MediaMTX"));
    const QList<QPair<QString, QString>> rtmpService{
        {QStringLiteral("启动 RTMP 服务"), QStringLiteral("/rtmp/start")},
        {QStringLiteral("停止 RTMP 服务"), QStringLiteral("/rtmp/stop")},
        {QStringLiteral("重启 RTMP 服务"), QStringLiteral("/rtmp/restart")}};
    for (const auto& [text, path] : rtmpService)
        add(mediaMtx, text, [&actions, path, text] { actions.runMediaMtxAction(path, text); });
    mediaMtx->addSeparator();
    const QList<QPair<QString, QString>> verbs{{QStringLiteral("安装"), QStringLiteral("install")},
                                               {QStringLiteral("更新"), QStringLiteral("update")},
                                               {QStringLiteral("卸载"), QStringLiteral("uninstall")}};
    for (const auto& [verb, slug] : verbs) {
        add(mediaMtx, verb, [&actions, verb, slug] {
            actions.runMediaMtxAction(QStringLiteral("/rtmp/mediamtx/") + slug,
                                      verb + QStringLiteral(" MediaMTX"));
        });
    }
    QMenu* ffmpeg = services->addMenu(QStringLiteral("FFmpeg"));
    for (const auto& [verb, slug] : verbs) {
        add(ffmpeg, verb, [&actions, verb, slug] {
            actions.runFfmpegAction(QStringLiteral("/ffmpeg/") + slug, verb + QStringLiteral(" FFmpeg"));
        });
    }
    QMenu* gost = services->addMenu(QStringLiteral("GOST"));
    for (const auto& [verb, slug] : verbs) {
        add(gost, verb, [&actions, verb, slug] {
            actions.runGostAction(QStringLiteral("/gost/") + slug, verb + QStringLiteral(" GOST"));
        });
    }
    menu->addSeparator();
    add(menu.get(), QStringLiteral("检测版本"), [&actions] { actions.checkAgentVersions(); });
    add(menu.get(), QStringLiteral("更新选中 Agent"), [&actions] { actions.updateSelectedAgents(); });
    add(menu.get(), QStringLiteral("全选"), [this] { table_->selectAll(); });
    menu->addSeparator();
    add(menu.get(), QStringLiteral("删除节点"), [this] { deleteSelectedNodes(); });
    return menu;
}

void NodesPage::showContextMenu(const QPoint& viewportPos) {
    applyRightClickSelection(table_->rowAt(viewportPos.y()));
    const std::unique_ptr<QMenu> menu = createContextMenu();
    menu->exec(table_->viewport()->mapToGlobal(viewportPos));
}

void NodesPage::openNodeWindow(int row) {
    const QList<Node>& nodeList = shell_.nodes();
    if (row < 0 || row >= nodeList.size())
        return;
    auto* nodeWindow = new NodeWindow(nodeList[row]);
    nodeWindow->setAttribute(Qt::WA_DeleteOnClose);
    shell_.adoptWindow(nodeWindow);
    nodeWindows_.append(nodeWindow);
    showFiguresInNodeWindows(row);
    nodeWindow->show();
}

void NodesPage::openHistoryWindow(int row) {
    const QList<Node>& nodeList = shell_.nodes();
    history::FleetHistory* fleet = shell_.fleetHistory();
    if (row < 0 || row >= nodeList.size() || !fleet)
        return;
    auto* window = new history::HistoryWindow(*fleet, nodeList[row].id, nodeLabel(nodeList[row]));
    window->setAttribute(Qt::WA_DeleteOnClose);
    shell_.adoptWindow(window);
    window->show();
}

void NodesPage::revealNode(const QString& nodeId) {
    const int row = shell_.indexOfNode(nodeId);
    if (row < 0 || row >= table_->rowCount())
        return;
    if (table_->isRowHidden(row))
        filterEdit_->clear();
    table_->clearSelection();
    table_->selectRow(row);
    table_->scrollToItem(table_->item(row, 0));
}

void NodesPage::deleteSelectedNodes() {
    // Copies: the deletions wait in nested event loops, and the records must outlive any reload.
    QList<Node> selected;
    for (int row : selectedNodeRows())
        selected.append(shell_.nodes().at(row));
    shell_.deleteNodes(selected);
}
