#include "console/TerminalBridge.h"

#include "app/DataPaths.h"
#include "console/ConsoleTiming.h"
#include "console/SshLaunch.h"
#include "console/TerminalAccess.h"

#include <QFile>
#include <QProcess>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>

namespace {

// The page announces its size with text messages that start like this; ssh must never see them.
constexpr char kResizePrefix[] = "{\"type\":\"resize\"";

QByteArray terminalLine(const QString& text) {
    return (QStringLiteral("\r\n[") + text + QStringLiteral("]\r\n")).toUtf8();
}

} // namespace

TerminalBridge::TerminalBridge(const Node& node, QObject* parent)
    : QObject(parent), node_(node), secret_(console::newTerminalSecret()) {
    server_ = new QWebSocketServer(QStringLiteral("OndivoTerminal"), QWebSocketServer::NonSecureMode, this);
    connect(server_, &QWebSocketServer::newConnection, this, [this] { acceptPending(); });
    keyFile_ = tempDir_.path() + QLatin1Char('/') + console::safeKeyName(node_.name) + QStringLiteral(".key");
}

TerminalBridge::~TerminalBridge() {
    stopProcesses();
    if (currentSocket_) {
        currentSocket_->disconnect(this);
        currentSocket_->close();
    }
    server_->close();
}

bool TerminalBridge::listen() {
    return server_->listen(QHostAddress::LocalHost, 0);
}

quint16 TerminalBridge::port() const {
    return server_->serverPort();
}

QWebSocket* TerminalBridge::currentSocket() const {
    return currentSocket_;
}

QString TerminalBridge::knownHostsPath() const {
    return tempDir_.path() + QStringLiteral("/known_hosts");
}

void TerminalBridge::acceptPending() {
    while (server_->hasPendingConnections()) {
        QWebSocket* socket = server_->nextPendingConnection();
        if (!socket)
            return;
        if (!console::mayBridge(socket->requestUrl(), socket->origin(), secret_, pageOrigin_)) {
            // Refused before anything is connected to it: neither the page in use nor ssh notices.
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("forbidden"));
            socket->deleteLater();
            continue;
        }
        bridge(socket);
    }
}

void TerminalBridge::bridge(QWebSocket* socket) {
    if (currentSocket_) {
        // The page it served is gone or reloaded; its close must not end the session of the new one.
        currentSocket_->disconnect(this);
        currentSocket_->deleteLater();
    }
    currentSocket_ = socket;
    connect(socket, &QWebSocket::textMessageReceived, this, [this, socket](const QString& text) {
        if (socket == currentSocket_ && !text.startsWith(QLatin1String(kResizePrefix)))
            fromPage(text.toUtf8());
    });
    connect(socket, &QWebSocket::binaryMessageReceived, this, [this, socket](const QByteArray& bytes) {
        if (socket == currentSocket_)
            fromPage(bytes);
    });
    connect(socket, &QWebSocket::disconnected, this, [this, socket] {
        if (socket != currentSocket_)
            return;
        currentSocket_ = nullptr;
        socket->deleteLater();
        if (ssh_ && ssh_->state() != QProcess::NotRunning)
            ssh_->terminate();
    });
    if (!pending_.isEmpty())
        socket->sendBinaryMessage(pending_.take());
}

void TerminalBridge::fromPage(const QByteArray& bytes) {
    if (ssh_ && ssh_->state() == QProcess::Running)
        ssh_->write(bytes);
}

void TerminalBridge::toPage(const QByteArray& bytes) {
    if (bytes.isEmpty())
        return;
    if (currentSocket_ && currentSocket_->isValid())
        currentSocket_->sendBinaryMessage(bytes);
    else
        pending_.append(bytes);
}

void TerminalBridge::startSsh() {
    if (started_)
        return;
    started_ = true;
    if (!console::isUsableDestination(node_)) {
        toPage(terminalLine(QStringLiteral("节点的地址或用户名无效，未建立 SSH 连接")));
        return;
    }
    if (!tempDir_.isValid()) {
        // Without its private folder the key would land wherever an empty path points: no session.
        toPage(terminalLine(QStringLiteral("无法创建临时目录，未建立 SSH 连接")));
        return;
    }
    // A key that cannot be written is only logged: ssh then fails on its own and says why in the terminal.
    app::appendLog(console::writeKeyFile(keyFile_, node_.privateKey));
    if (node_.hostFingerprint.trimmed().isEmpty())
        launchSsh(QString());
    else
        verifyHostKey();
}

void TerminalBridge::verifyHostKey() {
    if (console::normalizedFingerprint(node_.hostFingerprint).isEmpty()) {
        toPage(terminalLine(QStringLiteral("主机密钥指纹无法识别（应为 SHA256:...），未建立 SSH 连接")));
        return;
    }
    toPage(QStringLiteral("[正在核对主机密钥...]\r\n").toUtf8());
    keyScan_ = new QProcess(this);
    keyScan_->setProcessChannelMode(QProcess::SeparateChannels);
    auto* limit = new QTimer(keyScan_);
    limit->setSingleShot(true);
    connect(limit, &QTimer::timeout, keyScan_, [this] { keyScan_->kill(); });
    connect(keyScan_, &QProcess::finished, this, [this](int, QProcess::ExitStatus status) {
        onKeyScanFinished(keyScan_->readAllStandardOutput(), status == QProcess::NormalExit);
    });
    connect(keyScan_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            onKeyScanFinished(QByteArray(), false);
    });
    limit->start(console::timing.keyScanTimeoutMs);
    keyScan_->start(console::keyScanProgram(), console::keyScanArguments(node_));
}

void TerminalBridge::onKeyScanFinished(const QByteArray& output, bool finished) {
    const QString pinned = QStringLiteral("SHA256:") + console::normalizedFingerprint(node_.hostFingerprint);
    QStringList offered;
    for (const QByteArray& line : output.split('\n')) {
        const QString fingerprint = console::lineFingerprint(line);
        if (!line.trimmed().startsWith('#') && !fingerprint.isEmpty())
            offered.append(QStringLiteral("SHA256:") + fingerprint);
    }
    if (offered.isEmpty()) {
        toPage(terminalLine(finished ? QStringLiteral("无法获取主机密钥，未建立 SSH 连接")
                                     : QStringLiteral("获取主机密钥超时或失败，未建立 SSH 连接")));
        return;
    }
    const QList<QByteArray> matches = console::linesMatchingFingerprint(output, node_.hostFingerprint);
    if (matches.isEmpty()) {
        toPage(terminalLine(QStringLiteral("主机密钥不匹配，已拒绝连接。节点记录的指纹：") + pinned +
                            QStringLiteral("；服务器提供：") + offered.join(QStringLiteral("，"))));
        return;
    }
    QFile knownHosts(knownHostsPath());
    if (!knownHosts.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        knownHosts.write(matches.join('\n') + '\n') < 0) {
        toPage(terminalLine(QStringLiteral("无法写入主机密钥文件，未建立 SSH 连接")));
        return;
    }
    knownHosts.close();
    launchSsh(knownHostsPath());
}

void TerminalBridge::launchSsh(const QString& knownHostsFile) {
    ssh_ = new QProcess(this);
    ssh_->setProcessChannelMode(QProcess::SeparateChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TERM"), QStringLiteral("xterm-256color"));
    ssh_->setProcessEnvironment(environment);
    connect(ssh_, &QProcess::readyReadStandardOutput, this,
            [this] { toPage(ssh_->readAllStandardOutput()); });
    connect(ssh_, &QProcess::readyReadStandardError, this, [this] { toPage(ssh_->readAllStandardError()); });
    connect(ssh_, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus) {
        toPage(QStringLiteral("\r\n[ssh exited: %1]\r\n").arg(exitCode).toUtf8());
    });
    ssh_->start(console::sshProgram(), console::sshArguments(node_, keyFile_, knownHostsFile),
                QIODevice::ReadWrite);
    if (!ssh_->waitForStarted(console::timing.sshStartWaitMs))
        toPage(QByteArrayLiteral("[failed to start ssh]\r\n"));
}

void TerminalBridge::stopProcesses() {
    if (keyScan_) {
        keyScan_->disconnect(this);
        keyScan_->kill();
        keyScan_->waitForFinished(console::timing.sshStopWaitMs);
    }
    if (ssh_) {
        ssh_->disconnect(this);
        if (ssh_->state() != QProcess::NotRunning) {
            ssh_->terminate();
            if (!ssh_->waitForFinished(console::timing.sshStopWaitMs)) {
                ssh_->kill();
                ssh_->waitForFinished(console::timing.sshStopWaitMs);
            }
        }
    }
}
