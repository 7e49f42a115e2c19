#include "mainwindow/MainWindow.h"


#include "app/Settings.h"
#include "app/UiText.h"
#include "console/NodeWindow.h"
#include "mainwindow/CloudNodeRules.h"
#include "mainwindow/LoadingOverlay.h"
#include "mainwindow/NavigationIcons.h"
#include "mainwindow/NodesPage.h"
#include "mainwindow/TopNavBar.h"
#include "mainwindow/WindowTiming.h"
#include "net/ApplicationProxy.h"
#include "net/SignInState.h"
#include "settings/SettingsPage.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyleFactory>
#include <QTimer>
#include <QVBoxLayout>

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Ondivo"));
    resize(1060, 680);
    applyApplicationStyle();

    navBar_ = new TopNavBar;
    pageStack_ = new QStackedWidget;
    nodeStatusManager_ = new QNetworkAccessManager(this);
    proxyStatusManager_ = new QNetworkAccessManager(this);
    bridgeStatusManager_ = new QNetworkAccessManager(this);
    liveStatusManager_ = new QNetworkAccessManager(this);
    applyProxyToManagers();
    statusPollTimer_ = new QTimer(this);
    livePollTimer_ = new QTimer(this);
    for (int i = 0; i < 4; ++i) {
        auto* combo = new QComboBox(this);
        combo->hide();
        nodeFilters_ << combo;
    }
    // The status line and the overlay exist before any page, so pages may use them while they are built.
    statusLabel_ = new QLabel(cloudnodes::signedInLine(signInState().username), this);
    statusLabel_->setTextFormat(Qt::PlainText);
    statusBar()->addWidget(statusLabel_, 1);
    overlay_ = new LoadingOverlay(this);

    buildPages();
    buildNavigation();
    installSettingsPage(*this);

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

    QTimer::singleShot(0, this, [this] {
        setBusy(QStringLiteral("正在读取节点..."), true);
        setBusyText(QStringLiteral("加载节点..."));
        loadCloudNodes(false);
        setBusy(QStringLiteral("节点读取完成"), false);
        // The busy text above replaced the account and Node count; bring them back once loaded.
        if (lastLoadSucceeded_)
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

void MainWindow::buildPages() {
    nodesPage_ = new NodesPage(this);
    pageStack_->addWidget(nodesPage_);
    // Pages not built yet are plain placeholders until their owners replace them.
    for (int index = ProxyPageIndex; index < PageCount; ++index)
        pageStack_->addWidget(new QWidget);
}

void MainWindow::buildNavigation() {
    static const char* const keys[PageCount] = {"nav.nodes", "nav.proxy", "nav.bridge",  "nav.live",
                                                "nav.rtmp",  "nav.files", "nav.settings"};
    for (int index = 0; index < PageCount; ++index) {
        navBar_->addButton(app::uiText(QString::fromLatin1(keys[index])), navigationIcon(index),
                           [this, index] { selectPage(index); });
    }
    navBar_->addClosingStretch();
    pageStack_->setCurrentIndex(NodesPageIndex);
    navBar_->checkOnly(NodesPageIndex);
}

void MainWindow::startTimers() {
    statusPollTimer_->setInterval(mainwindow::timing::statusPollMs);
    livePollTimer_->setInterval(mainwindow::timing::livePollMs);
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
    if (nodesPage_)
        nodesPage_->refreshNodeStatuses();
    const int shown = currentPage();
    // Only the proxy, bridge and RTMP pages refresh with the status poll.
    if (shown == ProxyPageIndex || shown == BridgePageIndex || shown == RtmpPageIndex) {
        if (pageHooks_[shown].onStatusTick)
            pageHooks_[shown].onStatusTick();
    }
}

void MainWindow::onLiveTick() {
    if (currentPage() == LivePageIndex && pageHooks_[LivePageIndex].onLiveTick)
        pageHooks_[LivePageIndex].onLiveTick();
}

QWidget* MainWindow::page(int index) const {
    return pageStack_->widget(index);
}

void MainWindow::replacePage(int index, QWidget* replacement, PageHooks hooks) {
    if (index < 0 || index >= PageCount || !replacement)
        return;
    const bool wasShown = currentPage() == index;
    QWidget* old = pageStack_->widget(index);
    pageStack_->insertWidget(index, replacement);
    if (old) {
        pageStack_->removeWidget(old);
        if (old == nodesPage_)
            nodesPage_ = nullptr;
        old->deleteLater();
    }
    if (wasShown)
        pageStack_->setCurrentIndex(index);
    pageHooks_[index] = std::move(hooks);
}

void MainWindow::setPageHooks(int index, PageHooks hooks) {
    if (index >= 0 && index < PageCount)
        pageHooks_[index] = std::move(hooks);
}

void MainWindow::selectPage(int index) {
    if (index < 0 || index >= PageCount)
        return;
    pageStack_->setCurrentIndex(index);
    navBar_->checkOnly(index);
    if (pageHooks_[index].onSelected)
        pageHooks_[index].onSelected();
}

int MainWindow::currentPage() const {
    return pageStack_->currentIndex();
}

void MainWindow::coverWithOverlay() {
    overlay_->setGeometry(rect());
    if (overlay_->isVisible())
        overlay_->raise();
}

void MainWindow::setBusy(const QString& text, bool on) {
    statusLabel_->setText(text);
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

void MainWindow::setStatusText(const QString& text) {
    statusLabel_->setText(text);
}

QString MainWindow::statusText() const {
    return statusLabel_->text();
}

void MainWindow::updateStatusLine() {
    statusLabel_->setText(cloudnodes::statusLine(signInState().username, int(nodes_.size())));
}

void MainWindow::applyProxyToManagers() {
    const QNetworkProxy proxy = net::applicationProxy();
    for (QNetworkAccessManager* manager :
         {nodeStatusManager_, proxyStatusManager_, bridgeStatusManager_, liveStatusManager_})
        manager->setProxy(proxy);
}

QComboBox* MainWindow::nodeFilter(FilterPage page) const {
    return nodeFilters_.value(int(page));
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
    // Node windows live off this window's Node list and pollers; closing the main window ends the
    // session, so they close with it instead of keeping a hidden window polling in the background.
    if (event->isAccepted()) {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (dynamic_cast<NodeWindow*>(widget) && widget->isVisible())
                widget->close();
        }
    }
}
