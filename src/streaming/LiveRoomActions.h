#pragma once

#include "model/Node.h"
#include "streaming/LiveRoom.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>

namespace shell {
class Shell;
}

namespace streaming {

// What the room actions need of the list the live page shows. Rooms are addressed by key.
class LiveRoomList {
public:
    virtual const QList<LiveRoom>& rooms() const = 0;
    // Puts the room into the list by key, redraws and selects it.
    virtual void upsertAndShow(const LiveRoom& room) = 0;
    virtual void removeRoom(const QString& roomKey) = 0;
    // Writes the push state an action set into the room as the list holds it now; a room that is gone
    // meanwhile stays gone.
    virtual void applyPushState(const LiveRoom& state) = 0;
    // Reads the rooms again, quietly.
    virtual void reloadRooms() = 0;

protected:
    ~LiveRoomList() = default;
};

// The user's actions on live rooms: create, edit, delete, start and stop a push, read the logs.
// Each takes a snapshot of the room as it was when the user chose it. Every wait (a request, a
// dialog) lets timers and reloads run, so afterwards the room is found again by key in the list and
// its Node by id in the shell, never by a row or index kept from before.
class LiveRoomActions {
public:
    LiveRoomActions(shell::Shell& shell, LiveRoomList& list);

    void create(const QString& preselectedNodeId);
    void edit(const LiveRoom& room);
    void remove(const LiveRoom& room);
    void startPush(LiveRoom room);
    void stopPush(LiveRoom room);
    void showLogs(const LiveRoom& room);

private:
    // The room's Node (a copy), or nothing after telling the user it is gone from the list.
    std::optional<Node> nodeOfRoom(const LiveRoom& room) const;
    // Saves the room's configuration and push state with patch overrides; empty on success.
    QString saveRoomState(const LiveRoom& room, const QJsonObject& patch);
    bool ensureFfmpeg(const Node& node);

    shell::Shell& shell_;
    LiveRoomList& list_;
};

} // namespace streaming
