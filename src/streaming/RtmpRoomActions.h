#pragma once

#include "fleet/NodeBatch.h"
#include "streaming/RtmpRoom.h"

#include <QJsonObject>
#include <QString>

namespace shell {
class Shell;
}

namespace streaming {

// What the room actions need of the list the RTMP page shows.
class RtmpRoomRows {
public:
    // Puts a room read afresh into the list by row key; every room of its Node takes its state columns.
    virtual void adoptRoom(const RtmpRoom& fresh) = 0;
    // Takes the room out of the list by row key.
    virtual void removeRoom(const RtmpRoom& removed) = 0;
    // Reads the rooms again, quietly.
    virtual void reloadRooms() = 0;

protected:
    ~RtmpRoomRows() = default;
};

// A room as the user chose it, with a copy of its Node.
struct RtmpRoomTarget {
    RtmpRoom room;
    fleet::NodeRef node;
};

// The tag of the Node with this id as the shell's list holds it now; index -1 when it is gone.
RtmpNodeTag rtmpNodeTag(const shell::Shell& shell, const QString& nodeId);

// The user's actions on MediaMTX rooms: create, edit, enable, disable, re-key, delete, read the log.
// Each takes a snapshot of the room and its Node as they were when the user chose them. Every wait (a
// request, a dialog) lets timers and reloads run, so afterwards the room is found again by its row key
// in the list and its Node by id in the shell, never by a row or index kept from before.
class RtmpRoomActions {
public:
    RtmpRoomActions(shell::Shell& shell, RtmpRoomRows& rows);

    void create(const QString& preselectedNodeId);
    void edit(const RtmpRoomTarget& target, const QString& preselectedNodeId);
    // action: "enable", "disable" or "reset-key".
    void switchRoom(const RtmpRoomTarget& target, const QString& action);
    void remove(const RtmpRoomTarget& target);
    void viewLog(const fleet::NodeRef& node);

private:
    // The changed room with a fresh reading of its Node's MediaMTX state.
    void upsertFromReply(const fleet::NodeRef& node, const QJsonObject& room, const RtmpRoom* previous);

    shell::Shell& shell_;
    RtmpRoomRows& rows_;
};

} // namespace streaming
