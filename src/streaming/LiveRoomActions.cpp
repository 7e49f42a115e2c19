#include "streaming/LiveRoomActions.h"

#include "history/FleetHistory.h"

#include "app/UiText.h"
#include "net/RequestResult.h"
#include "shell/AgentCall.h"
#include "shell/Shell.h"
#include "streaming/LiveLogDialog.h"
#include "streaming/LivePushStatus.h"
#include "streaming/LiveRoomEditor.h"
#include "ui/Dialogs.h"

#include <QDateTime>
#include <QJsonArray>

namespace streaming {
namespace {

QString nodeUnavailableText() {
    return app::uiText(QStringLiteral("live.logs.nodeUnavailable"));
}

QStringList logLines(const QJsonObject& reply) {
    QStringList lines;
    for (const QJsonValue& value : reply.value(QLatin1String("logs")).toArray())
        lines.append(value.toVariant().toString());
    return lines;
}

} // namespace

LiveRoomActions::LiveRoomActions(shell::Shell& shell, LiveRoomList& list) : shell_(shell), list_(list) {
}

void LiveRoomActions::create(const QString& preselectedNodeId) {
    if (shell_.nodes().isEmpty()) {
        ui::information(shell_.dialogParent(), QStringLiteral("请先导入节点。"));
        return;
    }
    LiveCreateDialog dialog(shell_.nodes(), preselectedNodeId, shell_.dialogParent());
    if (ui::execDialog(dialog) != QDialog::Accepted)
        return;
    const QString name = dialog.roomName();
    const Node* found = shell_.nodeById(dialog.nodeId());
    if (!found)
        return;
    if (name.isEmpty()) {
        ui::warning(shell_.dialogParent(), QStringLiteral("请输入房间名。"));
        return;
    }
    const Node node = *found;
    const std::optional<QJsonObject> reply = shell::callAgent(
        shell_, {QStringLiteral("创建直播房间..."), QStringLiteral("创建房间失败: ")}, node,
        QStringLiteral("POST"), QStringLiteral("/live/rooms"), {{QStringLiteral("name"), name}});
    if (!reply)
        return;
    list_.upsertAndShow(streaming::liveRoomFromJson(reply->value(QLatin1String("room")).toObject(), node.id));
    shell_.setStatusText(QStringLiteral("直播房间创建完成"));
}

void LiveRoomActions::edit(const LiveRoom& room) {
    LiveRoomEditor editor(shell_, room, shell_.dialogParent());
    editor.loadInitialLists();
    if (ui::execDialog(editor) != QDialog::Accepted)
        return;
    const streaming::EditorValues values = editor.values();
    const QString refusal = streaming::editorRefusal(values);
    if (!refusal.isEmpty()) {
        ui::warning(shell_.dialogParent(), refusal);
        return;
    }
    const QString nodeId = editor.chosenNodeId();
    const QString failureLead = QStringLiteral("保存房间失败: ");
    const Node* found = shell_.nodeById(nodeId);
    if (!found) {
        ui::warning(shell_.dialogParent(), failureLead + QStringLiteral("房间没有绑定可用节点"));
        return;
    }
    const Node node = *found;
    const std::optional<QJsonObject> reply = shell::callAgent(
        shell_, {QStringLiteral("保存直播房间..."), failureLead}, node, QStringLiteral("PUT"),
        streaming::roomPath(QStringLiteral("/live/rooms/"), room.id), streaming::editorBody(values));
    if (!reply)
        return;
    LiveRoom saved = streaming::liveRoomFromJson(reply->value(QLatin1String("room")).toObject(), nodeId);
    if (saved.id.isEmpty()) {
        // An Agent that answers without the room: show what it holds now.
        list_.reloadRooms();
    } else {
        const int index = streaming::indexOfLiveRoom(list_.rooms(), saved.key());
        if (index >= 0)
            saved.liveLine = list_.rooms()[index].liveLine;
        list_.upsertAndShow(saved);
    }
    shell_.setStatusText(QStringLiteral("直播房间保存完成"));
}

void LiveRoomActions::remove(const LiveRoom& room) {
    if (!ui::question(shell_.dialogParent(), streaming::deleteRoomQuestion(room)))
        return;
    const std::optional<Node> found = nodeOfRoom(room);
    if (!found)
        return;
    const Node node = *found;
    if (!shell::callAgent(shell_, {QStringLiteral("删除直播房间..."), QStringLiteral("删除房间失败: ")}, node,
                          QStringLiteral("DELETE"),
                          streaming::roomPath(QStringLiteral("/live/rooms/"), room.id)))
        return;
    list_.removeRoom(room.key());
    shell_.setStatusText(QStringLiteral("直播房间已删除"));
}

std::optional<Node> LiveRoomActions::nodeOfRoom(const LiveRoom& room) const {
    const Node* found = shell_.nodeById(room.cloudNodeId);
    if (!found) {
        ui::warning(shell_.dialogParent(), nodeUnavailableText());
        return std::nullopt;
    }
    return *found;
}

QString LiveRoomActions::saveRoomState(const LiveRoom& room, const QJsonObject& patch) {
    const Node* found = shell_.nodeById(room.cloudNodeId);
    if (!found)
        return nodeUnavailableText();
    const Node node = *found;
    const net::RequestResult result = net::agentCall(
        node, QStringLiteral("PUT"), streaming::roomPath(QStringLiteral("/live/rooms/"), room.id),
        streaming::roomUpdateBody(room, patch));
    return result.failed() ? result.text() : QString();
}

bool LiveRoomActions::ensureFfmpeg(const Node& node) {
    const net::RequestResult result =
        net::agentCall(node, QStringLiteral("GET"), QStringLiteral("/ffmpeg/status"));
    switch (streaming::ffmpegState(result.status, result.reply)) {
    case streaming::FfmpegState::Installed:
        return true;
    case streaming::FfmpegState::Unreachable:
        ui::warning(shell_.dialogParent(), QStringLiteral("检测 ffmpeg 失败: ") + result.text());
        return false;
    case streaming::FfmpegState::Missing:
        break;
    }
    if (!ui::question(shell_.dialogParent(), QStringLiteral("当前节点没有检测到 ffmpeg，是否立即安装？")))
        return false;
    shell_.setBusyText(QStringLiteral("正在安装 ffmpeg..."));
    const net::RequestResult installed =
        net::agentCall(node, QStringLiteral("POST"), QStringLiteral("/ffmpeg/install"));
    const QString failure = streaming::ffmpegInstallFailure(installed.status, installed.reply);
    if (!failure.isEmpty()) {
        ui::warning(shell_.dialogParent(), QStringLiteral("安装 ffmpeg 失败: ") + failure);
        return false;
    }
    shell_.setStatusText(QStringLiteral("ffmpeg 安装请求完成"));
    return true;
}

void LiveRoomActions::startPush(LiveRoom room) {
    const Node* found = shell_.nodeById(room.cloudNodeId);
    const QString refusal = streaming::startRefusal(room, found != nullptr);
    if (!refusal.isEmpty()) {
        ui::warning(shell_.dialogParent(), refusal);
        return;
    }
    const Node node = *found;
    QString failure;
    {
        shell::BusyScope busy(shell_, QStringLiteral("启动直播推流..."));
        if (!ensureFfmpeg(node))
            return;
        shell_.setBusyText(QStringLiteral("启动直播推流..."));
        const QJsonObject body{
            {QStringLiteral("roomId"), room.id},
            {QStringLiteral("name"), room.name},
            {QStringLiteral("inputPath"), room.videoPath},
            {QStringLiteral("sourceUrl"), room.sourceUrl},
            {QStringLiteral("pushUrl"), room.pushUrl},
            {QStringLiteral("loop"), room.loopEnabled},
            {QStringLiteral("mode"), streaming::effectiveMode(room.streamMode)},
            {QStringLiteral("audioFolder"), room.audioFolder},
            {QStringLiteral("muteVideoAudio"), room.muteVideoAudio},
        };
        const net::RequestResult result =
            net::agentCall(node, QStringLiteral("POST"), QStringLiteral("/live/start"), body);
        QJsonObject patch;
        if (streaming::startAccepted(result.status, result.reply)) {
            room.status = QStringLiteral("streaming");
            room.lastError.clear();
            room.liveTaskId = room.id;
            room.startedAt = QDateTime::currentSecsSinceEpoch();
            patch = {{QStringLiteral("status"), room.status},
                     {QStringLiteral("lastError"), QString()},
                     {QStringLiteral("liveTaskId"), room.liveTaskId},
                     {QStringLiteral("startedAt"), room.startedAt}};
        } else {
            failure = result.text();
            room.status = QStringLiteral("error");
            room.lastError = failure;
            patch = {{QStringLiteral("status"), room.status}, {QStringLiteral("lastError"), failure}};
        }
        list_.applyPushState(room);
        // The push runs whatever the save says; a failed save only means the Agent's record lags.
        saveRoomState(room, patch);
    }
    if (!failure.isEmpty()) {
        ui::warning(shell_.dialogParent(), QStringLiteral("启动推流失败: ") + failure);
        return;
    }
    shell_.setStatusText(QStringLiteral("直播推流已启动"));
}

void LiveRoomActions::stopPush(LiveRoom room) {
    // Ending a broadcast is not undone by starting again: viewers drop off, so ask first.
    if (!ui::question(shell_.dialogParent(), streaming::stopPushQuestion(room)))
        return;
    const std::optional<Node> found = nodeOfRoom(room);
    if (!found)
        return;
    const Node node = *found;
    QString failure;
    // Told before the request: a status poll answered while the stop is on its way already sees the
    // push ended, and that end is the user's, not an interruption.
    history::FleetHistory* fleet = shell_.fleetHistory();
    if (fleet)
        fleet->userStopped(room.key());
    {
        shell::BusyScope busy(shell_, QStringLiteral("停止直播推流..."));
        const net::RequestResult result =
            net::agentCall(node, QStringLiteral("POST"), QStringLiteral("/live/stop"),
                           {{QStringLiteral("roomId"), room.id}});
        if (!streaming::stopAccepted(result.status)) {
            failure = result.text();
            if (fleet)
                fleet->stopRefused(room.key());
        } else {
            room.status = QStringLiteral("stopped");
            room.stoppedAt = QDateTime::currentSecsSinceEpoch();
            room.liveLine.clear();
            list_.applyPushState(room);
            saveRoomState(room, {{QStringLiteral("status"), room.status},
                                 {QStringLiteral("stoppedAt"), room.stoppedAt}});
        }
    }
    if (!failure.isEmpty()) {
        ui::warning(shell_.dialogParent(), QStringLiteral("停止推流失败: ") + failure);
        return;
    }
    shell_.setStatusText(QStringLiteral("直播推流已停止"));
}

void LiveRoomActions::showLogs(const LiveRoom& room) {
    const std::optional<Node> found = nodeOfRoom(room);
    if (!found)
        return;
    const Node node = *found;
    const QString path = streaming::roomPath(QStringLiteral("/live/logs?roomId="), room.id);
    QStringList events;
    QStringList ffmpeg;
    {
        shell::BusyScope busy(shell_, QStringLiteral("读取直播日志..."));
        const net::RequestResult result = net::agentCall(node, QStringLiteral("GET"), path);
        if (shell::warnIfFailed(shell_.dialogParent(), app::uiText(QStringLiteral("live.logs.readFailed")),
                                result))
            return;
        for (const QString& line : logLines(result.reply))
            events << streaming::readableEventLine(line);
        const net::RequestResult ffmpegResult =
            net::agentCall(node, QStringLiteral("GET"), path + QStringLiteral("&type=ffmpeg"));
        ffmpeg = ffmpegResult.failed() ? QStringList{ffmpegResult.text()} : logLines(ffmpegResult.reply);
    }
    LiveLogDialog dialog(room.name, events, ffmpeg, shell_.dialogParent());
    ui::execDialog(dialog);
}

} // namespace streaming
