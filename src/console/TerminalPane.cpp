#include "console/TerminalPane.h"

#include "app/DataPaths.h"
#include "console/TerminalAccess.h"
#include "console/TerminalAssetServer.h"
#include "console/TerminalBridge.h"
#include "ui/Dialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The asset folder beside the program, else the one under the working directory (a developer run).
QString findAssetDirectory() {
    const QString besideProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/assets");
    if (QFileInfo::exists(besideProgram + QStringLiteral("/terminal.html")))
        return besideProgram;
    return QDir::currentPath() + QStringLiteral("/assets");
}

} // namespace

TerminalPane::TerminalPane(const Node& node, QWidget* parent) : QWidget(parent), node_(node) {
    bridge_ = new TerminalBridge(node_, this);
    if (!bridge_->listen()) {
        ui::warning(this, QStringLiteral("本地终端桥接服务启动失败。"));
        return;
    }
    if (!startAssetServer()) {
        ui::warning(this, QStringLiteral(
                              "Terminal assets were not found or the local asset server failed to start."));
        return;
    }
    bridge_->setPageOrigin(console::assetOrigin(assetServer_->serverPort()));
    bridge_->setTrustChangedKey([this](const QString& question) { return ui::question(this, question); });

    // A plain child, not a native one: the web engine composites its view into the top-level window,
    // and a native child window in between leaves the whole window black on X11 without a GPU.
    hostWidget_ = new QWidget(this);
    hostWidget_->setStyleSheet(QStringLiteral("background:#0c0c0c;"));
    hostWidget_->setMinimumSize(640, 360);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(hostWidget_, 1);
    layout->addWidget(createReconnectBar());
    webHost_ = webview::WebEngineHost(hostWidget_);
    bridge_->setOnSessionEnded([this] { reconnectBar_->show(); });

    initWebView();
    // ssh starts even when the view failed: the session is there once the page can connect.
    bridge_->startSsh();
}

TerminalPane::~TerminalPane() {
    // ssh first (it is terminated and waited for), then the key's folder, then the sockets.
    delete bridge_;
    bridge_ = nullptr;
    if (assetServer_)
        assetServer_->close();
}

QWidget* TerminalPane::createReconnectBar() {
    reconnectBar_ = new QWidget(this);
    auto* bar = new QHBoxLayout(reconnectBar_);
    bar->setContentsMargins(8, 4, 8, 4);
    bar->addWidget(new QLabel(QStringLiteral("SSH 连接已结束。"), reconnectBar_), 1);
    reconnect_ = new QPushButton(QStringLiteral("重新连接"), reconnectBar_);
    bar->addWidget(reconnect_);
    connect(reconnect_, &QPushButton::clicked, this, [this] {
        reconnectBar_->hide();
        bridge_->startSsh();
    });
    reconnectBar_->hide();
    return reconnectBar_;
}

bool TerminalPane::startAssetServer() {
    const QString directory = findAssetDirectory();
    assetRoot_ = QFileInfo(directory).canonicalFilePath();
    if (assetRoot_.isEmpty() || !QFileInfo::exists(assetRoot_ + QStringLiteral("/terminal.html")))
        return false;
    assetServer_ = new TerminalAssetServer(assetRoot_, this);
    return assetServer_->listenOnLoopback();
}

void TerminalPane::initWebView() {
    terminalFile_ = QCoreApplication::applicationDirPath() + QStringLiteral("/assets/terminal.html");
    if (!QFileInfo::exists(terminalFile_))
        terminalFile_ = QDir::currentPath() + QStringLiteral("/assets/terminal.html");
    if (!QFileInfo::exists(terminalFile_))
        ui::warning(this, QStringLiteral("terminal.html 未找到。"));

    const QUrl url = console::terminalPageUrl(assetServer_->serverPort(), bridge_->port(), bridge_->secret());
    if (!webHost_.prepare())
        return;
    app::appendLog(QStringLiteral("terminal: navigate ") + console::maskedForLog(url));
    webHost_.open(url);
}
