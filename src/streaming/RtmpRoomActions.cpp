#include "streaming/RtmpRoomActions.h"

#include "net/RequestLayer.h"
#include "net/RequestResult.h"
#include "shell/AgentCall.h"
#include "shell/Shell.h"
#include "streaming/RtmpRoomDialog.h"
#include "ui/Dialogs.h"

namespace streaming {

RtmpNodeTag rtmpNodeTag(const shell::Shell& shell, const QString& nodeId) {
    const int index = shell.indexOfNode(nodeId);
    if (index < 0)
        return {};
    return {index, nodeId, nodeLabel(shell.nodes()[index])};
}

RtmpRoomActions::RtmpRoomActions(shell::Shell& shell, RtmpRoomRows& rows) : shell_(shell), rows_(rows) {
}

void RtmpRoomActions::create(const QString& preselectedNodeId) {
    if (shell_.nodes().isEmpty()) {
        ui::information(shell_.dialogParent(), QStringLiteral("请先导入节点。"));
        return;
    }
    const std::optional<RtmpRoomInput> input =
        askRtmpRoom(shell_.dialogParent(), shell_.nodes(), nullptr, preselectedNodeId);
    if (!input)
        return;
    const int nodeRow = shell_.indexOfNode(input->nodeId);
    if (nodeRow < 0) {
        ui::information(shell_.dialogParent(), QStringLiteral("请先选择节点。"));
        return;
    }
    const fleet::NodeRef node{nodeRow, input->nodeId, shell_.nodes()[nodeRow]};
    shell::BusyScope busy(shell_, QStringLiteral("创建 RTMP 房间..."));
    const net::RequestResult result =
        net::agentCall(node.node, QStringLiteral("POST"), QStringLiteral("/rtmp/rooms"),
                       {{"name", input->name}, {"enabled", input->enabled}});
    if (shell::warnIfFailed(shell_.dialogParent(), QStringLiteral("创建 RTMP 房间失败: "), result))
        return;
    upsertFromReply(node, result.reply, nullptr);
    busy.finish(QStringLiteral("RTMP 房间创建完成"));
}

void RtmpRoomActions::edit(const RtmpRoomTarget& target, const QString& preselectedNodeId) {
    const std::optional<RtmpRoomInput> input =
        askRtmpRoom(shell_.dialogParent(), shell_.nodes(), &target.room, preselectedNodeId);
    if (!input)
        return;
    shell::BusyScope busy(shell_, QStringLiteral("保存 RTMP 房间..."));
    const net::RequestResult result =
        net::agentCall(target.node.node, QStringLiteral("PUT"), rtmpRoomPath(target.room.id),
                       {{"name", input->name}, {"enabled", input->enabled}, {"roomKey", input->roomKey}});
    if (shell::warnIfFailed(shell_.dialogParent(), QStringLiteral("保存 RTMP 房间失败: "), result))
        return;
    upsertFromReply(target.node, result.reply, &target.room);
    busy.finish(QStringLiteral("RTMP 房间保存完成"));
}

void RtmpRoomActions::switchRoom(const RtmpRoomTarget& target, const QString& action) {
    const QString progress = action == QLatin1String("enable")    ? QStringLiteral("启用 RTMP 房间...")
                             : action == QLatin1String("disable") ? QStringLiteral("禁用 RTMP 房间...")
                                                                  : QStringLiteral("重置 RTMP 房间 Key...");
    shell::BusyScope busy(shell_, progress);
    const net::RequestResult result =
        net::agentCall(target.node.node, QStringLiteral("POST"), rtmpRoomPath(target.room.id, action));
    if (shell::warnIfFailed(shell_.dialogParent(), QStringLiteral("RTMP 房间请求失败: "), result))
        return;
    upsertFromReply(target.node, result.reply, &target.room);
    busy.finish(QStringLiteral("RTMP 房间请求完成"));
}

// The Node is found again by id after the wait; when the status cannot be read the row keeps its
// previous state.
void RtmpRoomActions::upsertFromReply(const fleet::NodeRef& node, const QJsonObject& room,
                                      const RtmpRoom* previous) {
    int status = 0;
    const QJsonObject statusReply =
        net::agentRequest(node.node, QStringLiteral("GET"), QStringLiteral("/rtmp/status"), {}, &status);
    const RtmpNodeTag tag = rtmpNodeTag(shell_, node.id);
    if (tag.index < 0)
        return;
    RtmpRoom fresh = parseRtmpRoom(room, statusReply, tag);
    if (status < 1 || status > 299) {
        fresh.running = previous && previous->running;
        fresh.installed = previous && previous->installed;
        fresh.version = previous ? previous->version : QString();
        fresh.error = net::describeFailure(statusReply, status);
    }
    if (fresh.isServiceRow()) { // an answer without the room: read the Node's rooms again instead
        rows_.reloadRooms();
        return;
    }
    rows_.adoptRoom(fresh);
}

void RtmpRoomActions::remove(const RtmpRoomTarget& target) {
    if (!ui::question(shell_.dialogParent(), rtmpDeleteQuestion(target.room)))
        return;
    shell::BusyScope busy(shell_, QStringLiteral("删除 RTMP 房间..."));
    const net::RequestResult result =
        net::agentCall(target.node.node, QStringLiteral("DELETE"), rtmpRoomPath(target.room.id));
    if (shell::warnIfFailed(shell_.dialogParent(), QStringLiteral("删除 RTMP 房间失败: "), result))
        return;
    // A Node list reload during the wait may have given its Node another index, which the row key holds.
    RtmpRoom removed = target.room;
    removed.nodeIndex = shell_.indexOfNode(removed.nodeId);
    rows_.removeRoom(removed);
    busy.finish(QStringLiteral("RTMP 房间已删除"));
}

void RtmpRoomActions::viewLog(const fleet::NodeRef& node) {
    const net::RequestResult result =
        net::agentCall(node.node, QStringLiteral("GET"), QStringLiteral("/rtmp/logs"));
    showRtmpLog(shell_.dialogParent(),
                result.failed() ? result.text() : result.reply.value(QLatin1String("logs")).toString());
}

} // namespace streaming
