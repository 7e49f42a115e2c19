#pragma once

#include "console/OutputRing.h"
#include "model/Node.h"

#include <QObject>
#include <QPointer>
#include <QTemporaryDir>

class QProcess;
class QWebSocket;
class QWebSocketServer;

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

    // Writes the key file and starts ssh; with a pinned host fingerprint, the host's keys are fetched
    // and checked first. Runs once.
    void startSsh();

    QProcess* sshProcess() const { return ssh_; }
    QString keyFilePath() const { return keyFile_; }
    QString knownHostsPath() const;
    QWebSocket* currentSocket() const;

private:
    void acceptPending();
    void bridge(QWebSocket* socket);
    void fromPage(const QByteArray& bytes);
    void toPage(const QByteArray& bytes);
    void verifyHostKey();
    void onKeyScanFinished(const QByteArray& output, bool finished);
    void launchSsh(const QString& knownHostsFile);
    void stopProcesses();

    Node node_;
    QByteArray secret_;
    QString pageOrigin_;
    QTemporaryDir tempDir_;
    QString keyFile_;
    QWebSocketServer* server_ = nullptr;
    QPointer<QWebSocket> currentSocket_;
    QProcess* ssh_ = nullptr;
    QProcess* keyScan_ = nullptr;
    console::OutputRing pending_;
    bool started_ = false;
};
