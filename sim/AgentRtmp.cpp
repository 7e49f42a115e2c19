#include "AgentService.h"
#include "SimUtil.h"

#include <httplib.h>

namespace sim::detail {
namespace {

bool isValidKey(const QString& key) {
    if (key.isEmpty() || key.size() > 64)
        return false;
    for (const QChar c : key)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('-') && c != QLatin1Char('_'))
            return false;
    return true;
}

} // namespace

QJsonObject AgentService::rtmpRoomJsonLocked(const RtmpRoom& room) const {
    const QString rtmpBase = QStringLiteral("rtmp://%1:1935/live").arg(publicHost_);
    const QString full = rtmpBase + QLatin1Char('/') + room.roomKey;
    const QString srtBase = QStringLiteral("srt://%1:8890").arg(publicHost_);
    return {{QStringLiteral("id"), room.id},
            {QStringLiteral("name"), room.name},
            {QStringLiteral("roomKey"), room.roomKey},
            {QStringLiteral("accessKey"), room.accessKey},
            {QStringLiteral("enabled"), room.enabled},
            {QStringLiteral("online"),
             (room.online || isPublishedLocked(full)) && room.enabled && mediaMtx_.running},
            {QStringLiteral("publishUrl"), full},
            {QStringLiteral("rtmpPublishUrl"), rtmpBase},
            {QStringLiteral("rtmpPublishFullUrl"), full},
            {QStringLiteral("srtPublishUrl"), srtBase},
            {QStringLiteral("srtPublishFullUrl"),
             srtBase + QStringLiteral("?streamid=publish:live/") + room.roomKey},
            {QStringLiteral("playUrl"), full + QStringLiteral("?access=") + room.accessKey},
            // MediaMTX would serve its HLS player here; the Agent serves a small page of its own.
            {QStringLiteral("previewUrl"),
             host_.url() + QStringLiteral("/hls/live/") + room.roomKey + QLatin1Char('/')},
            {QStringLiteral("createdAt"), room.createdAt},
            {QStringLiteral("updatedAt"), room.updatedAt}};
}

// A running push of this Agent aimed at the room's publish address counts as its publisher.
bool AgentService::isPublishedLocked(const QString& publishUrl) const {
    for (const auto& live : liveRooms_) {
        const QString target = live.fields.value(QStringLiteral("pushUrl")).toString();
        if (live.push.running && (target == publishUrl || target.startsWith(publishUrl + QLatin1Char('?'))))
            return true;
    }
    return false;
}

AgentService::RtmpRoom* AgentService::findRtmpLocked(const QString& id) {
    for (auto& room : rtmpRooms_)
        if (room.id == id)
            return &room;
    return nullptr;
}

QJsonObject AgentService::rtmpStatusLocked() const {
    QJsonArray rooms;
    for (const auto& room : rtmpRooms_)
        rooms.append(rtmpRoomJsonLocked(room));
    QJsonObject status = mediaMtxJsonLocked();
    status.insert(QStringLiteral("rooms"), rooms);
    if (!mediaMtx_.installed)
        status.insert(QStringLiteral("error"), QStringLiteral("MediaMTX 未安装"));
    return status;
}

QJsonObject AgentService::addRtmpRoom(const QString& name, bool enabled, bool online) {
    std::lock_guard lock(mutex_);
    RtmpRoom room{randomToken(12), name,   randomToken(16), randomToken(10),
                  enabled,         online, nowSecs(),       nowSecs()};
    rtmpRooms_.push_back(room);
    return rtmpRoomJsonLocked(room);
}

void AgentService::setRtmpRoomOnline(const QString& id, bool online) {
    std::lock_guard lock(mutex_);
    if (RtmpRoom* room = findRtmpLocked(id))
        room->online = online;
}

void AgentService::installRtmpRoutes() {
    host_.route("GET", "/rtmp/status", [this](Call& c) {
        std::lock_guard lock(mutex_);
        sendJson(c, 200, rtmpStatusLocked());
    });
    host_.route("GET", "/rtmp/logs", [this](Call& c) {
        std::lock_guard lock(mutex_);
        QStringList lines = rtmpLog_;
        if (lines.isEmpty())
            lines << QStringLiteral("%1 INF MediaMTX %2")
                         .arg(QDateTime::currentDateTime().toString(Qt::ISODate), mediaMtx_.version)
                  << QStringLiteral("%1 INF [RTMP] listener opened on :1935")
                         .arg(QDateTime::currentDateTime().toString(Qt::ISODate));
        sendJson(c, 200, {{QStringLiteral("logs"), lines.join(QLatin1Char('\n'))}});
    });
    host_.route("POST", "/rtmp/rooms", [this](Call& c) {
        const QString name = textOf(c.body, "name").trimmed();
        if (name.isEmpty())
            return sendError(c, 400, QStringLiteral("房间名不能为空"));
        const bool enabled = c.body.value(QStringLiteral("enabled")).toBool(true);
        QJsonObject room = addRtmpRoom(name, enabled, false);
        std::lock_guard lock(mutex_);
        rtmpLog_.append(
            QStringLiteral("%1 INF [path live/%2] created")
                .arg(QDateTime::currentDateTime().toString(Qt::ISODate), textOf(room, "roomKey")));
        sendJson(c, 201, room);
    });
    host_.route("PUT", R"(/rtmp/rooms/([^/]+))", [this](Call& c) {
        std::lock_guard lock(mutex_);
        RtmpRoom* room = findRtmpLocked(c.match(1));
        if (!room)
            return sendError(c, 404, QStringLiteral("房间不存在"));
        const QString name =
            c.body.contains(QStringLiteral("name")) ? textOf(c.body, "name").trimmed() : room->name;
        const QString key =
            c.body.contains(QStringLiteral("roomKey")) ? textOf(c.body, "roomKey").trimmed() : room->roomKey;
        if (name.isEmpty())
            return sendError(c, 400, QStringLiteral("房间名不能为空"));
        if (!isValidKey(key))
            return sendError(c, 400, QStringLiteral("roomKey 只能包含字母、数字、- 和 _"));
        for (const auto& other : rtmpRooms_)
            if (&other != room && other.roomKey == key)
                return sendError(c, 409, QStringLiteral("roomKey 已被其他房间使用"));
        room->name = name;
        room->roomKey = key;
        room->enabled = c.body.value(QStringLiteral("enabled")).toBool(room->enabled);
        room->updatedAt = nowSecs();
        sendJson(c, 200, rtmpRoomJsonLocked(*room));
    });
    host_.route("POST", R"(/rtmp/rooms/([^/]+)/(enable|disable|reset-key))", [this](Call& c) {
        std::lock_guard lock(mutex_);
        RtmpRoom* room = findRtmpLocked(c.match(1));
        if (!room)
            return sendError(c, 404, QStringLiteral("房间不存在"));
        const QString action = c.match(2);
        if (action == QLatin1String("reset-key")) {
            room->roomKey = randomToken(16);
            room->online = false; // a publisher on the old key is cut off
        } else {
            room->enabled = action == QLatin1String("enable");
        }
        room->updatedAt = nowSecs();
        sendJson(c, 200, rtmpRoomJsonLocked(*room));
    });
    host_.route("DELETE", R"(/rtmp/rooms/([^/]+))", [this](Call& c) {
        std::lock_guard lock(mutex_);
        const QString id = c.match(1);
        if (!findRtmpLocked(id))
            return sendError(c, 404, QStringLiteral("房间不存在"));
        std::erase_if(rtmpRooms_, [&](const RtmpRoom& r) { return r.id == id; });
        sendJson(c, 200, {{QStringLiteral("ok"), true}});
    });
    installHlsRoutes();
}

} // namespace sim::detail
