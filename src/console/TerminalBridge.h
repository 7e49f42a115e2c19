#pragma once

#include "console/OutputRing.h"
#include "model/Node.h"

#include <QObject>
#include <QPointer>

#include <functional>

class QProcess;
class QWebSocket;
class QWebSocketServer;
namespace console {
class SshSession;
}

// Connects the terminal page to an ssh session on the Node: a loopback WebSocket server that bridges
// one page at a time, and the system's OpenSSH client run with the Node's key. Terminal bytes pass
// through unchanged in both directions. Only a connection that carries the bridge's secret and comes
// from the page origin set by the owner is bridged; output that arrives while no page is connected is
// kept (bounded) and sent when the page connects, so the banner and first prompt are not lost.
class TerminalBridge : public QObject {
public:
    explicit TerminalBridge(const Node& node, QObject* parent = nullptr);
    ~TerminalBridge() override;

    // Listens on 127.0.0.1 with a port the system picks.
    bool listen();
    quint16 port() const;
    const QByteArray& secret() const { return secret_; }
    void setPageOrigin(const QString& origin) { pageOrigin_ = origin; }

    // Asked (with the question to show) when the Node's host offers a key other than the remembered one;
    // true trusts the new key. Unset, such a host is refused.
    void setTrustChangedKey(std::function<bool(const QString&)> ask) { trustChangedKey_ = std::move(ask); }

    // Called when a session is over (failed, refused, timed out or logged out).
    void setOnSessionEnded(std::function<void()> ended) { sessionEnded_ = std::move(ended); }

    // Checks the host's keys, then logs in with ssh (console::SshSession). A new login starts only when
    // there is none yet or the last one is over (a reconnect).
    void startSsh();
    bool sessionEnded() const;

    QProcess* sshProcess() const;
    QString keyFilePath() const;
    QString knownHostsPath() const;
    QWebSocket* currentSocket() const;

private:
    void acceptPending();
    void bridge(QWebSocket* socket);
    void fromPage(const QByteArray& bytes);
    void toPage(const QByteArray& bytes);

    Node node_;
    QByteArray secret_;
    QString pageOrigin_;
    QWebSocketServer* server_ = nullptr;
    QPointer<QWebSocket> currentSocket_;
    console::SshSession* session_ = nullptr;
    std::function<bool(const QString&)> trustChangedKey_;
    std::function<void()> sessionEnded_;
    console::OutputRing pending_;
};
