#include "mainwindow/MainWindow.h"

#include "account/CloudNodeRules.h"
#include "account/SignInRules.h"
#include "app/DataPaths.h"
#include "app/Settings.h"
#include "app/UiText.h"
#include "history/FleetHistory.h"
#include "mainwindow/LoadingOverlay.h"
#include "mainwindow/MainWindowTiming.h"
#include "mainwindow/NavigationIcons.h"
#include "mainwindow/TopNavBar.h"
#include "model/SignInState.h"
#include "net/ApplicationProxy.h"
#include "shell/BusyScope.h"
#include "shell/PageShortcuts.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>
#include <QVBoxLayout>

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent), history_(std::make_unique<history::FleetHistory>(app::dataDirectory())),
      store_(*this) {
    setWindowTitle(QStringLiteral("Ondivo"));
    resize(1060, 680);
    applyApplicationStyle();

    navBar_ = new TopNavBar;
    pageStack_ = new QStackedWidget;
    for (auto& cycle : pollers_)
        cycle = std::make_unique<fleet::PollCycle>();
    applyNetworkProxy();
    store_.setAfterLoad([this] { refreshAfterLoad(); });
    statusPollTimer_ = new QTimer(this);
    livePollTimer_ = new QTimer(this);
    // The status line and the overlay exist before any page, so pages may use them while they are built.
    statusLabel_ = new QLabel(account::signedInLine(signInState().username), this);
    statusLabel_->setTextFormat(Qt::PlainText);
    statusBar()->addWidget(statusLabel_, 1);
    overlay_ = new LoadingOverlay(this);
    history_->setNoticeHandler(this, [this](const QString& text) { setStatusText(text); });

    for (int index = 0; index < kPageCount; ++index)
        pageStack_->addWidget(new QWidget);
    buildNavigation();

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(navBar_);
    layout->addWidget(pageStack_, 1);
    setCentralWidget(central);
    overlay_->setGeometry(rect());

    startTimers();
    restoreGeometryFromSettings();
    shell::installPageShortcuts(this, *this, [this]() -> const shell::PageHooks* {
        const int shown = pageStack_->currentIndex();
        return shown >= 0 && shown < kPageCount ? &pageHooks_[shown] : nullptr;
    });

    QTimer::singleShot(0, this, [this] {
        {
            shell::BusyScope busy(*this, QStringLiteral("正在读取节点..."), QStringLiteral("节点读取完成"));
            setBusyText(QStringLiteral("加载节点..."));
            store_.load(false);
        }
        // The busy text above replaced the account and Node count; bring them back once loaded.
        if (store_.lastLoadSucceeded())
            updateStatusLine();
    });
}

MainWindow::~MainWindow() {
    if (waitCursorSet_)
        QApplication::restoreOverrideCursor();
}

void MainWindow::applyApplicationStyle() {
    // The native Windows look where it exists; elsewhere the toolkit's portable style.
    const QString preferred = QStringLiteral("windowsvista");
    const bool available = QStyleFactory::keys().contains(preferred, Qt::CaseInsensitive);
    const QString wanted = available ? preferred : QStringLiteral("Fusion");
    if (QApplication::style()->name().compare(wanted, Qt::CaseInsensitive) != 0)
        QApplication::setStyle(wanted);
}

void MainWindow::installPages(const QList<shell::PageParts>& pages) {
    for (int index = 0; index < kPageCount && index < pages.size(); ++index) {
        QWidget* replacement = pages[index].widget;
        if (!replacement)
            continue;
        QWidget* old = pageStack_->widget(index);
        const bool wasShown = pageStack_->currentIndex() == index;
        pageStack_->insertWidget(index, replacement);
        if (old) {
            pageStack_->removeWidget(old);
            old->deleteLater();
        }
        if (wasShown)
            pageStack_->setCurrentIndex(index);
        pageHooks_[index] = pages[index].hooks;
    }
}

void MainWindow::buildNavigation() {
    static const char* const keys[kPageCount] = {"nav.nodes", "nav.proxy", "nav.bridge",  "nav.live",
                                                 "nav.rtmp",  "nav.files", "nav.settings"};
    for (int index = 0; index < kPageCount; ++index) {
        navBar_->addButton(app::uiText(QString::fromLatin1(keys[index])), navigationIcon(index),
                           [this, index] { selectPage(index); });
    }
    pageStack_->setCurrentIndex(int(shell::PageId::Nodes));
    navBar_->checkOnly(int(shell::PageId::Nodes));
}

void MainWindow::startTimers() {
    statusPollTimer_->setInterval(mainwindow::timing.statusPollMs);
    livePollTimer_->setInterval(mainwindow::timing.livePollMs);
    connect(statusPollTimer_, &QTimer::timeout, this, [this] { onStatusTick(); });
    connect(livePollTimer_, &QTimer::timeout, this, [this] { onLiveTick(); });
    statusPollTimer_->start();
    livePollTimer_->start();
}

void MainWindow::restoreGeometryFromSettings() {
    const QByteArray geometry = settings::readBytes(settings::key::mainGeometry);
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    const QByteArray state = settings::readBytes(settings::key::mainState);
    if (!state.isEmpty())
        restoreState(state);
}

void MainWindow::onStatusTick() {
    const int shown = pageStack_->currentIndex();
    for (int index = 0; index < kPageCount; ++index) {
        const shell::PageHooks& hooks = pageHooks_[index];
        if (hooks.onStatusTick && (index == shown || hooks.statusTickWhileHidden))
            hooks.onStatusTick();
    }
}

void MainWindow::onLiveTick() {
    const int shown = pageStack_->currentIndex();
    if (shown >= 0 && shown < kPageCount && pageHooks_[shown].onLiveTick)
        pageHooks_[shown].onLiveTick();
}

QWidget* MainWindow::page(int index) const {
    return pageStack_->widget(index);
}

void MainWindow::selectPage(int index) {
    if (index < 0 || index >= kPageCount)
        return;
    pageStack_->setCurrentIndex(index);
    navBar_->checkOnly(index);
    if (pageStatus_[index].isEmpty())
        updateStatusLine();
    else
        statusLabel_->setText(pageStatus_[index]);
    if (pageHooks_[index].onSelected)
        pageHooks_[index].onSelected();
}

shell::PageId MainWindow::currentPage() const {
    return shell::PageId(pageStack_->currentIndex());
}

void MainWindow::whenNodesLoaded(QObject* context, std::function<void()> callback) {
    afterLoad_.add(context, std::move(callback));
}

void MainWindow::refreshAfterLoad() {
    updateStatusLine();
    afterLoad_.run();
}

void MainWindow::engineActionDone(fleet::Engine engine) {
    afterEngineAction_.run(engine);
}

void MainWindow::whenEngineActionDone(QObject* context, std::function<void(fleet::Engine)> callback) {
    afterEngineAction_.add(context, std::move(callback));
}

void MainWindow::setLastAgentVersion(const QString& nodeId, const QString& version) {
    store_.setLastAgentVersion(nodeId, version);
}

void MainWindow::deleteNodes(const QList<Node>& selected) {
    store_.deleteNodes(selected);
    // Only what the Cloud API really deleted loses its history.
    for (const Node& node : selected) {
        if (!nodeById(node.id))
            history_->forgetNode(node.id);
    }
}

void MainWindow::reveal(shell::PageId page, const QString& key) {
    selectPage(int(page));
    const shell::PageHooks& hooks = pageHooks_[int(page)];
    if (hooks.onReveal)
        hooks.onReveal(key);
}

void MainWindow::addToTopBar(QWidget* widget) {
    navBar_->addTrailingWidget(widget);
}

void MainWindow::adoptWindow(QWidget* window) {
    adopted_.removeAll(nullptr);
    adopted_.append(window);
}

void MainWindow::coverWithOverlay() {
    overlay_->setGeometry(rect());
    if (overlay_->isVisible())
        overlay_->raise();
}

void MainWindow::setBusy(const QString& text, bool on) {
    statusLabel_->setText(text);
    if (!on)
        rememberPageStatus(text);
    const BusyCounter::Change change = on ? busy_.turnOn() : busy_.turnOff();
    switch (change) {
    case BusyCounter::Change::Started:
        if (!waitCursorSet_) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            waitCursorSet_ = true;
        }
        coverWithOverlay();
        overlay_->showMessage(text, QString());
        break;
    case BusyCounter::Change::Retitled:
        if (overlay_->isVisible())
            overlay_->showMessage(text, QString());
        break;
    case BusyCounter::Change::Ended:
        overlay_->hide();
        if (waitCursorSet_) {
            QApplication::restoreOverrideCursor();
            waitCursorSet_ = false;
        }
        break;
    case BusyCounter::Change::None:
        break;
    }
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void MainWindow::setBusyText(const QString& text) {
    statusLabel_->setText(text);
    if (!overlay_->isVisible())
        return;
    coverWithOverlay();
    overlay_->showMessage(text, QString());
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void MainWindow::rememberPageStatus(const QString& text) {
    const int page = pageStack_->currentIndex();
    if (page >= 0 && page < kPageCount)
        pageStatus_[page] = text;
}

void MainWindow::setStatusText(const QString& text) {
    rememberPageStatus(text);
    statusLabel_->setText(text);
}

QString MainWindow::statusText() const {
    return statusLabel_->text();
}

void MainWindow::updateStatusLine() {
    statusLabel_->setText(account::statusLine(signInState().username, int(nodes().size())));
}

void MainWindow::applyNetworkProxy() {
    const QNetworkProxy proxy = net::applicationProxy();
    for (const auto& cycle : pollers_)
        cycle->setProxy(proxy);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (overlay_)
        coverWithOverlay();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    settings::writeBytes(settings::key::mainGeometry, saveGeometry());
    settings::writeBytes(settings::key::mainState, saveState());
    QMainWindow::closeEvent(event);
    // Node and preview windows belong to this session; closing the main window ends it, so they close
    // with it instead of living on in the background.
    if (!event->isAccepted())
        return;
    closeAdoptedWindows();
    if (onClosed_)
        onClosed_();
}

void MainWindow::closeAdoptedWindows() {
    const auto windows = adopted_;
    for (const QPointer<QWidget>& window : windows) {
        if (window && window->isVisible())
            window->close();
    }
}

void MainWindow::signOut() {
    account::forgetSignIn();
    signedOut_ = true;
    statusPollTimer_->stop();
    livePollTimer_->stop();
    // A fresh poller for each kind drops the requests still waiting, so no late reply reaches a page.
    for (auto& cycle : pollers_)
        cycle = std::make_unique<fleet::PollCycle>();
    closeAdoptedWindows();
    // The next sign-in fills the account again; nothing of this one may be used until then.
    signInState() = SignInState{signInState().username, QString(), QString()};
    close();
}
