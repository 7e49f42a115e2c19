#pragma once

#include "account/CloudNodeStore.h"
#include "app/ContextCallbacks.h"
#include "fleet/PollCycle.h"
#include "mainwindow/BusyCounter.h"
#include "releases/ReleaseManifests.h"
#include "shell/Shell.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <array>
#include <functional>
#include <memory>

namespace history {
class FleetHistory;
}
class LoadingOverlay;
class QLabel;
class QStackedWidget;
class QTimer;
class TopNavBar;

// The client's one main window: holds the cloud Node store, the pages, the busy state, the status line,
// the pollers and the two polling timers. Pages reach it only through the shell interface.
class MainWindow : public QMainWindow, public shell::Shell {
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Puts the pages in navigation order (one per shell::PageId; missing ones stay empty).
    void installPages(const QList<shell::PageParts>& pages);

    // shell::Shell
    const QList<Node>& nodes() const override { return store_.nodes(); }
    void reloadNodes(bool showBusy) override { store_.load(showBusy); }
    void whenNodesLoaded(QObject* context, std::function<void()> callback) override;
    void setLastAgentVersion(const QString& nodeId, const QString& version) override;
    void importNode() override { store_.importNode(); }
    void deleteNodes(const QList<Node>& selected) override;
    void engineActionDone(fleet::Engine engine) override;
    void whenEngineActionDone(QObject* context, std::function<void(fleet::Engine)> callback) override;
    void setBusy(const QString& text, bool on) override;
    void setBusyText(const QString& text) override;
    bool isBusy() const override { return busy_.count() > 0; }
    void setStatusText(const QString& text) override;
    QString statusText() const override;
    QWidget* dialogParent() override { return this; }
    fleet::PollCycle& poller(shell::PollKind kind) override { return *pollers_[size_t(kind)]; }
    void applyNetworkProxy() override;
    ReleaseManifests& manifests() override { return manifests_; }
    void addToTopBar(QWidget* widget) override;
    void adoptWindow(QWidget* window) override;
    void showPage(shell::PageId page) override { selectPage(int(page)); }
    shell::PageId currentPage() const override;
    void signOut() override;
    history::FleetHistory* fleetHistory() override { return history_.get(); }

    // Shows the page and there the row of this key (a Node id, a room key).
    void reveal(shell::PageId page, const QString& key);

    // Whether the window ended by signing out (the client then asks for a sign-in again).
    bool signedOut() const { return signedOut_; }
    // Runs once the window has closed, whichever way.
    void setOnClosed(std::function<void()> callback) { onClosed_ = std::move(callback); }

    int busyCount() const { return busy_.count(); }
    void updateStatusLine();

    // Pages and navigation.
    QWidget* page(int index) const;
    // What a click on navigation button index does: show the page, check only that button, run the
    // page's selection hook.
    void selectPage(int index);
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
    void buildNavigation();
    void startTimers();
    void restoreGeometryFromSettings();
    void coverWithOverlay();
    void onStatusTick();
    void onLiveTick();
    void refreshAfterLoad();
    void closeAdoptedWindows();

    static constexpr int kPageCount = int(shell::PageId::Count);

    // Before the Node store: the store's deletions reach it.
    std::unique_ptr<history::FleetHistory> history_;
    CloudNodeStore store_;
    ReleaseManifests manifests_;
    TopNavBar* navBar_ = nullptr;
    QStackedWidget* pageStack_ = nullptr;
    LoadingOverlay* overlay_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    BusyCounter busy_;
    bool waitCursorSet_ = false;
    std::array<shell::PageHooks, kPageCount> pageHooks_;
    // The status line each page last wrote, shown again when it is selected: a message never outlives
    // the page it was about (and with it nothing a page chose to show stays on screen elsewhere).
    std::array<QString, kPageCount> pageStatus_;
    void rememberPageStatus(const QString& text);
    app::ContextCallbacks<> afterLoad_;
    QList<QPointer<QWidget>> adopted_;
    app::ContextCallbacks<fleet::Engine> afterEngineAction_;
    QTimer* statusPollTimer_ = nullptr;
    QTimer* livePollTimer_ = nullptr;
    std::array<std::unique_ptr<fleet::PollCycle>, size_t(shell::PollKind::Count)> pollers_;
    bool signedOut_ = false;
    std::function<void()> onClosed_;
};
