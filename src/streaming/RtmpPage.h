#pragma once

#include "fleet/NodeBatch.h"
#include "streaming/RtmpRoom.h"
#include "streaming/RtmpRoomActions.h"

#include <QSet>
#include <QWidget>
#include <memory>
#include <optional>

class NodeFilterCombo;
class PercentTableWidget;
class QMenu;

namespace fleet {
struct PollReply;
}

namespace shell {
class Shell;
}

namespace streaming {

// The RTMP page: the MediaMTX rooms of the chosen Nodes in one table, with their addresses and state,
// and the context menu that creates, edits, switches, re-keys, copies, previews and deletes them.
//
// Loads ask every chosen Node at once and merge each Node's rows as its reply arrives, so one slow
// Node holds up only its own rows; a Node whose previous request still waits is skipped. Replies find
// their Node again by id after every wait. The actions themselves live in RtmpRoomActions; the page
// keeps the table, the filter and the menu.
class RtmpPage : public QWidget, public RtmpRoomRows {
public:
    explicit RtmpPage(shell::Shell& shell, QWidget* parent = nullptr);

    // Quiet loads only refresh; loud ones report in the status line when every asked Node answered.
    void loadRooms(bool loud);
    bool isLoading() const;

    // Menu actions; each works on the current row.
    void createRoom();
    void editRoom();
    void roomAction(const QString& action);
    void deleteRoom();
    void viewLog();
    void copyField(RtmpCopyField field, const QString& label);
    void openPreview();
    void watchLive();
    // Sets the node filter to the Node with this id ("" = all Nodes) and loads loudly.
    void filterByNode(const QString& nodeId);

    // The context menu for the current row (the row under the cursor is made current first).
    std::unique_ptr<QMenu> createContextMenu();

    const RtmpRoomList& rooms() const { return list_; }
    PercentTableWidget* table() const { return table_; }
    NodeFilterCombo* nodeFilter() const { return filter_; }

private:
    void buildTable();
    void onNodesLoaded();
    void onStatusReply(const fleet::PollReply& reply);
    // "RTMP 房间加载完成", with the Nodes whose lists were cut named after it.
    QString loadedText() const;
    void applyNodeRows(int nodeIndex, const QList<RtmpRoom>& rows);
    void redraw(int selectRow);
    void fillRow(int row, const RtmpRoom& room);
    std::optional<RtmpRoomTarget> currentRoomTarget();
    void adoptRoom(const RtmpRoom& fresh) override;
    void removeRoom(const RtmpRoom& removed) override;
    void reloadRooms() override;
    std::optional<fleet::NodeRef> nodeForLog() const;

    shell::Shell& shell_;
    NodeFilterCombo* filter_ = nullptr;
    PercentTableWidget* table_ = nullptr;
    RtmpRoomList list_;
    QSet<QString> loudPending_; // Node ids a loud load still waits for
    RtmpRoomActions actions_{shell_, *this};
    QSet<QString> cutNodes_; // Node ids whose last list had more rooms than the page shows
};

// The rows of the RTMP page inside this window (the page as it stands, not asked afresh); empty when the
// window holds no RTMP page.
QList<RtmpRoom> rtmpRowsShownIn(const QWidget* window);

} // namespace streaming
