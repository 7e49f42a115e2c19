#include "streaming/RtmpPage.h"

#include "app/TextFormats.h"
#include "fleet/ListRows.h"
#include "fleet/PollCycle.h"
#include "net/AgentEndpoint.h"
#include "net/ReplyLimits.h"
#include "net/RequestLayer.h"
#include "shell/Shell.h"
#include "streaming/LivePreviewWindow.h"
#include "streaming/PreviewLinkOpen.h"
#include "streaming/StreamingTiming.h"
#include "ui/Dialogs.h"
#include "ui/PlainText.h"
#include "widgets/NodeFilterCombo.h"
#include "widgets/PercentTableWidget.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QJsonDocument>
#include <QMenu>
#include <QVBoxLayout>

namespace streaming {
namespace {

const QString kSelectRoom = QStringLiteral("请先选择一个 RTMP 房间。");

enum Column {
    NameColumn,
    NodeColumn,
    RtmpColumn,
    KeyColumn,
    SrtColumn,
    PreviewColumn,
    UpdatedColumn,
    ErrorColumn,
    StateColumn
};

// One Node's "/rtmp/status" as read on the poll cycle's worker thread: the reply with no more rooms than
// the page shows, how many the Agent listed, and whether a success came with a body that is no JSON object.
struct StatusBody {
    QJsonObject reply;
    qsizetype total = 0;
    bool malformed = false;
};

QVariant parseStatusBody(const fleet::PollReply& reply) {
    StatusBody parsed;
    parsed.reply = net::parseReplyObject(reply.status, reply.body, &parsed.malformed);
    const fleet::CappedList rooms = fleet::cappedList(parsed.reply, QStringLiteral("rooms"));
    parsed.total = rooms.total;
    if (rooms.isCut())
        parsed.reply.insert(QStringLiteral("rooms"), rooms.items);
    return QVariant::fromValue(parsed);
}

} // namespace

RtmpPage::RtmpPage(shell::Shell& shell, QWidget* parent) : QWidget(parent), shell_(shell) {
    setObjectName(QStringLiteral("rtmpPage"));
    // The filter is the page's own choice of Nodes; it is not placed on the page.
    filter_ = new NodeFilterCombo(this);
    filter_->hide();
    buildTable();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(8);
    layout->addWidget(table_);

    shell_.whenNodesLoaded(this, [this] { onNodesLoaded(); });
    onNodesLoaded();
}

void RtmpPage::buildTable() {
    table_ = new PercentTableWidget(
        {QStringLiteral("rtmpTable"),
         {QStringLiteral("房间名"), QStringLiteral("节点"), QStringLiteral("RTMP推流地址"),
          QStringLiteral("推流密钥"), QStringLiteral("SRT推流地址"), QStringLiteral("HLS预览地址"),
          QStringLiteral("更新时间"), QStringLiteral("错误"), QStringLiteral("状态")},
         112,
         {9, 19, 10, 22, 16, 8, 6, 10},
         QAbstractItemView::SingleSelection,
         false},
        this);
    connect(table_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        const int row = table_->rowAt(pos.y());
        if (row >= 0)
            table_->setCurrentCell(row, std::max(0, table_->columnAt(pos.x())));
        std::unique_ptr<QMenu> menu = createContextMenu();
        menu->exec(table_->viewport()->mapToGlobal(pos));
    });
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int, int) { editRoom(); });
}

// A new Node list: indices in the old rows may name other Nodes now, so the rows go and come back fresh.
void RtmpPage::onNodesLoaded() {
    filter_->rebuild(shell_.nodes());
    list_.clear();
    redraw(-1);
    if (shell_.currentPage() == shell::PageId::Rtmp)
        loadRooms(false);
}

void RtmpPage::loadRooms(bool loud) {
    const QList<fleet::NodeRef> targets = fleet::snapshotFiltered(shell_.nodes(), filter_->selectedNodeId());
    if (loud)
        shell_.setBusyText(QStringLiteral("加载 RTMP 房间..."));

    QList<fleet::PollRequest> requests;
    for (const fleet::NodeRef& target : targets) {
        if (!target.node.hasAgentEndpoint()) {
            applyNodeRows(target.row, {rtmpServiceRow({target.row, target.id, nodeLabel(target.node)},
                                                      QString::fromUtf8(kNoAgentEndpointText))});
            continue;
        }
        QNetworkRequest request = net::agentNetworkRequest(target.node, QStringLiteral("/rtmp/status"));
        request.setTransferTimeout(timing.rtmpStatusIdleTimeoutMs);
        requests.append({target.id, request});
        if (loud)
            loudPending_.insert(target.id); // a request still waiting from a quiet load counts too
    }
    shell_.poller(shell::PollKind::RtmpStatus)
        .send(requests, this, parseStatusBody,
              [this](const fleet::PollReply& reply) { onStatusReply(reply); });
    if (loud && loudPending_.isEmpty())
        shell_.setStatusText(loadedText());
}

QString RtmpPage::loadedText() const {
    QStringList cut;
    for (const Node& node : shell_.nodes()) {
        if (cutNodes_.contains(node.id))
            cut << nodeLabel(node);
    }
    return fleet::withCutNotice(QStringLiteral("RTMP 房间加载完成"), cut);
}

bool RtmpPage::isLoading() const {
    return shell_.poller(shell::PollKind::RtmpStatus).waitingCount() > 0;
}

void RtmpPage::onStatusReply(const fleet::PollReply& reply) {
    const RtmpNodeTag node = rtmpNodeTag(shell_, reply.key);
    const StatusBody parsed = reply.value.value<StatusBody>();
    const bool wasCut = cutNodes_.contains(reply.key);
    if (parsed.total > net::limits::kListRowsPerNode)
        cutNodes_.insert(reply.key);
    else
        cutNodes_.remove(reply.key);
    if (node.index >= 0) { // a Node deleted meanwhile leaves no rows behind
        const int status = reply.networkError ? 0 : reply.status;
        // A success that could not be read is a failed Node, not a Node without rooms.
        applyNodeRows(node.index,
                      parsed.malformed
                          ? QList<RtmpRoom>{rtmpServiceRow(node, QString::fromUtf8(net::kMalformedReplyText))}
                          : rtmpRowsFromStatus(status, parsed.reply, reply.errorText, node));
    }
    if (loudPending_.remove(reply.key) && loudPending_.isEmpty())
        shell_.setStatusText(loadedText());
    else if (!wasCut && cutNodes_.contains(reply.key))
        shell_.setStatusText(loadedText()); // a quiet load says so once when a list starts to be cut
}

void RtmpPage::applyNodeRows(int nodeIndex, const QList<RtmpRoom>& rows) {
    redraw(list_.merge(rows, {nodeIndex}, table_->currentRow()));
}

void RtmpPage::redraw(int selectRow) {
    const QSignalBlocker blocker(table_);
    const TableFill fill(table_);
    table_->setRowCount(list_.size());
    for (int row = 0; row < list_.size(); ++row)
        fillRow(row, list_.at(row));
    if (selectRow >= 0 && selectRow < list_.size())
        table_->setCurrentCell(selectRow, 0);
    else
        table_->setCurrentCell(-1, -1);
}

void RtmpPage::fillRow(int row, const RtmpRoom& room) {
    const QString state = rtmpStateText(room);
    const QStringList texts = {room.name.isEmpty() ? QStringLiteral("--") : room.name,
                               room.nodeLabel,
                               room.rtmpPublishUrl,
                               room.roomKey,
                               room.srtPublishFullUrl,
                               room.previewUrl,
                               fmt::formatEpochMs(room.updatedAt * 1000),
                               room.error.isEmpty() ? QStringLiteral("--") : room.error,
                               state};
    for (int column = 0; column < texts.size(); ++column)
        table_->setCellText(row, column, texts[column]);
    QTableWidgetItem* stateItem = table_->item(row, StateColumn);
    switch (rtmpStateTone(state)) {
    case RtmpStateTone::Good:
        stateItem->setForeground(QColor(0x16, 0x80, 0x41));
        break;
    case RtmpStateTone::Bad:
        stateItem->setForeground(QColor(0xB9, 0x1C, 0x1C));
        break;
    case RtmpStateTone::Plain:
        stateItem->setData(Qt::ForegroundRole, QVariant());
        break;
    }
}

std::optional<RtmpRoomTarget> RtmpPage::currentRoomTarget() {
    const int row = table_->currentRow();
    if (!list_.isValidRow(row))
        return std::nullopt;
    const RtmpRoom& room = list_.at(row);
    const int nodeRow = shell_.indexOfNode(room.nodeId);
    if (room.isServiceRow() || nodeRow < 0) {
        ui::information(shell_.dialogParent(), kSelectRoom);
        return std::nullopt;
    }
    return RtmpRoomTarget{room, {nodeRow, room.nodeId, shell_.nodes()[nodeRow]}};
}

void RtmpPage::createRoom() {
    actions_.create(filter_->selectedNodeId());
}

void RtmpPage::editRoom() {
    if (!list_.isValidRow(table_->currentRow()))
        return;
    if (const std::optional<RtmpRoomTarget> target = currentRoomTarget())
        actions_.edit(*target, filter_->selectedNodeId());
}

void RtmpPage::roomAction(const QString& action) {
    if (const std::optional<RtmpRoomTarget> target = currentRoomTarget())
        actions_.switchRoom(*target, action);
}

void RtmpPage::deleteRoom() {
    if (const std::optional<RtmpRoomTarget> target = currentRoomTarget())
        actions_.remove(*target);
}

void RtmpPage::adoptRoom(const RtmpRoom& fresh) {
    // The state columns of every room of the Node follow the latest reading.
    list_.applyNodeStatus(fresh);
    redraw(list_.upsert(fresh));
}

void RtmpPage::removeRoom(const RtmpRoom& removed) {
    // By key, as the row stands now: a load during the wait may have moved it.
    redraw(list_.remove(removed.rowKey(), table_->currentRow()));
}

void RtmpPage::reloadRooms() {
    loadRooms(false);
}

std::optional<fleet::NodeRef> RtmpPage::nodeForLog() const {
    const int row = table_->currentRow();
    QString nodeId = list_.isValidRow(row) ? list_.at(row).nodeId : QString();
    if (shell_.indexOfNode(nodeId) < 0)
        nodeId = filter_->selectedNodeId();
    const int nodeRow = shell_.indexOfNode(nodeId);
    if (nodeId.isEmpty() || nodeRow < 0)
        return std::nullopt;
    return fleet::NodeRef{nodeRow, nodeId, shell_.nodes()[nodeRow]};
}

void RtmpPage::viewLog() {
    if (const std::optional<fleet::NodeRef> node = nodeForLog())
        actions_.viewLog(*node);
}

void RtmpPage::copyField(RtmpCopyField field, const QString& label) {
    const int row = table_->currentRow();
    if (!list_.isValidRow(row))
        return;
    const QString text = rtmpCopyText(list_.at(row), field);
    if (text.isEmpty())
        return;
    QGuiApplication::clipboard()->setText(text);
    shell_.setStatusText(label + QStringLiteral("已复制"));
}

void RtmpPage::openPreview() {
    const int row = table_->currentRow();
    if (!list_.isValidRow(row) || list_.at(row).previewUrl.isEmpty())
        return;
    openPreviewLink(shell_.dialogParent(), list_.at(row).previewUrl);
}

void RtmpPage::watchLive() {
    const int row = table_->currentRow();
    if (!list_.isValidRow(row))
        return;
    const RtmpRoom& room = list_.at(row);
    if (room.previewUrl.isEmpty()) {
        ui::information(shell_.dialogParent(), QStringLiteral("当前房间没有可用的 HLS 预览地址。"));
        return;
    }
    if (!acceptPreviewAddress(shell_.dialogParent(), room.previewUrl))
        return;
    auto* window = new LivePreviewWindow(room.name, room.previewUrl);
    shell_.adoptWindow(window);
    window->show();
}

void RtmpPage::filterByNode(const QString& nodeId) {
    const QSignalBlocker blocker(filter_);
    const int index =
        nodeId.isEmpty() ? 0
                         : filter_->findData(nodeId, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
    filter_->setCurrentIndex(std::max(0, index));
    loadRooms(true);
}

std::unique_ptr<QMenu> RtmpPage::createContextMenu() {
    auto menu = std::make_unique<QMenu>();
    const int row = table_->currentRow();
    const bool hasRow = list_.isValidRow(row);
    const RtmpRoom current = hasRow ? list_.at(row) : RtmpRoom();
    const bool isRoom = hasRow && !current.isServiceRow();

    menu->addAction(QStringLiteral("刷新"), this, [this] { loadRooms(true); });
    menu->addAction(QStringLiteral("新增房间"), this, [this] { createRoom(); });
    menu->addAction(QStringLiteral("显示全部"), this, [this] { filterByNode(QString()); });
    if (hasRow) {
        const QString nodeId = current.nodeId;
        menu->addAction(QStringLiteral("只看本节点"), this, [this, nodeId] { filterByNode(nodeId); });
    }
    menu->addSeparator();
    menu->addAction(QStringLiteral("编辑房间"), this, [this] { editRoom(); })->setEnabled(isRoom);
    menu->addAction(QStringLiteral("启用房间"), this, [this] { roomAction(QStringLiteral("enable")); })
        ->setEnabled(isRoom);
    menu->addAction(QStringLiteral("禁用房间"), this, [this] { roomAction(QStringLiteral("disable")); })
        ->setEnabled(isRoom);
    menu->addAction(QStringLiteral("重置Key"), this, [this] { roomAction(QStringLiteral("reset-key")); })
        ->setEnabled(isRoom);
    menu->addSeparator();
    for (const RtmpCopyItem& item : rtmpCopyItems()) {
        const RtmpCopyField field = item.field;
        const QString label = item.label;
        menu->addAction(item.menuText, this, [this, field, label] { copyField(field, label); })
            ->setEnabled(!rtmpCopyText(current, field).isEmpty());
    }
    const bool hasPreview = isRoom && !current.previewUrl.isEmpty();
    menu->addAction(QStringLiteral("打开预览"), this, [this] { openPreview(); })->setEnabled(hasPreview);
    menu->addAction(QStringLiteral("观看直播"), this, [this] { watchLive(); })->setEnabled(hasPreview);
    menu->addAction(QStringLiteral("查看日志"), this, [this] { viewLog(); });
    menu->addSeparator();
    menu->addAction(QStringLiteral("删除房间"), this, [this] { deleteRoom(); })->setEnabled(isRoom);
    return menu;
}

QList<RtmpRoom> rtmpRowsShownIn(const QWidget* window) {
    const auto* page =
        window ? dynamic_cast<const RtmpPage*>(window->findChild<QWidget*>(QStringLiteral("rtmpPage")))
               : nullptr;
    return page ? page->rooms().rows() : QList<RtmpRoom>();
}

} // namespace streaming
