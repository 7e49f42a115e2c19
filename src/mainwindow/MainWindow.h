#pragma once

#include "mainwindow/BusyCounter.h"
#include "model/Node.h"
#include "settings/ReleaseManifests.h"

#include <QList>
#include <QMainWindow>
#include <array>
#include <functional>

class LoadingOverlay;
class NodesPage;
class QComboBox;
class QLabel;
class QNetworkAccessManager;
class QStackedWidget;
class QTimer;
class TopNavBar;

// The client's one main window: owns the Node list, the pages, the busy state, the status line, the
// shared access managers of the pollers and the two polling timers.
class MainWindow : public QMainWindow {
public:
    // The pages whose node filter combo box the window keeps.
    enum class FilterPage { Bridge, Live, Rtmp, Files };

    // Page index = navigation button index.
    enum Page {
        NodesPageIndex,
        ProxyPageIndex,
        BridgePageIndex,
        LivePageIndex,
        RtmpPageIndex,
        FilesPageIndex,
        SettingsPageIndex,
        PageCount
    };

    // What a page wants done for it by the window; any of them may be empty.
    struct PageHooks {
        std::function<void()> onSelected;   // after its navigation button was clicked
        std::function<void()> onStatusTick; // every status poll tick while the page is shown
        std::function<void()> onLiveTick;   // every live poll tick while the page is shown
    };

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
    int busyCount() const { return busy_.count(); }
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

    // Pages and navigation.
    QWidget* page(int index) const;
    // Puts page in place of the one at index (the old one is deleted) and registers its hooks.
    void replacePage(int index, QWidget* page, PageHooks hooks = {});
    void setPageHooks(int index, PageHooks hooks);
    // What a click on navigation button index does: show the page, check only that button, run the
    // page's selection hook.
    void selectPage(int index);
    int currentPage() const;
    TopNavBar* navigationBar() const { return navBar_; }
    QStackedWidget* pageStack() const { return pageStack_; }
    LoadingOverlay* loadingOverlay() const { return overlay_; }
    QTimer* statusPollTimer() const { return statusPollTimer_; }
    QTimer* livePollTimer() const { return livePollTimer_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void applyApplicationStyle();
    void buildPages();
    void buildNavigation();
    void startTimers();
    void restoreGeometryFromSettings();
    void coverWithOverlay();
    void onStatusTick();
    void onLiveTick();
    void refreshAfterLoad();
    bool deleteOneNode(const Node& node, QStringList& failures);

    QList<Node> nodes_;
    ReleaseManifests manifests_;
    NodesPage* nodesPage_ = nullptr;
    TopNavBar* navBar_ = nullptr;
    QStackedWidget* pageStack_ = nullptr;
    LoadingOverlay* overlay_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    BusyCounter busy_;
    bool waitCursorSet_ = false;
    bool loadingNodes_ = false;
    bool lastLoadSucceeded_ = false;
    std::array<PageHooks, PageCount> pageHooks_;
    QTimer* statusPollTimer_ = nullptr;
    QTimer* livePollTimer_ = nullptr;
    QNetworkAccessManager* nodeStatusManager_ = nullptr;
    QNetworkAccessManager* proxyStatusManager_ = nullptr;
    QNetworkAccessManager* bridgeStatusManager_ = nullptr;
    QNetworkAccessManager* liveStatusManager_ = nullptr;
    QList<QComboBox*> nodeFilters_;
};
