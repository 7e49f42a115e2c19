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
    if (run("ssh-keygen", {"-q", "-t", "ed25519", "-N", "", "-f", d + "/host"}).isEmpty())
        return "ssh-keygen failed";
    clientKey = newClientKey("client", true);
    if (clientKey.isEmpty())
        return "ssh-keygen failed";
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
    return launch() ? QString() : "sshd did not come up";
}

QString PrivateSshd::newClientKey(const QString& name, bool authorised) {
    const QString path = dir.path() + "/" + name;
    if (run("ssh-keygen", {"-q", "-t", "ed25519", "-N", "", "-f", path}).isEmpty())
        return QString();
    QFile key(path), pub(path + ".pub"), authorizedKeys(dir.path() + "/authorized_keys");
    if (authorised && pub.open(QIODevice::ReadOnly) && authorizedKeys.open(QIODevice::Append))
        authorizedKeys.write(pub.readAll());
    return key.open(QIODevice::ReadOnly) ? QString::fromUtf8(key.readAll()) : QString();
}

bool PrivateSshd::replaceHostKey() {
    sshd.kill();
    sshd.waitForFinished(3000);
    const QString d = dir.path();
    QFile::remove(d + "/host");
    QFile::remove(d + "/host.pub");
    if (run("ssh-keygen", {"-q", "-t", "ed25519", "-N", "", "-f", d + "/host"}).isEmpty())
        return false;
    hostFingerprint = QString::fromLatin1(run("ssh-keygen", {"-lf", d + "/host.pub"}).split(' ').value(1));
    return launch();
}

bool PrivateSshd::launch() {
    const QString server = QStandardPaths::findExecutable("sshd", {"/usr/sbin", "/usr/bin"});
    const QString d = dir.path();
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
    return listening && sshd.state() != QProcess::NotRunning;
}
