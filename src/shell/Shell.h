#pragma once

#include "fleet/Engine.h"
#include "model/Node.h"

#include <QList>
#include <QString>
#include <functional>

class QObject;
class QWidget;
class ReleaseManifests;

namespace fleet {
class PollCycle;
}
namespace history {
class FleetHistory;
}

namespace shell {

// The pages of the main window, in navigation order.
enum class PageId { Nodes, Proxy, Bridge, Live, Rtmp, Files, Settings, Count };

// The pollers the window keeps, one per kind of poll; each runs its network work on its own thread
// and carries the application proxy.
enum class PollKind { NodeStatus, ProxyStatus, BridgeStatus, LiveStatus, RtmpStatus, Count };

// What a page wants done for it by the window; any of them may be empty.
struct PageHooks {
    std::function<void()> onSelected;   // after its navigation button was clicked
    std::function<void()> onStatusTick; // every status tick (5 s) while the page is shown
    std::function<void()> onLiveTick;   // every live tick (1 s) while the page is shown
    bool statusTickWhileHidden = false; // the nodes page polls every Node whatever page is shown

    // The window's keys, sent to the page shown (never while the busy overlay is up).
    std::function<void()> onRefresh;  // F5: reload what the page shows
    std::function<void()> onDelete;   // Delete: the page's delete action for the selection
    std::function<void()> onActivate; // Enter: the current row, as a double-click does
    std::function<void()> onFind;     // Ctrl+F: focus the page's filter

    // Shows the row of this key (a Node id, a room key), as an event in the event list asks.
    std::function<void(const QString& key)> onReveal;
};

// A page as the composition hands it to the window.
struct PageParts {
    QWidget* widget = nullptr;
    PageHooks hooks;
};

// What a page, a Node action, the settings page or a Node window may ask of the window it lives in.
// The main window implements it; tests use a fake.
class Shell {
public:
    virtual ~Shell() = default;

    // The Node list in the Cloud API's order (read-only); row i of the nodes table is Node i.
    virtual const QList<Node>& nodes() const = 0;
    // Reloads the Node list from the Cloud API (blocking); with showBusy behind the busy overlay.
    virtual void reloadNodes(bool showBusy) = 0;
    // Runs callback after every Node list load, for as long as context lives.
    virtual void whenNodesLoaded(QObject* context, std::function<void()> callback) = 0;
    // Remembers the Agent version a status reply reported for the Node with this id.
    virtual void setLastAgentVersion(const QString& nodeId, const QString& version) = 0;
    // The cloud node store's actions: import one Node from its code; delete these Nodes (copies taken
    // when the user chose them) after asking.
    virtual void importNode() = 0;
    virtual void deleteNodes(const QList<Node>& selected) = 0;

    // Node maintenance tells here when an engine action on Nodes has finished; pages whose lists come
    // from that engine (RTMP rooms, proxies, bridges) refresh then.
    virtual void engineActionDone(fleet::Engine engine) = 0;
    virtual void whenEngineActionDone(QObject* context, std::function<void(fleet::Engine)> callback) = 0;

    // Counted busy state with the overlay; the status line.
    virtual void setBusy(const QString& text, bool on) = 0;
    virtual void setBusyText(const QString& text) = 0;
    virtual bool isBusy() const = 0;
    virtual void setStatusText(const QString& text) = 0;
    virtual QString statusText() const = 0;

    // The parent of message boxes and dialogs.
    virtual QWidget* dialogParent() = 0;
    // The poller of a kind of poll.
    virtual fleet::PollCycle& poller(PollKind kind) = 0;
    // Hands the stored network setting to every poller (after the proxy dialog).
    virtual void applyNetworkProxy() = 0;
    // The release manifests kept for the session.
    virtual ReleaseManifests& manifests() = 0;

    // Puts a widget at the end of the top bar (after a stretch).
    virtual void addToTopBar(QWidget* widget) = 0;
    // A top-level window opened on behalf of the window (Node window, preview); it closes with the
    // main window.
    virtual void adoptWindow(QWidget* window) = 0;
    virtual void showPage(PageId page) = 0;
    virtual PageId currentPage() const = 0;
    // Ends the session: forgets the remembered password and automatic sign-in, stops the pollers,
    // closes the adopted windows and the window; the client then asks for a sign-in again.
    virtual void signOut() = 0;

    // The history of every Node and the event list; null where none is kept.
    virtual history::FleetHistory* fleetHistory() { return nullptr; }

    // The Node with this id as it is now, or nullptr when it is gone.
    const Node* nodeById(const QString& id) const {
        for (const Node& node : nodes()) {
            if (node.id == id)
                return &node;
        }
        return nullptr;
    }
    int indexOfNode(const QString& id) const {
        const QList<Node>& list = nodes();
        for (int i = 0; i < list.size(); ++i) {
            if (list[i].id == id)
                return i;
        }
        return -1;
    }
};

} // namespace shell
