#pragma once

#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QString>

// One FFmpeg live room of a Node's Agent, as the client holds it.
namespace streaming {

inline constexpr char kFileMode[] = "file_to_rtmp";
inline constexpr char kRandomAudioMode[] = "video_random_audio_to_rtmp";
inline constexpr char kPullMode[] = "pull_stream_to_rtmp";

struct LiveRoom {
    QString id;
    QString name;
    QString cloudNodeId; // the Node that answered for the room, whatever the Agent stored
    QString videoPath;   // relative to the Node's video folder
    QString sourceUrl;   // pull address
    QString streamMode = QString::fromLatin1(kFileMode);
    QString audioFolder;
    bool muteVideoAudio = true;
    QString pushUrl;
    bool loopEnabled = true;
    QString status = QStringLiteral("draft");
    QString lastError;
    QString liveTaskId;
    qint64 createdAt = 0; // every time field in Unix seconds
    qint64 updatedAt = 0;
    qint64 startedAt = 0;
    qint64 stoppedAt = 0;
    QString liveLine; // client only: the push's one-line state

    // "cloudNodeId|id": how a room is found again after a reload or a wait.
    QString key() const;
    bool isPullMode() const { return streamMode == QLatin1String(kPullMode); }
    bool isRandomAudioMode() const { return streamMode == QLatin1String(kRandomAudioMode); }
};

// Reads a room object; absent or mistyped members take the defaults. nodeId is the Node that answered.
LiveRoom liveRoomFromJson(const QJsonObject& object, const QString& nodeId);
QString liveRoomKey(const QString& nodeId, const QString& roomId);

// The mode or the mode from the record when it is empty.
QString effectiveMode(const QString& streamMode);
QString modeLabel(const QString& streamMode);
QString statusLabel(const QString& status);
// An Agent's event line with every mode id in it ("pull_stream_to_rtmp") as the mode's name.
QString readableEventLine(const QString& line);
// What the table's source column shows: the pull address, or the video's base name; "--" when empty.
QString mediaSourceText(const LiveRoom& room);
QString audioFolderText(const LiveRoom& room);
// The text after the last slash, backslashes counting as slashes.
QString baseName(const QString& path);

// What a question before cutting a room off says is on air.
inline constexpr char kRoomOnAirNote[] = "房间正在推流";
// Whether the room's push is on air: streaming, or retrying to get back on.
bool isPushOnAir(const LiveRoom& room);
// The questions before stopping a room's push and before deleting it; both say when it is on air.
QString stopPushQuestion(const LiveRoom& room);
QString deleteRoomQuestion(const LiveRoom& room);

// Merges a fresh load into the list: rooms of Nodes that were not reloaded stay in place, reloaded
// rooms are replaced by key (keeping their live line until the next status reply) or dropped when
// missing, new ones come last in fresh order.
QList<LiveRoom> mergeLiveRooms(const QList<LiveRoom>& current, const QList<LiveRoom>& fresh,
                               const QSet<QString>& reloadedNodeIds);
// Replaces the room with the same key or appends it; returns its index.
int upsertLiveRoom(QList<LiveRoom>& rooms, const LiveRoom& room);
// Drops the first room with the key; false when there was none.
bool removeLiveRoom(QList<LiveRoom>& rooms, const QString& key);
int indexOfLiveRoom(const QList<LiveRoom>& rooms, const QString& key);

// One row of the grouped table: a Node row (roomIndex -1) or a room row.
struct LiveTableRow {
    QString nodeId;
    int roomIndex = -1;
    bool isNodeRow() const { return roomIndex < 0; }
};
// For each Node in order its row, then, unless it is collapsed, one row per room bound to it in list
// order. Rooms of Nodes that are not listed are not shown.
QList<LiveTableRow> liveTableRows(const QList<QString>& nodeIds, const QList<LiveRoom>& rooms,
                                  const QSet<QString>& collapsedNodeIds);

// The body that saves a room's configuration and push state: thirteen keys from the room, each
// overridden by the member of the same name in patch (patch members beyond them are added).
QJsonObject roomUpdateBody(const LiveRoom& room, const QJsonObject& patch);

// The Agent path of a room: prefix + the id percent-encoded (every byte outside the unreserved set).
QString roomPath(const QString& prefix, const QString& roomId);

} // namespace streaming
