#include "streaming/LivePage.h"

#include "app/TextFormats.h"
#include "fleet/ListRows.h"
#include "fleet/NodeBatch.h"
#include "fleet/PollCycle.h"
#include "history/FleetHistory.h"
#include "net/RequestLayer.h"
#include "net/RequestResult.h"
#include "shell/Shell.h"
#include "streaming/LivePushStatus.h"
#include "streaming/StreamingTiming.h"
#include "ui/Dialogs.h"
#include "ui/PlainText.h"
#include "widgets/NodeFilterCombo.h"
#include "widgets/PercentTableWidget.h"

#include <QDateTime>
#include <QHeaderView>
#include <QJsonArray>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QVBoxLayout>

using streaming::LiveRoom;

namespace {

const QStringList kHeaders{QString(),
                           QStringLiteral("节点"),
                           QStringLiteral("房间名"),
                           QStringLiteral("模式"),
                           QStringLiteral("媒体来源"),
                           QStringLiteral("音频目录"),
                           QStringLiteral("状态"),
                           QStringLiteral("实时日志"),
                           QStringLiteral("循环"),
                           QStringLiteral("创建时间"),
                           QStringLiteral("错误")};
constexpr int kFirstColumnWidth = 34;
const QList<int> kColumnPercentages{10, 13, 9, 12, 9, 8, 23, 5, 10, 13};
constexpr int kNodeLabelColumn = 1;
constexpr int kStatusColumn = 6;
constexpr int kErrorColumn = 10;
const QColor kNodeRowBackground(0xF2, 0xF4, 0xF7);

QString dashIfEmpty(const QString& text) {
    return text.isEmpty() ? QStringLiteral("--") : text;
}

} // namespace

QIcon liveNodeIcon(bool expanded) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x56, 0x5E, 0x6C));
    const QPolygonF down{{4, 6}, {12, 6}, {8, 11}};
    const QPolygonF right{{6, 4}, {11, 8}, {6, 12}};
    painter.drawPolygon(expanded ? down : right);
    painter.end();
    return QIcon(pixmap);
}

LivePage::LivePage(shell::Shell& shell, QWidget* parent) : QWidget(parent), shell_(shell) {
    filter_ = new NodeFilterCombo(this);
    filter_->hide();
    buildTable();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(8);
    layout->addWidget(table_);
    shell_.whenNodesLoaded(this, [this] {
        rebuildFilter();
        load(false);
    });
    rebuildFilter();
}

void LivePage::buildTable() {
    table_ = new PercentTableWidget(
        {QStringLiteral("liveTable"), kHeaders, kFirstColumnWidth, kColumnPercentages}, this);
    table_->setIconSize(QSize(16, 16));
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setFixedWidth(42);
    connect(table_, &QTableWidget::cellClicked, this,
            [this](int row, int column) { onCellClicked(row, column); });
    connect(table_, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int column) { onCellDoubleClicked(row, column); });
    connect(table_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        const int row = table_->rowAt(pos.y());
        if (row >= 0)
            table_->selectRow(row);
        std::unique_ptr<QMenu> menu = createContextMenu();
        menu->exec(table_->viewport()->mapToGlobal(pos));
    });
}

void LivePage::rebuildFilter() {
    filter_->rebuild(shell_.nodes());
    redraw();
}

QList<QString> LivePage::filterNodeIds() const {
    QList<QString> ids;
    for (const fleet::NodeRef& ref : fleet::snapshotFiltered(shell_.nodes(), filter_->selectedNodeId()))
        ids.append(ref.id);
    return ids;
}

void LivePage::redraw() {
    const QString keptRoom = currentRoom() ? currentRoom()->key() : QString();
    const QString keptNode = currentNodeId();
    rowMap_ = streaming::liveTableRows(filterNodeIds(), rooms_, collapsed_);
    {
        const TableFill fill(table_);
        table_->setRowCount(int(rowMap_.size()));
        for (int row = 0; row < rowMap_.size(); ++row) {
            if (rowMap_[row].isNodeRow())
                writeNodeRow(row, rowMap_[row].nodeId);
            else
                writeRoomRow(row, rooms_[rowMap_[row].roomIndex]);
        }
    }
    if (!keptRoom.isEmpty() && rowOfRoom(keptRoom) >= 0)
        selectRoom(keptRoom);
    else if (!keptNode.isEmpty())
        selectNode(keptNode);
}

void LivePage::writeNodeRow(int row, const QString& nodeId) {
    const Node* node = shell_.nodeById(nodeId);
    QFont bold = table_->font();
    bold.setWeight(QFont::Bold);
    // A Node whose rooms could not be read says so on its row, as the other pages show a failed Node.
    const auto failure = loadFailures_.constFind(nodeId);
    for (int column = 0; column < table_->columnCount(); ++column) {
        QString text;
        if (column == kNodeLabelColumn)
            text = node ? nodeLabel(*node) : QStringLiteral("--");
        else if (failure != loadFailures_.cend() && column == kStatusColumn)
            text = QStringLiteral("加载失败");
        else if (failure != loadFailures_.cend() && column == kErrorColumn)
            text = *failure;
        QTableWidgetItem* item = table_->setCellText(row, column, text);
        item->setFont(bold);
        item->setBackground(kNodeRowBackground);
        if (column == 0)
            item->setIcon(liveNodeIcon(!collapsed_.contains(nodeId)));
    }
}

void LivePage::writeRoomRow(int row, const LiveRoom& room) {
    const QStringList cells{QString(),
                            QString(),
                            room.name,
                            streaming::modeLabel(room.streamMode),
                            streaming::mediaSourceText(room),
                            streaming::audioFolderText(room),
                            streaming::statusLabel(room.status),
                            dashIfEmpty(room.liveLine),
                            room.loopEnabled ? QStringLiteral("是") : QStringLiteral("否"),
                            fmt::formatEpochMs(room.createdAt * 1000),
                            dashIfEmpty(room.lastError)};
    for (int column = 0; column < cells.size(); ++column)
        table_->setCellText(row, column, cells[column]);
}

std::optional<LiveRoom> LivePage::roomAtRow(int row) const {
    if (row < 0 || row >= rowMap_.size() || rowMap_[row].isNodeRow())
        return std::nullopt;
    const int index = rowMap_[row].roomIndex;
    if (index < 0 || index >= rooms_.size())
        return std::nullopt;
    return rooms_[index];
}

std::optional<LiveRoom> LivePage::currentRoom() const {
    return roomAtRow(table_->currentRow());
}

QString LivePage::currentNodeId() const {
    const int row = table_->currentRow();
    return row >= 0 && row < rowMap_.size() ? rowMap_[row].nodeId : QString();
}

int LivePage::rowOfRoom(const QString& roomKey) const {
    for (int row = 0; row < rowMap_.size(); ++row) {
        if (!rowMap_[row].isNodeRow() && rooms_.value(rowMap_[row].roomIndex).key() == roomKey)
            return row;
    }
    return -1;
}

int LivePage::rowOfNode(const QString& nodeId) const {
    for (int row = 0; row < rowMap_.size(); ++row) {
        if (rowMap_[row].isNodeRow() && rowMap_[row].nodeId == nodeId)
            return row;
    }
    return -1;
}

void LivePage::pollWhileHidden() {
    if (!loadedOnce_)
        load(false);
    else
        pollStatuses();
}

void LivePage::revealRoom(const QString& roomKey) {
    const int index = streaming::indexOfLiveRoom(rooms_, roomKey);
    if (index >= 0 && collapsed_.remove(rooms_[index].cloudNodeId))
        redraw();
    selectRoom(roomKey);
}

void LivePage::selectRoom(const QString& roomKey) {
    const int row = rowOfRoom(roomKey);
    if (row >= 0)
        table_->selectRow(row);
}

void LivePage::selectNode(const QString& nodeId) {
    const int row = rowOfNode(nodeId);
    if (row >= 0)
        table_->selectRow(row);
}

void LivePage::onCellClicked(int row, int column) {
    if (column == 0 && row >= 0 && row < rowMap_.size() && rowMap_[row].isNodeRow())
        toggleNode(rowMap_[row].nodeId);
}

void LivePage::onCellDoubleClicked(int row, int column) {
    if (row < 0 || row >= rowMap_.size())
        return;
    if (rowMap_[row].isNodeRow()) {
        // On the icon the first click of the double-click has already toggled the Node.
        if (column != 0)
            toggleNode(rowMap_[row].nodeId);
    } else {
        editCurrentRoom();
    }
}

void LivePage::toggleNode(const QString& nodeId) {
    if (!collapsed_.remove(nodeId))
        collapsed_.insert(nodeId);
    redraw();
    selectNode(nodeId);
}

void LivePage::setAllCollapsed(bool collapsed) {
    if (collapsed) {
        for (const QString& id : filterNodeIds())
            collapsed_.insert(id);
    } else {
        collapsed_.clear();
    }
    redraw();
}

void LivePage::filterToNode(const QString& nodeId) {
    const QSignalBlocker blocker(filter_);
    const int index = nodeId.isEmpty() ? 0 : filter_->findData(nodeId);
    filter_->setCurrentIndex(index < 0 ? 0 : index);
}

std::unique_ptr<QMenu> LivePage::createContextMenu() {
    auto menu = std::make_unique<QMenu>();
    const int row = table_->currentRow();
    const bool validRow = row >= 0 && row < rowMap_.size();
    const bool nodeRow = validRow && rowMap_[row].isNodeRow();
    const QString nodeId = validRow ? rowMap_[row].nodeId : QString();
    const bool roomRow = currentRoom().has_value();

    menu->addAction(QStringLiteral("刷新"), this, [this] { load(true); });
    menu->addAction(QStringLiteral("创建房间"), this, [this, nodeId] { createRoom(nodeId); });
    menu->addAction(QStringLiteral("显示全部"), this, [this] {
        filterToNode(QString());
        redraw();
        load(true);
    });
    if (validRow && shell_.nodeById(nodeId)) {
        menu->addAction(QStringLiteral("只看本节点"), this, [this, nodeId] {
            filterToNode(nodeId);
            redraw();
            load(true);
        });
    }
    if (nodeRow) {
        const bool expanded = !collapsed_.contains(nodeId);
        menu->addAction(expanded ? QStringLiteral("收起") : QStringLiteral("展开"), this,
                        [this, nodeId] { toggleNode(nodeId); });
    }
    if (nodeRow || table_->rowCount() > 0) {
        menu->addAction(QStringLiteral("全展开"), this, [this] { setAllCollapsed(false); });
        menu->addAction(QStringLiteral("全收起"), this, [this] { setAllCollapsed(true); });
    }
    if (nodeRow || roomRow)
        menu->addSeparator();
    const QList<std::pair<QString, void (LivePage::*)()>> roomActions{
        {QStringLiteral("编辑房间"), &LivePage::editCurrentRoom},
        {QStringLiteral("启动推流"), &LivePage::startCurrentPush},
        {QStringLiteral("停止推流"), &LivePage::stopCurrentPush},
        {QStringLiteral("查看日志"), &LivePage::showCurrentLogs},
    };
    for (const auto& [text, action] : roomActions)
        menu->addAction(text, this, action)->setEnabled(roomRow);
    menu->addSeparator();
    menu->addAction(QStringLiteral("删除房间"), this, &LivePage::deleteCurrentRoom)->setEnabled(roomRow);
    return menu;
}

void LivePage::load(bool loud) {
    if (loading_)
        return;
    loading_ = true;
    // Nodes are taken as they stand now and found again by id after every wait, so a Node list that is
    // reloaded meanwhile never tags rooms with another Node's id.
    const QList<fleet::NodeRef> targets = fleet::snapshotFiltered(shell_.nodes(), filter_->selectedNodeId());
    if (loud)
        shell_.setBusy(QStringLiteral("加载直播房间..."), true);
    QList<LiveRoom> fresh;
    QSet<QString> reloaded;
    QStringList cut;
    for (const fleet::NodeRef& target : targets) {
        int status = 0;
        // The reply may hold no more than the rows a page shows, and no more of them are read.
        const QJsonObject reply = net::agentListRequest(target.node, QStringLiteral("/live/rooms"), &status);
        if (!shell_.nodeById(target.id))
            continue;
        reloaded.insert(target.id);
        const net::RequestResult result{status, reply};
        if (result.failed()) {
            loadFailures_.insert(target.id, result.text());
            continue;
        }
        loadFailures_.remove(target.id);
        const fleet::CappedList rooms = fleet::cappedList(reply, QStringLiteral("rooms"));
        if (rooms.isCut())
            cut << nodeLabel(target.node);
        for (const QJsonValue& value : rooms.items)
            fresh.append(streaming::liveRoomFromJson(value.toObject(), target.id));
    }
    // Rooms of Nodes that are gone no longer belong to anything shown.
    QList<LiveRoom> kept;
    for (const LiveRoom& room : std::as_const(rooms_)) {
        if (shell_.nodeById(room.cloudNodeId))
            kept.append(room);
    }
    rooms_ = streaming::mergeLiveRooms(kept, fresh, reloaded);
    redraw();
    loading_ = false;
    loadedOnce_ = true;
    if (loud) {
        shell_.setBusy(QString(), false);
        shell_.setStatusText(fleet::withCutNotice(QStringLiteral("直播房间加载完成"), cut));
    } else if (!cut.isEmpty()) {
        shell_.setStatusText(fleet::listCutNotice(cut));
    }
    pollStatuses();
}

void LivePage::pollStatuses() {
    QList<fleet::PollRequest> requests;
    for (const LiveRoom& room : std::as_const(rooms_)) {
        const Node* node = shell_.nodeById(room.cloudNodeId);
        if (!node || !streaming::isPolled(room))
            continue;
        QNetworkRequest request = net::agentNetworkRequest(
            *node, streaming::roomPath(QStringLiteral("/live/status?roomId="), room.id));
        request.setTransferTimeout(streaming::timing.liveStatusIdleTimeoutMs);
        requests.append({room.key(), request});
    }
    if (requests.isEmpty())
        return;
    shell_.poller(shell::PollKind::LiveStatus)
        .send(
            requests, this,
            [](const fleet::PollReply& reply) {
                return QVariant::fromValue(streaming::parseLiveStatus(reply.status, reply.networkError,
                                                                      reply.errorText, reply.body));
            },
            [this](const fleet::PollReply& reply) { onStatusDelivered(reply.key, reply.value); });
}

void LivePage::onStatusDelivered(const QString& roomKey, const QVariant& value) {
    // Matched by key: a room deleted or merged away while its request waited takes nothing from it.
    const int index = streaming::indexOfLiveRoom(rooms_, roomKey);
    if (index < 0 || !value.canConvert<streaming::LiveStatusReport>())
        return;
    const auto report = value.value<streaming::LiveStatusReport>();
    const bool changed = streaming::applyLiveStatus(rooms_[index], report);
    if (history::FleetHistory* fleet = shell_.fleetHistory()) {
        const LiveRoom& room = rooms_[index];
        fleet->roomPolled({room.key(), room.cloudNodeId, room.name, QDateTime::currentMSecsSinceEpoch(),
                           !report.failed, room.status, room.lastError});
    }
    if (!changed)
        return;
    const int row = rowOfRoom(roomKey);
    if (row >= 0)
        writeRoomRow(row, rooms_[index]);
}

void LivePage::upsertAndShow(const LiveRoom& room) {
    streaming::upsertLiveRoom(rooms_, room);
    redraw();
    selectRoom(room.key());
}

void LivePage::removeRoom(const QString& roomKey) {
    streaming::removeLiveRoom(rooms_, roomKey);
    redraw();
}

void LivePage::reloadRooms() {
    load(false);
}

// Writes the push state that an action set into the room as the list holds it now (a reload
// during the wait may have refreshed the rest of it); a room that is gone meanwhile stays gone.
void LivePage::applyPushState(const LiveRoom& state) {
    const int index = streaming::indexOfLiveRoom(rooms_, state.key());
    if (index < 0)
        return;
    LiveRoom& room = rooms_[index];
    room.status = state.status;
    room.lastError = state.lastError;
    room.liveTaskId = state.liveTaskId;
    room.startedAt = state.startedAt;
    room.stoppedAt = state.stoppedAt;
    room.liveLine = state.liveLine;
    const int row = rowOfRoom(state.key());
    if (row >= 0)
        writeRoomRow(row, room);
}

// The current room, or nothing after telling the user to pick one.
std::optional<LiveRoom> LivePage::chosenRoom() const {
    std::optional<LiveRoom> room = currentRoom();
    if (!room)
        ui::information(shell_.dialogParent(), QStringLiteral("请先选择一个直播房间。"));
    return room;
}

void LivePage::createRoom(const QString& preselectedNodeId) {
    actions_.create(preselectedNodeId.isEmpty() ? filter_->selectedNodeId() : preselectedNodeId);
}

void LivePage::editCurrentRoom() {
    if (const std::optional<LiveRoom> room = chosenRoom())
        actions_.edit(*room);
}

void LivePage::deleteCurrentRoom() {
    if (const std::optional<LiveRoom> room = chosenRoom())
        actions_.remove(*room);
}

void LivePage::startCurrentPush() {
    if (const std::optional<LiveRoom> room = chosenRoom())
        actions_.startPush(*room);
}

void LivePage::stopCurrentPush() {
    if (const std::optional<LiveRoom> room = chosenRoom())
        actions_.stopPush(*room);
}

void LivePage::showCurrentLogs() {
    if (const std::optional<LiveRoom> room = currentRoom())
        actions_.showLogs(*room);
}
