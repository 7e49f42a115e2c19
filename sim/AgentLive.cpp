#include "AgentService.h"
#include "SimUtil.h"

#include <httplib.h>

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

namespace sim::detail {
namespace {

const QString kFileMode = QStringLiteral("file_to_rtmp");
const QString kAudioMode = QStringLiteral("video_random_audio_to_rtmp");
const QString kPullMode = QStringLiteral("pull_stream_to_rtmp");
const QStringList kStatuses = {QStringLiteral("draft"),     QStringLiteral("configured"),
                               QStringLiteral("streaming"), QStringLiteral("retrying"),
                               QStringLiteral("stopped"),   QStringLiteral("error")};
const QStringList kEditableKeys = {
    QStringLiteral("name"),       QStringLiteral("videoPath"),   QStringLiteral("sourceUrl"),
    QStringLiteral("streamMode"), QStringLiteral("audioFolder"), QStringLiteral("muteVideoAudio"),
    QStringLiteral("pushUrl"),    QStringLiteral("loopEnabled"), QStringLiteral("status"),
    QStringLiteral("lastError"),  QStringLiteral("liveTaskId"),  QStringLiteral("startedAt"),
    QStringLiteral("stoppedAt"),  QStringLiteral("cloudNodeId")};

QString clock(qint64 ms) {
    const qint64 us = ms * 1000;
    return QStringLiteral("%1:%2:%3.%4")
        .arg(us / 3600000000, 2, 10, QLatin1Char('0'))
        .arg(us / 60000000 % 60, 2, 10, QLatin1Char('0'))
        .arg(us / 1000000 % 60, 2, 10, QLatin1Char('0'))
        .arg(us % 1000000, 6, 10, QLatin1Char('0'));
}

bool isConfigured(const QJsonObject& room) {
    const QString mode = textOf(room, "streamMode");
    if (textOf(room, "pushUrl").isEmpty())
        return false;
    if (mode == kPullMode)
        return !textOf(room, "sourceUrl").isEmpty();
    if (textOf(room, "videoPath").isEmpty())
        return false;
    return mode != kAudioMode || !textOf(room, "audioFolder").isEmpty();
}

} // namespace

AgentService::LiveRoom* AgentService::findLiveLocked(const QString& id) {
    for (auto& room : liveRooms_)
        if (textOf(room.fields, "id") == id)
            return &room;
    return nullptr;
}

void AgentService::logEventLocked(LiveRoom& room, const QString& text) {
    room.events.append(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) + text);
    while (room.events.size() > 200)
        room.events.removeFirst();
}

void AgentService::refreshPushLocked(LiveRoom& room, qint64 nowMs) {
    if (room.push.retryNextAtMs > 0 && nowMs >= room.push.retryNextAtMs) {
        room.push = {true, nowMs, 0, 0, QString()};
        room.fields.insert(QStringLiteral("status"), QStringLiteral("streaming"));
        logEventLocked(room, QStringLiteral("自动重启推流"));
    }
}

void AgentService::stopPushLocked(LiveRoom& room, const QString& status, const QString& error) {
    room.push.running = false;
    room.push.retryNextAtMs = 0;
    room.push.retryDelaySeconds = 0;
    room.push.error = error;
    room.fields.insert(QStringLiteral("status"), status);
    room.fields.insert(QStringLiteral("lastError"), error);
    room.fields.insert(QStringLiteral("stoppedAt"), nowMs());
}

QJsonObject AgentService::liveStatusLocked(LiveRoom& room, qint64 nowMs) {
    refreshPushLocked(room, nowMs);
    const LivePush& push = room.push;
    QJsonObject progress;
    if (push.running) {
        const qint64 elapsed = nowMs - push.startedMs;
        const double jitter = (elapsed / 700 % 7) * 0.03;
        progress =
            QJsonObject{{QStringLiteral("frame"), QString::number(elapsed * 30 / 1000)},
                        {QStringLiteral("fps"), QString::number(29.9 + jitter, 'f', 2)},
                        {QStringLiteral("bitrate"),
                         QStringLiteral("%1kbits/s").arg(double(2480 + (elapsed / 1000 % 40)), 0, 'f', 1)},
                        {QStringLiteral("total_size"), QString::number(elapsed * 310)},
                        {QStringLiteral("speed"), QStringLiteral("%1x").arg(1.0 + jitter / 10, 0, 'f', 2)},
                        {QStringLiteral("out_time"), clock(elapsed)},
                        {QStringLiteral("out_time_ms"), QString::number(elapsed * 1000)},
                        {QStringLiteral("progress"), QStringLiteral("continue")}};
    } else {
        progress = QJsonObject{{QStringLiteral("fps"), QStringLiteral("N/A")},
                               {QStringLiteral("bitrate"), QStringLiteral("N/A")},
                               {QStringLiteral("speed"), QString()},
                               {QStringLiteral("out_time"), QString()},
                               {QStringLiteral("out_time_ms"), QString()}};
    }
    const bool retrying = push.retryNextAtMs > 0;
    return {{QStringLiteral("roomId"), textOf(room.fields, "id")},
            {QStringLiteral("running"), push.running},
            {QStringLiteral("retrying"), retrying},
            {QStringLiteral("retryDelaySeconds"), retrying ? push.retryDelaySeconds : 0},
            {QStringLiteral("retryNextAt"), retrying ? push.retryNextAtMs : 0},
            {QStringLiteral("status"), room.fields.value(QStringLiteral("status"))},
            {QStringLiteral("error"), push.error},
            {QStringLiteral("progress"), progress}};
}

QString AgentService::startPushLocked(LiveRoom& room, const QJsonObject& request) {
    const QString mode = textOf(request, "mode").isEmpty() ? kFileMode : textOf(request, "mode");
    const QString push = textOf(request, "pushUrl").trimmed();
    if (!ffmpeg_.installed)
        return QStringLiteral("ffmpeg 未安装");
    if (!push.startsWith(QLatin1String("rtmp://")) && !push.startsWith(QLatin1String("rtmps://")))
        return QStringLiteral("推流地址必须以 rtmp:// 或 rtmps:// 开头");
    if (mode == kPullMode) {
        const QString source = textOf(request, "sourceUrl").trimmed();
        if (source.isEmpty())
            return QStringLiteral("拉流地址不能为空");
        if (source.compare(push, Qt::CaseInsensitive) == 0)
            return QStringLiteral("拉流地址和推流地址不能相同");
    } else if (mode == kFileMode || mode == kAudioMode) {
        const QString input = textOf(request, "inputPath").trimmed();
        if (input.isEmpty() || input.contains(QLatin1String("..")) ||
            !QFileInfo(videoDir() + QLatin1Char('/') + input).isFile()) {
            bool found = false;
            QDirIterator it(videoDir(), QDir::Files, QDirIterator::Subdirectories);
            while (isPlainName(input) && !found && it.hasNext())
                found = QFileInfo(it.next()).fileName() == input;
            if (!found)
                return QStringLiteral("视频文件不存在: ") + input;
        }
        if (mode == kAudioMode) {
            const QString folder = textOf(request, "audioFolder").trimmed();
            if (!isPlainName(folder) ||
                QDir(audioDir() + QLatin1Char('/') + folder).entryList(QDir::Files).isEmpty())
                return QStringLiteral("音频目录不存在或为空: ") + folder;
        }
    } else {
        return QStringLiteral("未知推流模式: ") + mode;
    }
    room.push = {true, nowMs(), 0, 0, QString()};
    room.fields.insert(QStringLiteral("status"), QStringLiteral("streaming"));
    room.fields.insert(QStringLiteral("lastError"), QString());
    room.fields.insert(QStringLiteral("liveTaskId"), textOf(room.fields, "id"));
    room.fields.insert(QStringLiteral("startedAt"), nowMs());
    const QString input = mode == kPullMode ? textOf(request, "sourceUrl") : textOf(request, "inputPath");
    room.ffmpegLog = {
        QStringLiteral("ffmpeg version %1 Copyright (c) 2000-2024 the FFmpeg developers")
            .arg(ffmpeg_.version),
        QStringLiteral("Input #0, %1, from '%2':")
            .arg(mode == kPullMode ? QStringLiteral("flv") : QStringLiteral("mov,mp4,m4a,3gp,3g2,mj2"),
                 input),
        QStringLiteral("  Stream #0:0: Video: h264 (High), yuv420p, 1920x1080, 30 fps"),
        QStringLiteral("Output #0, flv, to '%1':").arg(push),
        QStringLiteral("Press [q] to stop, [?] for help")};
    logEventLocked(room, QStringLiteral("开始推流 (%1) -> %2").arg(mode, push));
    return {};
}

QJsonObject AgentService::addLiveRoom(const QJsonObject& room) {
    std::lock_guard lock(mutex_);
    LiveRoom live;
    live.fields = {{QStringLiteral("id"), randomToken(12)},
                   {QStringLiteral("name"), textOf(room, "name")},
                   {QStringLiteral("cloudNodeId"), room.contains(QStringLiteral("cloudNodeId"))
                                                       ? textOf(room, "cloudNodeId")
                                                       : boundNodeId_},
                   {QStringLiteral("videoPath"), QString()},
                   {QStringLiteral("sourceUrl"), QString()},
                   {QStringLiteral("streamMode"), kFileMode},
                   {QStringLiteral("audioFolder"), QString()},
                   {QStringLiteral("muteVideoAudio"), true},
                   {QStringLiteral("pushUrl"), QString()},
                   {QStringLiteral("loopEnabled"), true},
                   {QStringLiteral("status"), QStringLiteral("draft")},
                   {QStringLiteral("lastError"), QString()},
                   {QStringLiteral("liveTaskId"), QString()},
                   {QStringLiteral("createdAt"), nowSecs()},
                   {QStringLiteral("updatedAt"), nowSecs()},
                   {QStringLiteral("startedAt"), 0},
                   {QStringLiteral("stoppedAt"), 0}};
    for (const QString& key : kEditableKeys)
        if (room.contains(key))
            live.fields.insert(key, room.value(key));
    if (textOf(live.fields, "status") == QLatin1String("draft") && isConfigured(live.fields))
        live.fields.insert(QStringLiteral("status"), QStringLiteral("configured"));
    if (textOf(live.fields, "status") == QLatin1String("streaming")) {
        live.push = {true, nowMs() - 95000, 0, 0, QString()};
        live.ffmpegLog = {QStringLiteral("ffmpeg version %1").arg(ffmpeg_.version)};
    }
    logEventLocked(live, QStringLiteral("房间已创建"));
    liveRooms_.push_back(live);
    return live.fields;
}

void AgentService::simulatePushRetry(const QString& roomId, int retryDelaySeconds) {
    std::lock_guard lock(mutex_);
    if (LiveRoom* room = findLiveLocked(roomId)) {
        room->push.running = false;
        room->push.retryDelaySeconds = retryDelaySeconds;
        room->push.retryNextAtMs = nowMs() + qint64(retryDelaySeconds) * 1000;
        room->push.error = QStringLiteral("Connection to push target lost");
        room->fields.insert(QStringLiteral("status"), QStringLiteral("retrying"));
        logEventLocked(*room, QStringLiteral("推流中断，%1 秒后自动重启").arg(retryDelaySeconds));
        room->ffmpegLog.append(
            QStringLiteral("[flv @ 0x55d0] Failed to update header with correct duration."));
        room->ffmpegLog.append(QStringLiteral("av_interleaved_write_frame(): Broken pipe"));
    }
}

void AgentService::simulatePushFailure(const QString& roomId, const QString& error) {
    std::lock_guard lock(mutex_);
    if (LiveRoom* room = findLiveLocked(roomId)) {
        // Without an error the push ended by itself (a file played out without looping).
        if (error.isEmpty()) {
            stopPushLocked(*room, QStringLiteral("stopped"), QString());
            logEventLocked(*room, QStringLiteral("推流已结束"));
            return;
        }
        stopPushLocked(*room, QStringLiteral("error"), error);
        logEventLocked(*room, QStringLiteral("推流异常退出: ") + error);
        room->ffmpegLog.append(error);
    }
}

QStringList AgentService::roomsBoundTo(const QString& nodeId) const {
    std::lock_guard lock(mutex_);
    QStringList names;
    for (const auto& room : liveRooms_)
        if (!nodeId.isEmpty() && textOf(room.fields, "cloudNodeId") == nodeId)
            names.append(textOf(room.fields, "name"));
    return names;
}

void AgentService::unbindRooms(const QString& nodeId) {
    std::lock_guard lock(mutex_);
    for (auto& room : liveRooms_) {
        if (nodeId.isEmpty() || textOf(room.fields, "cloudNodeId") != nodeId)
            continue;
        room.fields.insert(QStringLiteral("cloudNodeId"), QString());
        const QString status = textOf(room.fields, "status");
        if (room.push.running || room.push.retryNextAtMs > 0 || status == QLatin1String("streaming") ||
            status == QLatin1String("retrying"))
            stopPushLocked(room, QStringLiteral("error"), QStringLiteral("节点已删除，房间已解除绑定"));
        logEventLocked(room, QStringLiteral("节点已删除，房间已解除绑定"));
    }
}

void AgentService::installLiveRoutes() {
    host_.route("GET", "/live/rooms", [this](Call& c) {
        std::lock_guard lock(mutex_);
        QJsonArray rooms;
        const qint64 now = nowMs();
        for (auto& room : liveRooms_) {
            refreshPushLocked(room, now);
            rooms.append(room.fields);
        }
        sendJson(c, 200, {{QStringLiteral("rooms"), rooms}});
    });
    host_.route("POST", "/live/rooms", [this](Call& c) {
        const QString name = textOf(c.body, "name").trimmed();
        if (name.isEmpty())
            return sendError(c, 400, QStringLiteral("房间名不能为空"));
        QJsonObject seed{{QStringLiteral("name"), name}};
        if (c.body.contains(QStringLiteral("cloudNodeId")))
            seed.insert(QStringLiteral("cloudNodeId"), textOf(c.body, "cloudNodeId"));
        sendJson(c, 201, {{QStringLiteral("room"), addLiveRoom(seed)}});
    });
    host_.route("PUT", R"(/live/rooms/([^/]+))", [this](Call& c) {
        std::lock_guard lock(mutex_);
        LiveRoom* room = findLiveLocked(c.match(1));
        if (!room)
            return sendError(c, 404, QStringLiteral("房间不存在"));
        if (c.body.contains(QStringLiteral("name")) && textOf(c.body, "name").trimmed().isEmpty())
            return sendError(c, 400, QStringLiteral("房间名不能为空"));
        const QString mode = textOf(c.body, "streamMode");
        if (!mode.isEmpty() && mode != kFileMode && mode != kAudioMode && mode != kPullMode)
            return sendError(c, 400, QStringLiteral("未知推流模式: ") + mode);
        const QString status = textOf(c.body, "status");
        if (c.body.contains(QStringLiteral("status")) && !kStatuses.contains(status))
            return sendError(c, 400, QStringLiteral("未知房间状态: ") + status);
        for (const QString& key : kEditableKeys)
            if (c.body.contains(key))
                room->fields.insert(key, c.body.value(key));
        if (textOf(room->fields, "streamMode").isEmpty())
            room->fields.insert(QStringLiteral("streamMode"), kFileMode);
        if (textOf(room->fields, "status") == QLatin1String("draft") && isConfigured(room->fields))
            room->fields.insert(QStringLiteral("status"), QStringLiteral("configured"));
        room->fields.insert(QStringLiteral("updatedAt"), nowSecs());
        sendJson(c, 200, {{QStringLiteral("room"), room->fields}});
    });
    host_.route("DELETE", R"(/live/rooms/([^/]+))", [this](Call& c) {
        std::lock_guard lock(mutex_);
        const QString id = c.match(1);
        if (!findLiveLocked(id))
            return sendError(c, 404, QStringLiteral("房间不存在"));
        std::erase_if(liveRooms_, [&](const LiveRoom& r) { return textOf(r.fields, "id") == id; });
        sendJson(c, 200, {{QStringLiteral("ok"), true}});
    });
    host_.route("POST", "/live/start", [this](Call& c) {
        std::lock_guard lock(mutex_);
        LiveRoom* room = findLiveLocked(textOf(c.body, "roomId"));
        if (!room)
            return sendError(c, 404, QStringLiteral("房间不存在"));
        const QString error = startPushLocked(*room, c.body);
        if (!error.isEmpty()) {
            logEventLocked(*room, QStringLiteral("启动推流失败: ") + error);
            return sendError(c, 400, error);
        }
        sendJson(c, 200, liveStatusLocked(*room, nowMs()));
    });
    host_.route("POST", "/live/stop", [this](Call& c) {
        std::lock_guard lock(mutex_);
        LiveRoom* room = findLiveLocked(textOf(c.body, "roomId"));
        if (!room)
            return sendError(c, 404, QStringLiteral("房间不存在"));
        if (room->push.running || room->push.retryNextAtMs > 0)
            logEventLocked(*room, QStringLiteral("停止推流"));
        stopPushLocked(*room, QStringLiteral("stopped"), QString());
        sendJson(c, 200, liveStatusLocked(*room, nowMs()));
    });
    host_.route("GET", "/live/status", [this](Call& c) {
        std::lock_guard lock(mutex_);
        LiveRoom* room = findLiveLocked(c.param("roomId"));
        if (!room)
            return sendError(c, 404, QStringLiteral("房间不存在"));
        sendJson(c, 200, liveStatusLocked(*room, nowMs()));
    });
    host_.route("GET", "/live/logs", [this](Call& c) {
        std::lock_guard lock(mutex_);
        LiveRoom* room = findLiveLocked(c.param("roomId"));
        if (!room)
            return sendError(c, 404, QStringLiteral("房间不存在"));
        QStringList lines = room->events;
        if (c.param("type") == QLatin1String("ffmpeg")) {
            lines = room->ffmpegLog;
            const QJsonObject status = liveStatusLocked(*room, nowMs());
            if (room->push.running) {
                const QJsonObject p = status.value(QStringLiteral("progress")).toObject();
                lines.append(QStringLiteral("frame=%1 fps=%2 q=23.0 size=%3kB time=%4 bitrate=%5 speed=%6")
                                 .arg(textOf(p, "frame"), textOf(p, "fps"),
                                      QString::number(textOf(p, "total_size").toLongLong() / 1024),
                                      textOf(p, "out_time"), textOf(p, "bitrate"), textOf(p, "speed")));
            }
        }
        QJsonArray logs;
        for (const QString& line : lines)
            logs.append(line);
        sendJson(c, 200, {{QStringLiteral("logs"), logs}});
    });
}

} // namespace sim::detail
