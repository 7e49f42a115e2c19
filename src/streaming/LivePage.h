#pragma once

#include "model/Node.h"
#include "streaming/LiveRoom.h"
#include "streaming/LiveRoomActions.h"

#include <QHash>
#include <QIcon>
#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QWidget>
#include <optional>

class NodeFilterCombo;
class PercentTableWidget;
class QMenu;

namespace shell {
class Shell;
}

// The live page: every Node's FFmpeg live rooms grouped under a row per Node, with create, edit,
// delete, start and stop of a push, its logs, and the rooms' push state polled once a second. The
// actions themselves live in LiveRoomActions; the page keeps the table, the filter and the menu.
class LivePage : public QWidget, public streaming::LiveRoomList {
public:
    explicit LivePage(shell::Shell& shell, QWidget* parent = nullptr);

    // Loads the rooms of the filtered Nodes; a loud load runs behind the busy overlay. A load asked
    // for while one waits is skipped.
    void load(bool loud);
    // One status poll of every room that has a Node and is past "draft"; a room whose previous
    // request still waits is left out, every other one is asked again.
    void pollStatuses();
    // The status tick while another page is shown: the rooms are loaded once, then polled.
    void pollWhileHidden();
    // Selects the room's row (from the event list), opening its Node's group.
    void revealRoom(const QString& roomKey);

    // Menu actions on the current row.
    void createRoom(const QString& preselectedNodeId = QString());
    void editCurrentRoom();
    void deleteCurrentRoom();
    void startCurrentPush();
    void stopCurrentPush();
    void showCurrentLogs();

    void toggleNode(const QString& nodeId);
    void setAllCollapsed(bool collapsed);
    void filterToNode(const QString& nodeId); // empty: every Node

    // Rebuilds the filter from the shell's Node list and redraws.
    void rebuildFilter();

    std::unique_ptr<QMenu> createContextMenu();
    PercentTableWidget* table() const { return table_; }
    NodeFilterCombo* nodeFilter() const { return filter_; }
    const QList<streaming::LiveRoom>& rooms() const override { return rooms_; }
    // The room shown on this table row, if it is a room row.
    std::optional<streaming::LiveRoom> roomAtRow(int row) const;
    int rowOfRoom(const QString& roomKey) const;
    int rowOfNode(const QString& nodeId) const;

private:
    void buildTable();
    void redraw();
    void writeRoomRow(int row, const streaming::LiveRoom& room);
    void writeNodeRow(int row, const QString& nodeId);
    void onCellClicked(int row, int column);
    void onCellDoubleClicked(int row, int column);
    void selectRoom(const QString& roomKey);
    void selectNode(const QString& nodeId);
    QList<QString> filterNodeIds() const;
    std::optional<streaming::LiveRoom> currentRoom() const;
    std::optional<streaming::LiveRoom> chosenRoom() const;
    QString currentNodeId() const;

    void upsertAndShow(const streaming::LiveRoom& room) override;
    void removeRoom(const QString& roomKey) override;
    void applyPushState(const streaming::LiveRoom& state) override;
    void reloadRooms() override;
    void onStatusDelivered(const QString& roomKey, const QVariant& value);

    shell::Shell& shell_;
    NodeFilterCombo* filter_ = nullptr;
    PercentTableWidget* table_ = nullptr;
    QList<streaming::LiveRoom> rooms_;
    QSet<QString> collapsed_;
    // Why the last load of a Node's rooms failed, by Node id; shown on its Node row.
    QHash<QString, QString> loadFailures_;
    QList<streaming::LiveTableRow> rowMap_;
    bool loading_ = false;
    bool loadedOnce_ = false;
    streaming::LiveRoomActions actions_{shell_, *this};
};

// The 16 x 16 triangle of a Node row: pointing down when expanded, right when collapsed.
QIcon liveNodeIcon(bool expanded);
