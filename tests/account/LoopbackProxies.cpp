#include "LoopbackProxies.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

namespace {

quint16 freeLoopbackPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QTemporaryDir& scratch() {
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/ondivo-proxies-XXXXXX"));
    return dir;
}

} // namespace

LoopbackProxy::LoopbackProxy(Kind kind, const QString& user, const QString& password) : kind_(kind) {
    port_ = freeLoopbackPort();
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::MergedChannels);
    if (kind_ == Kind::Socks5) {
        QStringList arguments{QStringLiteral("-i"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                              QString::number(port_)};
        if (!user.isEmpty())
            arguments << QStringLiteral("-u") << user << QStringLiteral("-P") << password;
        process_->start(QStringLiteral("microsocks"), arguments);
    } else {
        const QString config = scratch().filePath(QStringLiteral("tinyproxy-%1.conf").arg(port_));
        logPath_ = scratch().filePath(QStringLiteral("tinyproxy-%1.log").arg(port_));
        QFile file(config);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(QStringLiteral("Port %1\nListen 127.0.0.1\nTimeout 30\nLogFile \"%2\"\nLogLevel Info\n"
                                  "MaxClients 20\nAllow 127.0.0.1\nDisableViaHeader Yes\n")
                       .arg(port_)
                       .arg(logPath_)
                       .toUtf8());
        file.close();
        process_->start(QStringLiteral("tinyproxy"), {QStringLiteral("-d"), QStringLiteral("-c"), config});
    }
    if (!process_->waitForStarted(5000) || !waitUntilListening())
        process_.reset();
}

LoopbackProxy::~LoopbackProxy() {
    if (!process_)
        return;
    process_->terminate();
    if (!process_->waitForFinished(3000))
        process_->kill();
    process_->waitForFinished(1000);
}

bool LoopbackProxy::isRunning() const {
    return process_ && process_->state() == QProcess::Running;
}

bool LoopbackProxy::waitUntilListening() {
    const QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired()) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port_);
        if (socket.waitForConnected(200)) {
            socket.abort();
            return true;
        }
        QThread::msleep(50);
    }
    return false;
}

QString LoopbackProxy::log() {
    if (process_)
        captured_ += QString::fromUtf8(process_->readAll());
    if (logPath_.isEmpty())
        return captured_;
    QFile file(logPath_);
    file.open(QIODevice::ReadOnly);
    return captured_ + QString::fromUtf8(file.readAll());
}

int LoopbackProxy::countForTarget(quint16 targetPort, const QString& pathPrefix) {
    // microsocks: "client[5] 127.0.0.1: connected to 127.0.0.1:PORT"
    // tinyproxy:  "Request (file descriptor 5): POST http://127.0.0.1:PORT/api/auth/login HTTP/1.1"
    const QString target = QStringLiteral("127.0.0.1:%1").arg(targetPort);
    QString pattern;
    if (kind_ == Kind::Socks5)
        pattern =
            QStringLiteral("connected to ") + QRegularExpression::escape(target) + QStringLiteral("\\b");
    else
        pattern = QStringLiteral("Request \\(file descriptor \\d+\\): \\w+ http://") +
                  QRegularExpression::escape(target + pathPrefix);
    return int(log().count(QRegularExpression(pattern)));
}
