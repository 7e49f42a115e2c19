#include "PrivateSshd.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

namespace {

bool run(const QString& program, const QStringList& arguments, QByteArray* output = nullptr) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(20000) || process.exitCode() != 0)
        return false;
    if (output)
        *output = process.readAllStandardOutput();
    return true;
}

quint16 freeLoopbackPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

PrivateSshd::~PrivateSshd() {
    if (sshd_.state() != QProcess::NotRunning) {
        sshd_.terminate();
        if (!sshd_.waitForFinished(3000))
            sshd_.kill();
        sshd_.waitForFinished(3000);
    }
}

QString PrivateSshd::currentUser() {
    const passwd* entry = ::getpwuid(::geteuid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString();
}

QString PrivateSshd::start() {
    const QString sshd = QStandardPaths::findExecutable(QStringLiteral("sshd"), {QStringLiteral("/usr/sbin")});
    for (const char* tool : {"unshare", "ssh", "ssh-keygen", "ssh-keyscan"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            return QStringLiteral("%1 is not installed").arg(QLatin1String(tool));
    }
    if (sshd.isEmpty())
        return QStringLiteral("sshd is not installed");
    if (::geteuid() != 0)
        return QStringLiteral("a private sshd needs root for its mount namespace");

    const QString d = dir_.path();
    if (!run(QStringLiteral("ssh-keygen"), {"-q", "-t", "ed25519", "-N", "", "-f", d + "/host_ed25519"}) ||
        !run(QStringLiteral("ssh-keygen"), {"-q", "-t", "ed25519", "-N", "", "-f", d + "/client_ed25519"}))
        return QStringLiteral("ssh-keygen failed");
    QFile::copy(d + "/client_ed25519.pub", d + "/authorized_keys");
    clientKey_ = QString::fromUtf8(readFile(d + "/client_ed25519"));
    QByteArray listing;
    if (!run(QStringLiteral("ssh-keygen"), {"-lf", d + "/host_ed25519.pub"}, &listing))
        return QStringLiteral("ssh-keygen -l failed");
    hostFingerprint_ = QString::fromLatin1(listing.split(' ').value(1));

    port_ = freeLoopbackPort();
    QFile config(d + "/sshd_config");
    if (!config.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write sshd_config");
    config.write(QStringLiteral("Port %1\nListenAddress 127.0.0.1\nHostKey %2/host_ed25519\nPidFile %2/sshd.pid\n"
                                "AuthorizedKeysFile %2/authorized_keys\nPermitRootLogin prohibit-password\n"
                                "PasswordAuthentication no\nKbdInteractiveAuthentication no\nUsePAM no\n"
                                "StrictModes no\nPrintMotd no\n")
                     .arg(port_)
                     .arg(d)
                     .toUtf8());
    config.close();

    sshd_.setStandardErrorFile(QProcess::nullDevice());
    sshd_.start(QStringLiteral("unshare"),
                {"--mount", "--propagation", "private", "sh", "-c",
                 "mount -t tmpfs tmpfs /run && mkdir -m755 /run/sshd && exec " + sshd + " -D -e -f " + d +
                     "/sshd_config"});
    if (!sshd_.waitForStarted(5000))
        return QStringLiteral("unshare did not start");
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (sshd_.state() == QProcess::NotRunning)
            return QStringLiteral("sshd ended at once (no mount namespace here?)");
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port_);
        if (probe.waitForConnected(200))
            return QString();
        QTest::qWait(100);
    }
    return QStringLiteral("sshd did not listen on port %1").arg(port_);
}
