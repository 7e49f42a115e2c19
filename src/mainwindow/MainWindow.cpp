#include "mainwindow/MainWindow.h"

#include "crypto/NodeEnvelope.h"
#include "mainwindow/NodesPage.h"
#include "net/ApplicationProxy.h"
#include "net/RequestLayer.h"
#include "net/SignInState.h"
#include "ui/Dialogs.h"

#include <QComboBox>
#include <QJsonArray>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QStatusBar>
#include <QTimer>

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Ondivo"));
    resize(1060, 680);
    nodeStatusManager_ = new QNetworkAccessManager(this);
    proxyStatusManager_ = new QNetworkAccessManager(this);
    bridgeStatusManager_ = new QNetworkAccessManager(this);
    liveStatusManager_ = new QNetworkAccessManager(this);
    applyProxyToManagers();
    for (int i = 0; i < 4; ++i)
        nodeFilters_ << new QComboBox(this);
    for (QComboBox* combo : nodeFilters_)
        combo->hide();

    nodesPage_ = new NodesPage(this);
    setCentralWidget(nodesPage_);

    statusLabel_ = new QLabel(QStringLiteral("已登录 %1").arg(signInState().username), this);
    statusBar()->addWidget(statusLabel_, 1);
    QTimer::singleShot(0, this, [this] {
        setBusy(QStringLiteral("正在读取节点..."), true);
        setBusyText(QStringLiteral("加载节点..."));
        loadCloudNodes(false);
        setBusy(QStringLiteral("节点读取完成"), false);
    });
}

MainWindow::~MainWindow() = default;

void MainWindow::setBusy(const QString& text, bool on) {
    statusLabel_->setText(text);
    if (on)
        ++busyCount_;
    else if (busyCount_ > 0)
        --busyCount_;
}

void MainWindow::setBusyText(const QString& text) {
    statusLabel_->setText(text);
}

void MainWindow::setStatusText(const QString& text) {
    statusLabel_->setText(text);
}

QString MainWindow::statusText() const {
    return statusLabel_->text();
}

void MainWindow::updateStatusLine() {
    statusLabel_->setText(QStringLiteral("已登录 %1    云端节点: %2").arg(signInState().username).arg(nodes_.size()));
}

void MainWindow::applyProxyToManagers() {
    for (QNetworkAccessManager* manager :
         {nodeStatusManager_, proxyStatusManager_, bridgeStatusManager_, liveStatusManager_})
        manager->setProxy(net::applicationProxy());
}

QComboBox* MainWindow::nodeFilter(FilterPage page) const {
    return nodeFilters_.value(int(page));
}

void MainWindow::loadCloudNodes(bool showBusy) {
    if (loadingNodes_)
        return;
    loadingNodes_ = true;
    if (showBusy)
        setBusy(QStringLiteral("加载节点..."), true);
    int status = 0;
    const QJsonObject reply = net::cloudRequest(QStringLiteral("GET"), QStringLiteral("/api/cloud/nodes"), {}, true, &status);
    if (status < 1 || status > 299) {
        loadingNodes_ = false;
        if (showBusy)
            setBusy(QStringLiteral("节点加载完成"), false);
        ui::warning(this, QStringLiteral("加载云端节点失败"));
        return;
    }
    const QJsonArray entries = reply.value(QLatin1String("nodes")).toArray();
    QStringList envelopes;
    for (const QJsonValue& entry : entries)
        envelopes << entry.toObject().value(QLatin1String("encryptedBlob")).toString();
    const auto opened = crypto::openNodes(envelopes);
    loadingNodes_ = false;
    if (showBusy)
        setBusy(QStringLiteral("节点加载完成"), false);
    nodes_.clear();
    for (int i = 0; i < entries.size(); ++i) {
        if (!opened[i] || opened[i]->host.isEmpty())
            continue;
        Node node = *opened[i];
        const QJsonObject entry = entries[i].toObject();
        node.id = entry.value(QLatin1String("id")).toVariant().toString();
        const QString displayName = entry.value(QLatin1String("displayName")).toString().trimmed();
        if (!displayName.isEmpty())
            node.displayName = displayName;
        if (node.displayName.isEmpty())
            node.displayName = node.name;
        nodes_.append(node);
    }
    refreshAfterLoad();
}

void MainWindow::refreshAfterLoad() {
    nodesPage_->fillNodeRows();
    updateStatusLine();
    for (QComboBox* combo : nodeFilters_)
        rebuildNodeFilter(combo, nodes_);
}

void MainWindow::importNode() {}

void MainWindow::deleteSelectedNodes() {}
