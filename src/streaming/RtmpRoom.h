#pragma once

#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QString>

struct Node;

// MediaMTX ingest rooms as the client holds them: the record read from an Agent's "/rtmp/status", the
// page's list with its merges by row key, the texts the page shows and copies, and the pull addresses
// the live room editor offers. No widgets here.
namespace streaming {

struct RtmpRoom {
    int nodeIndex = -1; // where the owning Node stood in the Node list when the row was read
    QString nodeId;     // the owning Node's id, to find it again after a wait
    QString nodeLabel;

    QString id; // empty for a service row
    QString name;
    QString roomKey;
    QString accessKey;
    bool enabled = false;
    bool online = false;
    QString publishUrl;
    QString rtmpPublishUrl;
    QString rtmpPublishFullUrl; // falls back to publishUrl
    QString srtPublishUrl;
    QString srtPublishFullUrl;
    QString playUrl; // falls back to rtmpPublishFullUrl, then publishUrl
    QString previewUrl;
    qint64 updatedAt = 0; // Unix seconds

    // From the top level of the status reply that carried the room.
    bool running = false;
    bool installed = false;
    QString version;
    QString error;

    bool isServiceRow() const { return id.isEmpty(); }
    // "<node index>|<id>", or "<node index>|__service__" for a service row.
    QString rowKey() const;
};

// Where a room's Node stands and what it is called, at the time its reply is read.
struct RtmpNodeTag {
    int index = -1;
    QString id;
    QString label;
};

// One room object with the status members of the reply that carried it.
RtmpRoom parseRtmpRoom(const QJsonObject& room, const QJsonObject& status, const RtmpNodeTag& node);
// The row that stands for a whole Node whose status request failed.
RtmpRoom rtmpServiceRow(const RtmpNodeTag& node, const QString& error);

// The rows one "/rtmp/status" reply gives for its Node. status is the HTTP status, 0 when no answer
// arrived (transportError then says why): anything but 1..299 is one service row; a success reads
// "rooms" even when the reply also carries "error".
QList<RtmpRoom> rtmpRowsFromStatus(int status, const QJsonObject& reply, const QString& transportError,
                                   const RtmpNodeTag& node);

// "/rtmp/rooms/<id>" or "/rtmp/rooms/<id>/<action>", the id percent-encoded byte by byte outside the
// unreserved set, so ids with "/", "?", "#", blanks or non-ASCII letters stay one path segment.
QString rtmpRoomPath(const QString& roomId, const QString& action = QString());

// The question before deleting a room; it says when a publisher is on air in it.
QString rtmpDeleteQuestion(const RtmpRoom& room);

// "服务停止", "已禁用", "在线" or "离线".
QString rtmpStateText(const RtmpRoom& room);
// Whether a state text reads as good (green) or bad (red); other texts are left uncoloured.
enum class RtmpStateTone { Plain, Good, Bad };
RtmpStateTone rtmpStateTone(const QString& stateText);

// The copy entries of the context menu, in menu order.
enum class RtmpCopyField { RtmpPublishFull, SrtPublishFull, RoomKey, Play, Preview };
struct RtmpCopyItem {
    RtmpCopyField field;
    QString menuText;
    QString label; // the status line then reads label + "已复制"
};
const QList<RtmpCopyItem>& rtmpCopyItems();
QString rtmpCopyText(const RtmpRoom& room, RtmpCopyField field);

// The page's rows in table order. Every change returns the row to select afterwards (-1: none).
class RtmpRoomList {
public:
    const QList<RtmpRoom>& rows() const { return rows_; }
    int size() const { return int(rows_.size()); }
    bool isValidRow(int row) const { return row >= 0 && row < rows_.size(); }
    const RtmpRoom& at(int row) const { return rows_[row]; }
    int indexOfKey(const QString& rowKey) const;
    void clear() { rows_.clear(); }

    // Takes the fresh rows of the reloaded Nodes: rows of other Nodes stay where they are, reloaded rows
    // keep their place when their key is still there, vanished ones are dropped, and new ones go after the
    // trailing rows of their own or earlier Nodes (at the end when their Node is the last one shown).
    int merge(const QList<RtmpRoom>& fresh, const QSet<int>& reloadedNodes, int currentRow);
    // Replaces the row with the same key, or appends the room.
    int upsert(const RtmpRoom& room);
    // Copies the MediaMTX state of a fresh status reading to every row of that Node.
    void applyNodeStatus(const RtmpRoom& reading);
    // Drops the row with this key; the row that moved into its place (or the new last row) is next.
    int remove(const QString& rowKey, int currentRow);

private:
    QList<RtmpRoom> rows_;
};

// ---- Pull addresses for the live room editor ----

// One address a live room can pull from, with the text the editor shows for it.
struct PullSource {
    QString label; // "<node label> / <room name or key> / RTMP|SRT"
    QString url;
    bool operator==(const PullSource&) const = default;
};

// The address a reader plays the room's RTMP stream from: playUrl, else rtmpPublishFullUrl, else publishUrl.
QString rtmpPullUrl(const QString& playUrl, const QString& rtmpPublishFullUrl, const QString& publishUrl);
// The SRT publish address turned into its read address ("streamid=publish:" -> "streamid=read:", or the
// percent-encoded form); empty when it holds neither form.
QString srtReadUrl(const QString& srtPublishFullUrl);

// Adds the RTMP and SRT sources of one room (in the Agent's wire form) unless their URL is listed already.
void addPullSources(QList<PullSource>& sources, const QString& nodeLabel, const QJsonObject& room);
// The same for a row of the RTMP page; service rows add nothing.
void addPullSources(QList<PullSource>& sources, const RtmpRoom& row);
// Adds the rooms of one "/rtmp/status" reply when it succeeded without an "error" member.
void addPullSourcesFromStatus(QList<PullSource>& sources, const QString& nodeLabel, int status,
                              const QJsonObject& reply);
// Everything the editor offers, in order: the rooms of the RTMP page's rows first, then those of every
// Node with an Agent endpoint, asked one after another (blocking; the Nodes are copies, so a Node list
// reload meanwhile changes nothing here).
QList<PullSource> collectPullSources(const QList<RtmpRoom>& pageRows, const QList<Node>& nodes);

} // namespace streaming
