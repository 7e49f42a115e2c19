#pragma once

#include "model/Node.h"
#include "settings/ReleaseManifests.h"

#include <QList>
#include <QMainWindow>

class QComboBox;
class QLabel;
class QNetworkAccessManager;
class NodesPage;

// The client's one main window: owns the Node list, the pages, the busy state, the status line, the
// shared access managers of the pollers and the two polling timers.
class MainWindow : public QMainWindow {
public:
    // The pages whose node filter combo box the window keeps.
    enum class FilterPage { Bridge, Live, Rtmp, Files };

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // The Node list, in the Cloud API's order; row i of the nodes table is Node i.
    const QList<Node>& nodes() const { return nodes_; }
    QList<Node>& nodes() { return nodes_; }

    // Counted busy state with the overlay, and the status line.
    void setBusy(const QString& text, bool on);
    void setBusyText(const QString& text);
    void setStatusText(const QString& text);
    QString statusText() const;
    int busyCount() const { return busyCount_; }
    void updateStatusLine();

    // Cloud node store.
    void loadCloudNodes(bool showBusy);
    void importNode();
    void deleteSelectedNodes();

    // Shared access managers of the pollers; they carry the application proxy.
    QNetworkAccessManager* nodeStatusManager() const { return nodeStatusManager_; }
    QNetworkAccessManager* proxyStatusManager() const { return proxyStatusManager_; }
    QNetworkAccessManager* bridgeStatusManager() const { return bridgeStatusManager_; }
    QNetworkAccessManager* liveStatusManager() const { return liveStatusManager_; }
    void applyProxyToManagers();

    ReleaseManifests& manifests() { return manifests_; }
    NodesPage* nodesPage() const { return nodesPage_; }
    QComboBox* nodeFilter(FilterPage page) const;

private:
    void refreshAfterLoad();

    QList<Node> nodes_;
    ReleaseManifests manifests_;
    NodesPage* nodesPage_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    int busyCount_ = 0;
    bool loadingNodes_ = false;
    QNetworkAccessManager* nodeStatusManager_ = nullptr;
    QNetworkAccessManager* proxyStatusManager_ = nullptr;
    QNetworkAccessManager* bridgeStatusManager_ = nullptr;
    QNetworkAccessManager* liveStatusManager_ = nullptr;
    QList<QComboBox*> nodeFilters_;
};
