#pragma once

#include "model/Node.h"

#include <QObject>
#include <QTemporaryDir>

#include <functional>

class QProcess;
class QTimer;

namespace console {

// One ssh login to a Node, from the host-key check to ssh's end. The host's keys are fetched and judged
// first (pinned fingerprint, else the keys remembered for the Node); only then is the Node's key written,
// into a private folder of this session, and removed again as soon as ssh reports that it authenticated
// (or ends). ssh runs with the Node's key and nothing else of the user's ssh set-up, and dies with the
// client however the client ends.
class SshSession : public QObject {
public:
    struct Hooks {
        std::function<void(const QByteArray&)> output; // terminal bytes: ssh's output and the session's lines
        // Asked when the host offers none of the keys remembered for the Node; true trusts the new key.
        // Without it such a host is refused.
        std::function<bool(const QString& question)> trustChangedKey;
        std::function<void()> ended; // the session is over (failed, refused, or ssh ended)
    };

    SshSession(const Node& node, Hooks hooks, QObject* parent = nullptr);
    ~SshSession() override; // ends what it started and removes its folder

    void start(); // once
    void write(const QByteArray& bytes);
    void terminate(); // asks ssh to end (its end is reported as usual)

    bool hasEnded() const { return ended_; }
    QProcess* sshProcess() const { return ssh_; }
    QString keyFilePath() const { return keyFile_; }
    // The known-hosts file ssh checks the host against: the session's pinned keys or the client's own file.
    QString knownHostsPath() const { return knownHosts_; }

private:
    void scanHostKeys();
    void onKeyScanFinished(const QByteArray& output, bool finished);
    bool acceptHostKeys(const QByteArray& output, bool scanFinished);
    bool confirmChangedKey(const QString& remembered, const QString& offered);
    void launchSsh();
    void onStandardError(bool flushAll);
    void onConnectLimit();
    QString destination() const;
    void removeKey();
    void fail(const QString& text);
    void end();
    void stopProcesses();

    Node node_;
    Hooks hooks_;
    QTemporaryDir folder_;
    QString keyFile_;
    QString knownHosts_;
    QProcess* keyScan_ = nullptr;
    QProcess* ssh_ = nullptr;
    QTimer* connectLimit_ = nullptr; // until ssh reports that it authenticated
    QByteArray errorLine_;           // ssh's standard error up to its next line end
    bool started_ = false;
    bool ended_ = false;
};

} // namespace console
