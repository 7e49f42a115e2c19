#include "streaming/LiveRoom.h"

#include <QHash>
#include <QJsonValue>
#include <QRegularExpression>
#include <QUrl>

namespace streaming {
namespace {

QString textMember(const QJsonObject& object, const char* key) {
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isString() ? value.toString() : QString();
}

bool boolMember(const QJsonObject& object, const char* key, bool fallback) {
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isBool() ? value.toBool() : fallback;
}

// Agents write numbers, some older ones numeric text.
qint64 secondsMember(const QJsonObject& object, const char* key) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isDouble())
        return qint64(value.toDouble());
    if (value.isString())
        return value.toString().trimmed().toLongLong();
    return 0;
}

} // namespace

QString LiveRoom::key() const {
    return liveRoomKey(cloudNodeId, id);
}

QString liveRoomKey(const QString& nodeId, const QString& roomId) {
    return nodeId + QLatin1Char('|') + roomId;
}

LiveRoom liveRoomFromJson(const QJsonObject& object, const QString& nodeId) {
    LiveRoom room;
    room.id = textMember(object, "id");
    room.name = textMember(object, "name");
    room.cloudNodeId = nodeId;
    room.videoPath = textMember(object, "videoPath");
    room.sourceUrl = textMember(object, "sourceUrl");
    room.streamMode = effectiveMode(textMember(object, "streamMode"));
    room.audioFolder = textMember(object, "audioFolder");
    room.muteVideoAudio = boolMember(object, "muteVideoAudio", true);
    room.pushUrl = textMember(object, "pushUrl");
    room.loopEnabled = boolMember(object, "loopEnabled", true);
    const QString status = textMember(object, "status");
    room.status = status.isEmpty() ? QStringLiteral("draft") : status;
    room.lastError = textMember(object, "lastError");
    room.liveTaskId = textMember(object, "liveTaskId");
    room.createdAt = secondsMember(object, "createdAt");
    room.updatedAt = secondsMember(object, "updatedAt");
    room.startedAt = secondsMember(object, "startedAt");
    room.stoppedAt = secondsMember(object, "stoppedAt");
    return room;
}

QString effectiveMode(const QString& streamMode) {
    return streamMode.isEmpty() ? QString::fromLatin1(kFileMode) : streamMode;
}

QString modeLabel(const QString& streamMode) {
    if (streamMode == QLatin1String(kRandomAudioMode))
        return QStringLiteral("视频+随机音频");
    if (streamMode == QLatin1String(kPullMode))
        return QStringLiteral("拉流转推");
    return QStringLiteral("普通视频");
}

QString readableEventLine(const QString& line) {
    static const QRegularExpression modeId(
        QStringLiteral("\\b(%1|%2|%3)\\b")
            .arg(QLatin1String(kFileMode), QLatin1String(kRandomAudioMode), QLatin1String(kPullMode)));
    QString readable;
    qsizetype copied = 0;
    for (QRegularExpressionMatchIterator it = modeId.globalMatch(line); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        readable += line.mid(copied, match.capturedStart() - copied) + modeLabel(match.captured());
        copied = match.capturedEnd();
    }
    return readable + line.mid(copied);
}

QString statusLabel(const QString& status) {
    static const QHash<QString, QString> labels = {
        {QStringLiteral("draft"), QStringLiteral("未配置")},
        {QStringLiteral("configured"), QStringLiteral("已配置")},
        {QStringLiteral("streaming"), QStringLiteral("推流中")},
        {QStringLiteral("retrying"), QStringLiteral("重试中")},
        {QStringLiteral("stopped"), QStringLiteral("已停止")},
        {QStringLiteral("error"), QStringLiteral("异常")},
    };
    if (status.isEmpty())
        return QStringLiteral("--");
    return labels.value(status, status);
}

QString baseName(const QString& path) {
    QString normalized = path;
    normalized.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return normalized.mid(normalized.lastIndexOf(QLatin1Char('/')) + 1);
}

bool isPushOnAir(const LiveRoom& room) {
    return room.status == QLatin1String("streaming") || room.status == QLatin1String("retrying");
}

QString stopPushQuestion(const LiveRoom& room) {
    const QString question = QStringLiteral("确定停止直播房间 ") + room.name + QStringLiteral(" 的推流？");
    if (!isPushOnAir(room))
        return question;
    return QString::fromUtf8(kRoomOnAirNote) + QStringLiteral("，停止后直播会中断。\n") + question;
}

QString deleteRoomQuestion(const LiveRoom& room) {
    const QString question = QStringLiteral("确定删除直播房间 ") + room.name + QStringLiteral(" ?");
    if (!isPushOnAir(room))
        return question;
    return QString::fromUtf8(kRoomOnAirNote) + QStringLiteral("，删除后直播会中断。\n") + question;
}

QString mediaSourceText(const LiveRoom& room) {
    const QString text = room.isPullMode() ? room.sourceUrl : baseName(room.videoPath);
    return text.isEmpty() ? QStringLiteral("--") : text;
}

QString audioFolderText(const LiveRoom& room) {
    return room.isRandomAudioMode() && !room.audioFolder.isEmpty() ? room.audioFolder : QStringLiteral("--");
}

QList<LiveRoom> mergeLiveRooms(const QList<LiveRoom>& current, const QList<LiveRoom>& fresh,
                               const QSet<QString>& reloadedNodeIds) {
    QHash<QString, LiveRoom> freshByKey;
    for (const LiveRoom& room : fresh)
        freshByKey.insert(room.key(), room);
    QSet<QString> used;
    QList<LiveRoom> merged;
    for (const LiveRoom& old : current) {
        if (!reloadedNodeIds.contains(old.cloudNodeId)) {
            merged.append(old);
            continue;
        }
        const auto found = freshByKey.constFind(old.key());
        if (found == freshByKey.constEnd() || used.contains(old.key()))
            continue;
        LiveRoom replacement = *found;
        replacement.liveLine = old.liveLine;
        merged.append(replacement);
        used.insert(old.key());
    }
    for (const LiveRoom& room : fresh) {
        if (used.contains(room.key()))
            continue;
        merged.append(freshByKey.value(room.key()));
        used.insert(room.key());
    }
    return merged;
}

int indexOfLiveRoom(const QList<LiveRoom>& rooms, const QString& key) {
    for (int i = 0; i < rooms.size(); ++i) {
        if (rooms[i].key() == key)
            return i;
    }
    return -1;
}

int upsertLiveRoom(QList<LiveRoom>& rooms, const LiveRoom& room) {
    const int index = indexOfLiveRoom(rooms, room.key());
    if (index >= 0) {
        rooms[index] = room;
        return index;
    }
    rooms.append(room);
    return int(rooms.size()) - 1;
}

bool removeLiveRoom(QList<LiveRoom>& rooms, const QString& key) {
    const int index = indexOfLiveRoom(rooms, key);
    if (index < 0)
        return false;
    rooms.removeAt(index);
    return true;
}

QList<LiveTableRow> liveTableRows(const QList<QString>& nodeIds, const QList<LiveRoom>& rooms,
                                  const QSet<QString>& collapsedNodeIds) {
    QList<LiveTableRow> rows;
    for (const QString& nodeId : nodeIds) {
        rows.append({nodeId, -1});
        if (collapsedNodeIds.contains(nodeId))
            continue;
        for (int i = 0; i < rooms.size(); ++i) {
            if (rooms[i].cloudNodeId == nodeId)
                rows.append({nodeId, i});
        }
    }
    return rows;
}

QJsonObject roomUpdateBody(const LiveRoom& room, const QJsonObject& patch) {
    QJsonObject body{
        {QStringLiteral("name"), room.name},
        {QStringLiteral("videoPath"), room.videoPath},
        {QStringLiteral("sourceUrl"), room.sourceUrl},
        {QStringLiteral("streamMode"), room.streamMode},
        {QStringLiteral("audioFolder"), room.audioFolder},
        {QStringLiteral("muteVideoAudio"), room.muteVideoAudio},
        {QStringLiteral("pushUrl"), room.pushUrl},
        {QStringLiteral("loopEnabled"), room.loopEnabled},
        {QStringLiteral("status"), room.status},
        {QStringLiteral("lastError"), room.lastError},
        {QStringLiteral("liveTaskId"), room.liveTaskId},
        {QStringLiteral("startedAt"), room.startedAt},
        {QStringLiteral("stoppedAt"), room.stoppedAt},
    };
    for (auto it = patch.constBegin(); it != patch.constEnd(); ++it)
        body.insert(it.key(), it.value());
    return body;
}

QString roomPath(const QString& prefix, const QString& roomId) {
    return prefix + QString::fromLatin1(QUrl::toPercentEncoding(roomId));
}

} // namespace streaming
