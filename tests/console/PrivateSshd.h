#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A real OpenSSH server on 127.0.0.1 for terminal tests, with its own host key and one authorised client
// key, started in a private mount namespace so the machine's /run stays untouched.
class PrivateSshd {
public:
    ~PrivateSshd();

    // Empty on success, else why the server cannot run here (the caller skips).
    QString start();

    quint16 port() const { return port_; }
    QString clientPrivateKey() const { return clientKey_; }
    QString hostFingerprint() const { return hostFingerprint_; } // "SHA256:..."
    static QString currentUser();

private:
    QTemporaryDir dir_;
    QProcess sshd_;
    quint16 port_ = 0;
    QString clientKey_;
    QString hostFingerprint_;
};
