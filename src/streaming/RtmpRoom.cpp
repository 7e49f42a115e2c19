#include "streaming/RtmpRoom.h"

#include "model/Node.h"
#include "net/JsonNumbers.h"
#include "net/RequestLayer.h"
#include "net/RequestResult.h"

#include <QHash>
#include <QJsonArray>
#include <QUrl>

namespace streaming {
namespace {

QString textOf(const QJsonObject& object, QLatin1String key) {
    const QJsonValue value = object.value(key);
    return value.isString() ? value.toString() : QString();
}

bool boolOf(const QJsonObject& object, QLatin1String key) {
    return object.value(key).toBool(false);
}

void applyStatus(RtmpRoom& row, const QJsonObject& status) {
    row.running = boolOf(status, QLatin1String("running"));
    row.installed = boolOf(status, QLatin1String("installed"));
    row.version = textOf(status, QLatin1String("version"));
    row.error = textOf(status, QLatin1String("error"));
}

QString sourceLabel(const QString& nodeLabel, const QString& roomName, const QString& roomKey,
                    const char* kind) {
    return QStringLiteral("%1 / %2 / %3")
        .arg(nodeLabel.isEmpty() ? QStringLiteral("未知节点") : nodeLabel,
             roomName.isEmpty() ? roomKey : roomName, QLatin1String(kind));
}

void addUnique(QList<PullSource>& sources, const QString& label, const QString& url) {
    if (url.isEmpty())
        return;
    for (const PullSource& source : sources) {
        if (source.url == url)
            return;
    }
    sources.append({label, url});
}

struct RoomAddresses {
    QString name, roomKey, playUrl, rtmpPublishFullUrl, publishUrl, srtPublishFullUrl;
};

void addSourcesOf(QList<PullSource>& sources, const QString& nodeLabel, const RoomAddresses& room) {
    addUnique(sources, sourceLabel(nodeLabel, room.name, room.roomKey, "RTMP"),
              rtmpPullUrl(room.playUrl, room.rtmpPublishFullUrl, room.publishUrl));
    addUnique(sources, sourceLabel(nodeLabel, room.name, room.roomKey, "SRT"),
              srtReadUrl(room.srtPublishFullUrl));
}

} // namespace

QString RtmpRoom::rowKey() const {
    return QString::number(nodeIndex) + QLatin1Char('|') +
           (id.isEmpty() ? QStringLiteral("__service__") : id);
}

RtmpRoom parseRtmpRoom(const QJsonObject& room, const QJsonObject& status, const RtmpNodeTag& node) {
    RtmpRoom row;
    row.nodeIndex = node.index;
    row.nodeId = node.id;
    row.nodeLabel = node.label;
    row.id = textOf(room, QLatin1String("id"));
    row.name = textOf(room, QLatin1String("name"));
    row.roomKey = textOf(room, QLatin1String("roomKey"));
    row.accessKey = textOf(room, QLatin1String("accessKey"));
    row.enabled = boolOf(room, QLatin1String("enabled"));
    row.online = boolOf(room, QLatin1String("online"));
    row.publishUrl = textOf(room, QLatin1String("publishUrl"));
    row.rtmpPublishUrl = textOf(room, QLatin1String("rtmpPublishUrl"));
    // An absent member falls back; a member that is present stays as given, even when empty.
    row.rtmpPublishFullUrl = room.contains(QLatin1String("rtmpPublishFullUrl"))
                                 ? textOf(room, QLatin1String("rtmpPublishFullUrl"))
                                 : row.publishUrl;
    row.srtPublishUrl = textOf(room, QLatin1String("srtPublishUrl"));
    row.srtPublishFullUrl = textOf(room, QLatin1String("srtPublishFullUrl"));
    row.playUrl = room.contains(QLatin1String("playUrl"))
                      ? textOf(room, QLatin1String("playUrl"))
                      : (row.rtmpPublishFullUrl.isEmpty() ? row.publishUrl : row.rtmpPublishFullUrl);
    row.previewUrl = textOf(room, QLatin1String("previewUrl"));
    // Range-checked before conversion: up to the year 9999, anything else reads as never.
    row.updatedAt = net::boundedInteger(room.value(QLatin1String("updatedAt")), 0, 253402300799, 0);
    applyStatus(row, status);
    return row;
}

RtmpRoom rtmpServiceRow(const RtmpNodeTag& node, const QString& error) {
    RtmpRoom row;
    row.nodeIndex = node.index;
    row.nodeId = node.id;
    row.nodeLabel = node.label;
    row.error = error;
    return row;
}

QList<RtmpRoom> rtmpRowsFromStatus(int status, const QJsonObject& reply, const QString& transportError,
                                   const RtmpNodeTag& node) {
    if (status < 1 || status > 299) {
        QString error = net::describeFailure(reply, status);
        // With no answer at all, the transport's reason says more than "请求失败".
        if (status < 1 && !reply.value(QLatin1String("error")).isString() && !transportError.isEmpty())
            error = transportError;
        return {rtmpServiceRow(node, error)};
    }
    QList<RtmpRoom> rows;
    const QJsonArray rooms = reply.value(QLatin1String("rooms")).toArray();
    for (const QJsonValue& room : rooms)
        rows.append(parseRtmpRoom(room.toObject(), reply, node));
    return rows;
}

QString rtmpRoomPath(const QString& roomId, const QString& action) {
    QString path = QStringLiteral("/rtmp/rooms/") + QString::fromLatin1(QUrl::toPercentEncoding(roomId));
    if (!action.isEmpty())
        path += QLatin1Char('/') + action;
    return path;
}

QString rtmpStateText(const RtmpRoom& room) {
    if (!room.running)
        return QStringLiteral("服务停止");
    if (!room.enabled)
        return QStringLiteral("已禁用");
    return room.online ? QStringLiteral("在线") : QStringLiteral("离线");
}

RtmpStateTone rtmpStateTone(const QString& stateText) {
    if (stateText == QLatin1String("在线"))
        return RtmpStateTone::Good;
    if (stateText == QStringLiteral("离线") || stateText == QStringLiteral("服务停止") ||
        stateText == QStringLiteral("已禁用"))
        return RtmpStateTone::Bad;
    return RtmpStateTone::Plain;
}

const QList<RtmpCopyItem>& rtmpCopyItems() {
    static const QList<RtmpCopyItem> items = {
        {RtmpCopyField::RtmpPublishFull, QStringLiteral("复制完整RTMP推流地址"),
         QStringLiteral("RTMP推流地址")},
        {RtmpCopyField::SrtPublishFull, QStringLiteral("复制完整SRT推流地址"), QStringLiteral("SRT推流地址")},
        {RtmpCopyField::RoomKey, QStringLiteral("复制Key"), QStringLiteral("Key")},
        {RtmpCopyField::Play, QStringLiteral("复制RTMP播放地址"), QStringLiteral("RTMP播放地址")},
        {RtmpCopyField::Preview, QStringLiteral("复制HLS预览地址"), QStringLiteral("HLS预览地址")},
    };
    return items;
}

QString rtmpCopyText(const RtmpRoom& room, RtmpCopyField field) {
    if (room.isServiceRow())
        return {};
    switch (field) {
    case RtmpCopyField::RtmpPublishFull:
        return room.rtmpPublishFullUrl;
    case RtmpCopyField::SrtPublishFull:
        return room.srtPublishFullUrl;
    case RtmpCopyField::RoomKey:
        return room.roomKey;
    case RtmpCopyField::Play:
        return room.playUrl;
    case RtmpCopyField::Preview:
        return room.previewUrl;
    }
    return {};
}

int RtmpRoomList::indexOfKey(const QString& rowKey) const {
    for (int i = 0; i < rows_.size(); ++i) {
        if (rows_[i].rowKey() == rowKey)
            return i;
    }
    return -1;
}

int RtmpRoomList::merge(const QList<RtmpRoom>& fresh, const QSet<int>& reloadedNodes, int currentRow) {
    const QString rememberedKey = isValidRow(currentRow) ? rows_[currentRow].rowKey() : QString();

    QHash<QString, int> freshByKey; // a later duplicate replaces an earlier one
    for (int i = 0; i < fresh.size(); ++i)
        freshByKey.insert(fresh[i].rowKey(), i);

    QList<RtmpRoom> merged;
    QSet<QString> used;
    for (const RtmpRoom& old : std::as_const(rows_)) {
        if (!reloadedNodes.contains(old.nodeIndex)) {
            merged.append(old);
            continue;
        }
        const QString key = old.rowKey();
        const auto found = freshByKey.constFind(key);
        if (found != freshByKey.constEnd() && !used.contains(key)) {
            merged.append(fresh[found.value()]);
            used.insert(key);
        }
    }
    for (int i = 0; i < fresh.size(); ++i) {
        const QString key = fresh[i].rowKey();
        if (used.contains(key) || freshByKey.value(key) != i)
            continue;
        // Nodes answer in any order: a new row goes after the last row of its own or an earlier Node, so
        // the table stays in Node order however the replies arrive.
        qsizetype at = merged.size();
        while (at > 0 && merged[at - 1].nodeIndex > fresh[i].nodeIndex)
            --at;
        merged.insert(at, fresh[i]);
        used.insert(key);
    }
    rows_ = merged;

    if (!rememberedKey.isEmpty()) {
        const int again = indexOfKey(rememberedKey);
        if (again >= 0)
            return again;
    }
    if (currentRow < 0)
        return -1;
    return std::min(currentRow, size() - 1);
}

int RtmpRoomList::upsert(const RtmpRoom& room) {
    const int row = indexOfKey(room.rowKey());
    if (row >= 0) {
        rows_[row] = room;
        return row;
    }
    rows_.append(room);
    return size() - 1;
}

void RtmpRoomList::applyNodeStatus(const RtmpRoom& reading) {
    for (RtmpRoom& row : rows_) {
        if (row.nodeIndex != reading.nodeIndex || row.isServiceRow())
            continue;
        row.running = reading.running;
        row.installed = reading.installed;
        row.version = reading.version;
        row.error = reading.error;
    }
}

int RtmpRoomList::remove(const QString& rowKey, int currentRow) {
    const int row = indexOfKey(rowKey);
    if (row < 0)
        return isValidRow(currentRow) ? currentRow : -1;
    rows_.removeAt(row);
    if (rows_.isEmpty())
        return -1;
    return std::min(row, size() - 1);
}

QString rtmpPullUrl(const QString& playUrl, const QString& rtmpPublishFullUrl, const QString& publishUrl) {
    if (!playUrl.isEmpty())
        return playUrl;
    return rtmpPublishFullUrl.isEmpty() ? publishUrl : rtmpPublishFullUrl;
}

QString srtReadUrl(const QString& srtPublishFullUrl) {
    QString url = srtPublishFullUrl.trimmed();
    if (url.contains(QLatin1String("streamid=publish:")))
        return url.replace(QLatin1String("streamid=publish:"), QLatin1String("streamid=read:"));
    if (url.contains(QLatin1String("streamid=publish%3A")))
        return url.replace(QLatin1String("streamid=publish%3A"), QLatin1String("streamid=read%3A"));
    return {};
}

void addPullSources(QList<PullSource>& sources, const QString& nodeLabel, const QJsonObject& room) {
    // The same fallbacks as the page's rows, so the editor offers what the page would copy.
    const RtmpRoom row = parseRtmpRoom(room, {}, {-1, {}, nodeLabel});
    addSourcesOf(
        sources, nodeLabel,
        {row.name, row.roomKey, row.playUrl, row.rtmpPublishFullUrl, row.publishUrl, row.srtPublishFullUrl});
}

void addPullSources(QList<PullSource>& sources, const RtmpRoom& row) {
    if (row.isServiceRow())
        return;
    addSourcesOf(
        sources, row.nodeLabel,
        {row.name, row.roomKey, row.playUrl, row.rtmpPublishFullUrl, row.publishUrl, row.srtPublishFullUrl});
}

void addPullSourcesFromStatus(QList<PullSource>& sources, const QString& nodeLabel, int status,
                              const QJsonObject& reply) {
    if (net::RequestResult{status, reply}.failed())
        return;
    const QJsonArray rooms = reply.value(QLatin1String("rooms")).toArray();
    for (const QJsonValue& room : rooms)
        addPullSources(sources, nodeLabel, room.toObject());
}

QList<PullSource> collectPullSources(const QList<RtmpRoom>& pageRows, const QList<Node>& nodes) {
    QList<PullSource> sources;
    for (const RtmpRoom& row : pageRows)
        addPullSources(sources, row);
    for (const Node& node : nodes) {
        if (!node.hasAgentEndpoint())
            continue;
        int status = 0;
        const QJsonObject reply =
            net::agentRequest(node, QStringLiteral("GET"), QStringLiteral("/rtmp/status"), {}, &status);
        addPullSourcesFromStatus(sources, nodeLabel(node), status, reply);
    }
    return sources;
}

} // namespace streaming
