#pragma once

#include <QProcess>
#include <QTemporaryDir>

// A real OpenSSH server on 127.0.0.1 with its own host key and one authorised client key, run in a
// private mount namespace so the machine's /run stays untouched.
struct PrivateSshd {
    QTemporaryDir dir;
    QProcess sshd;
    quint16 port = 0;
    QString clientKey;
    QString hostFingerprint; // "SHA256:..."

    ~PrivateSshd();
    QString start(); // empty on success, else why it cannot run here (the caller skips)
    // A new host key, and the server restarted with it on the same port. False when it did not come up.
    bool replaceHostKey();
    // A new key pair in the server's folder; its private key (OpenSSH form). Authorised when asked.
    QString newClientKey(const QString& name, bool authorised);
    static QString currentUser();

private:
    bool launch();
};
