#pragma once

#include "app/ContextCallbacks.h"
#include "fleet/PollCycle.h"
#include "releases/ReleaseManifests.h"
#include "shell/Shell.h"

#include <QHBoxLayout>
#include <QPointer>
#include <QWidget>
#include <array>
#include <memory>

namespace testsupport {

// A shell without a main window: a page test builds its page on this alone. It keeps a Node list the
// test sets, counts busy calls, records status texts and runs the real pollers.
class FakeShell : public shell::Shell {
public:
    FakeShell() {
        window_.resize(1100, 700);
        auto* layout = new QHBoxLayout(&window_);
        layout->setContentsMargins(0, 0, 0, 0);
        for (auto& cycle : pollers_)
            cycle = std::make_unique<fleet::PollCycle>();
    }

    // Puts a page into the fake window (the window owns it) and shows it when asked.
    void host(QWidget* page, bool show = false) {
        window_.layout()->addWidget(page);
        if (show)
            window_.show();
    }
    QWidget& window() { return window_; }

    // Replaces the Node list and runs the after-load callbacks, as a successful reload does.
    void setNodes(const QList<Node>& nodes) {
        nodes_ = nodes;
        runLoadedCallbacks();
    }
    // What reloadNodes() loads next (the list stays as it is when never set).
    void setReloadResult(const QList<Node>& nodes) {
        reloadResult_ = nodes;
        hasReloadResult_ = true;
    }

    const QList<Node>& nodes() const override { return nodes_; }
    void reloadNodes(bool) override {
        ++reloads;
        if (hasReloadResult_)
            nodes_ = reloadResult_;
        runLoadedCallbacks();
    }
    void whenNodesLoaded(QObject* context, std::function<void()> callback) override {
        loaded_.add(context, std::move(callback));
    }
    void setLastAgentVersion(const QString& nodeId, const QString& version) override {
        for (Node& node : nodes_) {
            if (node.id == nodeId)
                node.lastAgentVersion = version;
        }
    }
    void importNode() override { ++imports; }
    void deleteNodes(const QList<Node>& selected) override { deleted << selected; }

    void engineActionDone(fleet::Engine engine) override {
        engineActions << engine;
        engineDone_.run(engine);
    }
    void whenEngineActionDone(QObject* context, std::function<void(fleet::Engine)> callback) override {
        engineDone_.add(context, std::move(callback));
    }
    void setBusy(const QString& text, bool on) override {
        status_ = text;
        busyTexts << text;
        busy_ += on ? 1 : (busy_ > 0 ? -1 : 0);
        if (on)
            ++busyStarts;
    }
    void setBusyText(const QString& text) override {
        status_ = text;
        busyTexts << text;
    }
    bool isBusy() const override { return busy_ > 0; }
    void setStatusText(const QString& text) override {
        status_ = text;
        statusTexts << text;
    }
    QString statusText() const override { return status_; }

    QWidget* dialogParent() override { return &window_; }
    fleet::PollCycle& poller(shell::PollKind kind) override { return *pollers_[size_t(kind)]; }
    void applyNetworkProxy() override { ++proxyApplied; }
    ReleaseManifests& manifests() override { return manifests_; }
    void addToTopBar(QWidget* widget) override { topBar << widget; }
    void adoptWindow(QWidget* window) override { adopted << window; }
    void showPage(shell::PageId page) override { current_ = page; }
    shell::PageId currentPage() const override { return current_; }
    void signOut() override { ++signOuts; }

    int reloads = 0;
    int imports = 0;
    int busyStarts = 0;
    int proxyApplied = 0;
    int signOuts = 0;
    QList<QList<Node>> deleted;
    QList<fleet::Engine> engineActions;
    QStringList busyTexts;
    QStringList statusTexts;
    QList<QPointer<QWidget>> topBar;
    QList<QPointer<QWidget>> adopted;

private:
    void runLoadedCallbacks() { loaded_.run(); }

    QWidget window_;
    QList<Node> nodes_;
    QList<Node> reloadResult_;
    bool hasReloadResult_ = false;
    app::ContextCallbacks<> loaded_;
    app::ContextCallbacks<fleet::Engine> engineDone_;
    int busy_ = 0;
    QString status_;
    ReleaseManifests manifests_;
    shell::PageId current_ = shell::PageId::Nodes;
    std::array<std::unique_ptr<fleet::PollCycle>, size_t(shell::PollKind::Count)> pollers_;
};

} // namespace testsupport
