#include "PrivateSshd.h"

#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

namespace {

QByteArray run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(20000) && process.exitCode() == 0 ? process.readAllStandardOutput() + " "
                                                                     : QByteArray();
}

} // namespace

PrivateSshd::~PrivateSshd() {
    sshd.kill();
    sshd.waitForFinished(3000);
}

QString PrivateSshd::currentUser() {
    const passwd* entry = ::getpwuid(::geteuid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString();
}

QString PrivateSshd::start() {
    const QString server = QStandardPaths::findExecutable("sshd", {"/usr/sbin", "/usr/bin"});
    if (server.isEmpty() || QStandardPaths::findExecutable("unshare").isEmpty() || ::geteuid() != 0)
        return "needs sshd, unshare and root for a private mount namespace";
    const QString d = dir.path();
    for (const char* key : {"/host", "/client"}) {
        if (run("ssh-keygen", {"-q", "-t", "ed25519", "-N", "", "-f", d + key}).isEmpty())
            return "ssh-keygen failed";
    }
    QFile::copy(d + "/client.pub", d + "/authorized_keys");
    QFile key(d + "/client");
    clientKey = key.open(QIODevice::ReadOnly) ? QString::fromUtf8(key.readAll()) : QString();
    hostFingerprint = QString::fromLatin1(run("ssh-keygen", {"-lf", d + "/host.pub"}).split(' ').value(1));
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
    }
    QFile config(d + "/sshd_config");
    if (!config.open(QIODevice::WriteOnly))
        return "cannot write sshd_config";
    config.write(
        QString("Port %1\nListenAddress 127.0.0.1\nHostKey %2/host\nPidFile %2/sshd.pid\n"
                "AuthorizedKeysFile %2/authorized_keys\nPermitRootLogin prohibit-password\n"
                "PasswordAuthentication no\nKbdInteractiveAuthentication no\nUsePAM no\nStrictModes no\n")
            .arg(port)
            .arg(d)
            .toUtf8());
    config.close();
    sshd.setStandardErrorFile(QProcess::nullDevice());
    sshd.start("unshare", {"--mount", "--propagation", "private", "sh", "-c",
                           "mount -t tmpfs tmpfs /run && mkdir -m755 /run/sshd && exec " + server +
                               " -D -e -f " + d + "/sshd_config"});
    const bool listening = QTest::qWaitFor(
        [&] {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, port);
            return sshd.state() == QProcess::NotRunning || socket.waitForConnected(200);
        },
        10000);
    return listening && sshd.state() != QProcess::NotRunning ? QString() : "sshd did not come up";
}
