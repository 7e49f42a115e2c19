#pragma once

#include "model/Node.h"
#include "webview/WebEngineHost.h"

#include <QWidget>

class QPushButton;
class QWebEngineView;
class TerminalAssetServer;
class TerminalBridge;

// An interactive SSH terminal for one Node: the terminal page from the local asset server in an embedded
// web view, bridged over a loopback WebSocket to ssh. Everything it starts ends with it.
class TerminalPane : public QWidget {
public:
    explicit TerminalPane(const Node& node, QWidget* parent = nullptr);
    ~TerminalPane() override;

    QWidget* hostWidget() const { return hostWidget_; }
    QWebEngineView* webView() const { return webHost_.view(); }
    TerminalBridge* bridge() const { return bridge_; }
    TerminalAssetServer* assetServer() const { return assetServer_; }
    const QString& assetRoot() const { return assetRoot_; }
    // Shown once a session is over, to connect again.
    QPushButton* reconnectButton() const { return reconnect_; }

private:
    bool startAssetServer();
    void initWebView();
    QWidget* createReconnectBar();

    Node node_;
    TerminalBridge* bridge_ = nullptr;
    TerminalAssetServer* assetServer_ = nullptr;
    QString assetRoot_;
    QString terminalFile_;
    QWidget* hostWidget_ = nullptr;
    QWidget* reconnectBar_ = nullptr;
    QPushButton* reconnect_ = nullptr;
    webview::WebEngineHost webHost_{nullptr};
};
