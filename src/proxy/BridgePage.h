#pragma once

#include "proxy/ProxyBridgeRow.h"
#include "shell/Shell.h"

#include <QHash>
#include <QSet>
#include <QWidget>
#include <optional>

namespace fleet {
struct NodeRef;
}

class NodeFilterCombo;
class PercentTableWidget;

namespace proxy {

// The bridges of every Node (or of the Node in the page's filter) in one table, refreshed while the page
// is shown; create, edit, start, stop, test, copy and delete work on one bridge at a time.
class BridgePage : public QWidget {
public:
    explicit BridgePage(shell::Shell& shell, QWidget* parent = nullptr);

    // Asks every filtered Node with an Agent for its bridges; each reply merges that Node's rows as it
    // arrives, so a silent Agent holds back only its own. With showMessages the status line follows it.
    void refreshBridges(bool showMessages);
    void createBridge();
    void editBridge();
    void setBridgeRunning(bool start);
    void testBridgeUpstream();
    void copyBridgeConnection();
    void deleteBridge();
    // Sets the filter ("" = all Nodes) and refreshes with messages.
    void showOnlyNode(const QString& nodeId);

    PercentTableWidget* table() const { return table_; }
    NodeFilterCombo* filter() const { return filter_; }
    const QList<ProxyBridgeRow>& rows() const { return rows_; }

private:
    void buildPage();
    void showContextMenu(const QPoint& pos);
    void afterNodesLoaded();
    // The port for a new bridge on this Node: the preferred one unless the Node's proxy or one of its
    // known bridges holds it (the Agent would refuse it), else the next free one.
    int freeBridgePort(const Node& node, int preferred, const QString& busyText);
    void deliverList(const QString& nodeId, const BridgeListReply& list);
    // Asks these Nodes for their bridges (Nodes without Agent data get their failure row at once).
    void requestLists(const QList<fleet::NodeRef>& targets);
    // Reads the bridge's Node again every follow interval until its test is over or the limit passed.
    void followTest(const QString& nodeId, const QString& bridgeKey, int remainingMs);
    // The status line once every Node asked has answered: "中转已刷新" (when asked for), and which Nodes'
    // lists were cut or could not be read.
    void announceRefreshed();
    // Rewrites the table from the list. The selection stays on its bridge; when that is gone it moves to
    // the row at the same position, unless keepPosition is false (after a reload: nothing is selected).
    void render(const QString& selectKey = QString(), bool keepPosition = true);
    // The selected bridge as it stands now, and its Node; warns and gives nothing when either is missing.
    std::optional<ProxyBridgeRow> currentBridge() const;
    std::optional<Node> nodeOfBridge(const ProxyBridgeRow& row) const;
    // The current row and its Node (a copy), or nothing after telling the user why.
    struct ChosenBridge {
        ProxyBridgeRow row;
        Node node;
    };
    std::optional<ChosenBridge> chosenBridge() const;
    // One blocking request on the bridge's Node behind the busy state; the reply's row replaces the
    // bridge's row. Returns false (after warning with failurePrefix) when the Agent refused.
    bool sendBridgeRequest(const Node& node, const QString& method, const QString& path,
                           const QJsonObject& body, const QString& busyText, const QString& failurePrefix,
                           QJsonObject* reply);
    void adoptReply(const Node& node, const QJsonObject& reply);
    QString filterNodeId() const;

    shell::Shell& shell_;
    PercentTableWidget* table_ = nullptr;
    NodeFilterCombo* filter_ = nullptr;
    QList<ProxyBridgeRow> rows_; // every bridge known, of all Nodes
    QStringList shownKeys_;      // the key of each table row
    BridgeEdits edits_;
    QHash<QString, quint64> sentAt_; // Node id -> edit stamp when its list request was sent
    QSet<QString> awaited_;          // Nodes the status line waits for ("中转已刷新")
    bool announce_ = false;
    QSet<QString> cutNodes_;   // Nodes whose last list had more bridges than the page shows
    QSet<QString> unreadable_; // Nodes whose last list answer was no JSON object
    QString lastNotice_;
};

} // namespace proxy
