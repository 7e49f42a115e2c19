// The live page's user actions: create, edit, delete, start and stop a push, read its logs. Each
// works on a copy of the room taken when it starts and finds the room again by key after every wait.
#include "streaming/AgentReply.h"
#include "streaming/LivePage.h"

#include "app/UiText.h"
#include "net/RequestLayer.h"
#include "shell/NodeFilterCombo.h"
#include "shell/Shell.h"
#include "streaming/LiveLogDialog.h"
#include "streaming/LivePushStatus.h"
#include "streaming/LiveRoomEditor.h"
#include "ui/Dialogs.h"

#include <QDateTime>
#include <QJsonArray>

using streaming::LiveRoom;

namespace {

const QString kNoRoomSelected = QStringLiteral("请先选择一个直播房间。");

QString nodeUnavailableText() {
    return app::uiText(QStringLiteral("live.logs.nodeUnavailable"));
}

QStringList logLines(const QJsonObject& reply) {
    QStringList lines;
    for (const QJsonValue& value : reply.value(QLatin1String("logs")).toArray())
        lines.append(value.toVariant().toString());
    return lines;
}

// Keeps the busy overlay up for the whole of one user action.
class BusyScope {
public:
    BusyScope(shell::Shell& shell, const QString& text) : shell_(shell) { shell_.setBusy(text, true); }
    ~BusyScope() { shell_.setBusy(QString(), false); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    shell::Shell& shell_;
};

} // namespace

// The current room, or nothing after telling the user to pick one.
std::optional<LiveRoom> LivePage::chosenRoom() const {
    std::optional<LiveRoom> room = currentRoom();
    if (!room)
        ui::information(shell_.dialogParent(), kNoRoomSelected);
    return room;
}

void LivePage::createRoom(const QString& preselectedNodeId) {
    if (shell_.nodes().isEmpty()) {
        ui::information(shell_.dialogParent(), QStringLiteral("请先导入节点。"));
        return;
    }
    const QString preselected = preselectedNodeId.isEmpty() ? filter_->selectedNodeId() : preselectedNodeId;
    LiveCreateDialog dialog(shell_.nodes(), preselected, shell_.dialogParent());
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
    int status = 0;
    QJsonObject reply;
    {
        BusyScope busy(shell_, QStringLiteral("创建直播房间..."));
        reply = net::agentRequest(node, QStringLiteral("POST"), QStringLiteral("/live/rooms"),
                                  {{QStringLiteral("name"), name}}, &status);
    }
    if (streaming::warnIfFailed(shell_.dialogParent(), QStringLiteral("创建房间失败: "), status, reply))
        return;
    upsertAndShow(streaming::liveRoomFromJson(reply.value(QLatin1String("room")).toObject(), node.id));
    shell_.setStatusText(QStringLiteral("直播房间创建完成"));
}

void LivePage::editCurrentRoom() {
    const std::optional<LiveRoom> room = chosenRoom();
    if (!room)
        return;
    LiveRoomEditor editor(shell_, *room, shell_.dialogParent());
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
    const Node* found = shell_.nodeById(nodeId);
    int status = 0;
    QJsonObject reply{{QStringLiteral("error"), QStringLiteral("房间没有绑定可用节点")}};
    if (found) {
        const Node node = *found;
        BusyScope busy(shell_, QStringLiteral("保存直播房间..."));
        reply = net::agentRequest(node, QStringLiteral("PUT"),
                                  streaming::roomPath(QStringLiteral("/live/rooms/"), room->id),
                                  streaming::editorBody(values), &status);
    }
    if (streaming::warnIfFailed(shell_.dialogParent(), QStringLiteral("保存房间失败: "), status, reply))
        return;
    LiveRoom saved = streaming::liveRoomFromJson(reply.value(QLatin1String("room")).toObject(), nodeId);
    if (saved.id.isEmpty()) {
        // An Agent that answers without the room: show what it holds now.
        load(false);
    } else {
        const int index = streaming::indexOfLiveRoom(rooms_, saved.key());
        if (index >= 0)
            saved.liveLine = rooms_[index].liveLine;
        upsertAndShow(saved);
    }
    shell_.setStatusText(QStringLiteral("直播房间保存完成"));
}

void LivePage::deleteCurrentRoom() {
    const std::optional<LiveRoom> room = chosenRoom();
    if (!room)
        return;
    if (!ui::question(shell_.dialogParent(),
                      QStringLiteral("确定删除直播房间 ") + room->name + QStringLiteral(" ?")))
        return;
    const std::optional<Node> found = nodeOfRoom(*room);
    if (!found)
        return;
    const Node node = *found;
    int status = 0;
    QJsonObject reply;
    {
        BusyScope busy(shell_, QStringLiteral("删除直播房间..."));
        reply = net::agentRequest(node, QStringLiteral("DELETE"),
                                  streaming::roomPath(QStringLiteral("/live/rooms/"), room->id),
                                  QJsonObject(), &status);
    }
    if (streaming::warnIfFailed(shell_.dialogParent(), QStringLiteral("删除房间失败: "), status, reply))
        return;
    streaming::removeLiveRoom(rooms_, room->key());
    redraw();
    shell_.setStatusText(QStringLiteral("直播房间已删除"));
}

std::optional<Node> LivePage::nodeOfRoom(const LiveRoom& room) const {
    const Node* found = shell_.nodeById(room.cloudNodeId);
    if (!found) {
        ui::warning(shell_.dialogParent(), nodeUnavailableText());
        return std::nullopt;
    }
    return *found;
}

QString LivePage::saveRoomState(const LiveRoom& room, const QJsonObject& patch) {
    const Node* found = shell_.nodeById(room.cloudNodeId);
    if (!found)
        return nodeUnavailableText();
    const Node node = *found;
    int status = 0;
    const QJsonObject reply = net::agentRequest(node, QStringLiteral("PUT"),
                                                streaming::roomPath(QStringLiteral("/live/rooms/"), room.id),
                                                streaming::roomUpdateBody(room, patch), &status);
    return streaming::isFailedReply(status, reply) ? streaming::failureText(reply, status) : QString();
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

bool LivePage::ensureFfmpeg(const Node& node) {
    int status = 0;
    const QJsonObject reply = net::agentRequest(node, QStringLiteral("GET"), QStringLiteral("/ffmpeg/status"),
                                                QJsonObject(), &status);
    switch (streaming::ffmpegState(status, reply)) {
    case streaming::FfmpegState::Installed:
        return true;
    case streaming::FfmpegState::Unreachable:
        ui::warning(shell_.dialogParent(),
                    QStringLiteral("检测 ffmpeg 失败: ") + streaming::failureText(reply, status));
        return false;
    case streaming::FfmpegState::Missing:
        break;
    }
    if (!ui::question(shell_.dialogParent(), QStringLiteral("当前节点没有检测到 ffmpeg，是否立即安装？")))
        return false;
    shell_.setBusyText(QStringLiteral("正在安装 ffmpeg..."));
    int installStatus = 0;
    const QJsonObject installed = net::agentRequest(
        node, QStringLiteral("POST"), QStringLiteral("/ffmpeg/install"), QJsonObject(), &installStatus);
    const QString failure = streaming::ffmpegInstallFailure(installStatus, installed);
    if (!failure.isEmpty()) {
        ui::warning(shell_.dialogParent(), QStringLiteral("安装 ffmpeg 失败: ") + failure);
        return false;
    }
    shell_.setStatusText(QStringLiteral("ffmpeg 安装请求完成"));
    return true;
}

void LivePage::startCurrentPush() {
    std::optional<LiveRoom> room = chosenRoom();
    if (!room)
        return;
    const Node* found = shell_.nodeById(room->cloudNodeId);
    const QString refusal = streaming::startRefusal(*room, found != nullptr);
    if (!refusal.isEmpty()) {
        ui::warning(shell_.dialogParent(), refusal);
        return;
    }
    const Node node = *found;
    QString failure;
    {
        BusyScope busy(shell_, QStringLiteral("启动直播推流..."));
        if (!ensureFfmpeg(node))
            return;
        shell_.setBusyText(QStringLiteral("启动直播推流..."));
        const QJsonObject body{
            {QStringLiteral("roomId"), room->id},
            {QStringLiteral("name"), room->name},
            {QStringLiteral("inputPath"), room->videoPath},
            {QStringLiteral("sourceUrl"), room->sourceUrl},
            {QStringLiteral("pushUrl"), room->pushUrl},
            {QStringLiteral("loop"), room->loopEnabled},
            {QStringLiteral("mode"), streaming::effectiveMode(room->streamMode)},
            {QStringLiteral("audioFolder"), room->audioFolder},
            {QStringLiteral("muteVideoAudio"), room->muteVideoAudio},
        };
        int status = 0;
        const QJsonObject reply =
            net::agentRequest(node, QStringLiteral("POST"), QStringLiteral("/live/start"), body, &status);
        QJsonObject patch;
        if (streaming::startAccepted(status, reply)) {
            room->status = QStringLiteral("streaming");
            room->lastError.clear();
            room->liveTaskId = room->id;
            room->startedAt = QDateTime::currentSecsSinceEpoch();
            patch = {{QStringLiteral("status"), room->status},
                     {QStringLiteral("lastError"), QString()},
                     {QStringLiteral("liveTaskId"), room->liveTaskId},
                     {QStringLiteral("startedAt"), room->startedAt}};
        } else {
            failure = streaming::failureText(reply, status);
            room->status = QStringLiteral("error");
            room->lastError = failure;
            patch = {{QStringLiteral("status"), room->status}, {QStringLiteral("lastError"), failure}};
        }
        applyPushState(*room);
        // The push runs whatever the save says; a failed save only means the Agent's record lags.
        saveRoomState(*room, patch);
    }
    if (!failure.isEmpty()) {
        ui::warning(shell_.dialogParent(), QStringLiteral("启动推流失败: ") + failure);
        return;
    }
    shell_.setStatusText(QStringLiteral("直播推流已启动"));
}

void LivePage::stopCurrentPush() {
    std::optional<LiveRoom> room = chosenRoom();
    if (!room)
        return;
    const std::optional<Node> found = nodeOfRoom(*room);
    if (!found)
        return;
    const Node node = *found;
    QString failure;
    {
        BusyScope busy(shell_, QStringLiteral("停止直播推流..."));
        int status = 0;
        const QJsonObject reply =
            net::agentRequest(node, QStringLiteral("POST"), QStringLiteral("/live/stop"),
                              {{QStringLiteral("roomId"), room->id}}, &status);
        if (!streaming::stopAccepted(status)) {
            failure = streaming::failureText(reply, status);
        } else {
            room->status = QStringLiteral("stopped");
            room->stoppedAt = QDateTime::currentSecsSinceEpoch();
            room->liveLine.clear();
            applyPushState(*room);
            saveRoomState(*room, {{QStringLiteral("status"), room->status},
                                  {QStringLiteral("stoppedAt"), room->stoppedAt}});
        }
    }
    if (!failure.isEmpty()) {
        ui::warning(shell_.dialogParent(), QStringLiteral("停止推流失败: ") + failure);
        return;
    }
    shell_.setStatusText(QStringLiteral("直播推流已停止"));
}

void LivePage::showCurrentLogs() {
    const std::optional<LiveRoom> room = currentRoom();
    if (!room)
        return;
    const std::optional<Node> found = nodeOfRoom(*room);
    if (!found)
        return;
    const Node node = *found;
    const QString path = streaming::roomPath(QStringLiteral("/live/logs?roomId="), room->id);
    QStringList events;
    QStringList ffmpeg;
    {
        BusyScope busy(shell_, QStringLiteral("读取直播日志..."));
        int status = 0;
        const QJsonObject reply =
            net::agentRequest(node, QStringLiteral("GET"), path, QJsonObject(), &status);
        if (streaming::warnIfFailed(shell_.dialogParent(),
                                    app::uiText(QStringLiteral("live.logs.readFailed")), status, reply))
            return;
        events = logLines(reply);
        const QJsonObject ffmpegReply = net::agentRequest(
            node, QStringLiteral("GET"), path + QStringLiteral("&type=ffmpeg"), QJsonObject(), &status);
        ffmpeg = streaming::isFailedReply(status, ffmpegReply)
                     ? QStringList{streaming::failureText(ffmpegReply, status)}
                     : logLines(ffmpegReply);
    }
    LiveLogDialog dialog(room->name, events, ffmpeg, shell_.dialogParent());
    ui::execDialog(dialog);
}
