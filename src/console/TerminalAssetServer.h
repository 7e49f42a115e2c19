#pragma once

#include <QTcpServer>

// A minimal HTTP/1.1 file server on the loopback address that serves the terminal page and its scripts
// from one directory: one GET per connection, answered and closed.
class TerminalAssetServer : public QTcpServer {
public:
    explicit TerminalAssetServer(const QString& assetRoot, QObject* parent = nullptr);

    // Listens on 127.0.0.1 with a port the system picks.
    bool listenOnLoopback();
    const QString& assetRoot() const { return assetRoot_; }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    QString assetRoot_;
};
