#include "console/SshSession.h"

#include "app/DataPaths.h"
#include "console/ConsoleTiming.h"
#include "console/HostKeyTrust.h"
#include "console/KeyFolder.h"
#include "console/SshLaunch.h"
#include "platform/ChildLifetime.h"
#include "platform/PrivateFile.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QTimer>

namespace console {
namespace {

// ssh's messages are short lines; anything longer without a line end is shown as it is.
constexpr qsizetype kMaxErrorLineBytes = 64 * 1024;

QByteArray terminalLine(const QString& text) {
    return (QStringLiteral("\r\n[") + text + QStringLiteral("]\r\n")).toUtf8();
}

// Lines ssh prints at the verbose level only because it was asked to report its authentication; the
// user never asked for them.
bool isVerboseChatter(const QByteArray& line) {
    return line.startsWith("Authenticated to ") || line.startsWith("Transferred: ") ||
           line.startsWith("Bytes per second: ");
}

QProcess* newChild(QObject* parent) {
    auto* process = new QProcess(parent);
    process->setProcessChannelMode(QProcess::SeparateChannels);
    process->setProcessEnvironment(sshEnvironment(QProcessEnvironment::systemEnvironment()));
    platform::tieChildToThisProcess(*process);
    return process;
}

} // namespace

SshSession::SshSession(const Node& node, Hooks hooks, QObject* parent)
    : QObject(parent), node_(node), hooks_(std::move(hooks)), folder_(keyFolderTemplate(QDir::tempPath())) {
    keyFile_ = folder_.path() + QLatin1Char('/') + safeKeyName(node_.name) + QStringLiteral(".key");
    connectLimit_ = new QTimer(this);
    connectLimit_->setSingleShot(true);
    connect(connectLimit_, &QTimer::timeout, this, [this] { onConnectLimit(); });
}

SshSession::~SshSession() {
    stopProcesses();
    removeKey();
}

void SshSession::start() {
    if (started_)
        return;
    started_ = true;
    if (!isUsableDestination(node_))
        return fail(QStringLiteral("节点的地址或用户名无效，未建立 SSH 连接"));
    if (!folder_.isValid()) {
        // Without its private folder the key would land wherever an empty path points: no session.
        return fail(QStringLiteral("无法创建临时目录，未建立 SSH 连接"));
    }
    if (!node_.hostFingerprint.trimmed().isEmpty() && normalizedFingerprint(node_.hostFingerprint).isEmpty())
        return fail(QStringLiteral("主机密钥指纹无法识别（应为 SHA256:...），未建立 SSH 连接"));
    hooks_.output((QStringLiteral("正在连接 ") + destination() + QStringLiteral(" …\r\n")).toUtf8());
    connectLimit_->start(timing.sshConnectLimitMs);
    scanHostKeys();
}

QString SshSession::destination() const {
    return node_.username + QLatin1Char('@') + node_.host + QLatin1Char(':') + QString::number(node_.port);
}

void SshSession::onConnectLimit() {
    if (ended_)
        return;
    stopProcesses();
    fail(QStringLiteral("连接超时：%1 秒内未能登录 %2，未建立 SSH 连接")
             .arg(timing.sshConnectLimitMs / 1000.0)
             .arg(destination()));
}

void SshSession::write(const QByteArray& bytes) {
    if (ssh_ && ssh_->state() == QProcess::Running)
        ssh_->write(bytes);
}

void SshSession::terminate() {
    if (ssh_ && ssh_->state() != QProcess::NotRunning)
        ssh_->terminate();
}

void SshSession::scanHostKeys() {
    hooks_.output(QStringLiteral("[正在核对主机密钥...]\r\n").toUtf8());
    keyScan_ = newChild(this);
    // Queued: judging the keys may ask the user, and whatever happens during that question must not
    // find ssh-keyscan's process still inside its own signal.
    connect(
        keyScan_, &QProcess::finished, this,
        [this](int, QProcess::ExitStatus status) {
            onKeyScanFinished(keyScan_->readAllStandardOutput(), status == QProcess::NormalExit);
        },
        Qt::QueuedConnection);
    connect(
        keyScan_, &QProcess::errorOccurred, this,
        [this](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                onKeyScanFinished(QByteArray(), false);
        },
        Qt::QueuedConnection);
    // ssh-keyscan's own limit lies beyond the connection's, so a silent host is always reported as one.
    keyScan_->start(keyScanProgram(), keyScanArguments(node_, timing.sshConnectLimitMs / 1000 + 1));
}

void SshSession::onKeyScanFinished(const QByteArray& output, bool finished) {
    if (ended_)
        return;
    if (!acceptHostKeys(output, finished))
        return;
    launchSsh();
}

bool SshSession::acceptHostKeys(const QByteArray& output, bool scanFinished) {
    const QString alias = hostKeyAlias(node_);
    const bool pinned = !node_.hostFingerprint.trimmed().isEmpty();
    const HostKeyCheck check =
        checkHostKeys(output, alias, node_.hostFingerprint,
                      pinned ? QList<QByteArray>() : rememberedHostKeys(trustedHostsPath(), alias));
    const QString offered = check.offered.join(QStringLiteral("，"));
    const QString expected = check.expected.join(QStringLiteral("，"));
    QString error;
    switch (check.outcome) {
    case HostKeyCheck::Outcome::NoKeys:
        fail(scanFinished ? QStringLiteral("无法获取主机密钥，未建立 SSH 连接")
                          : QStringLiteral("获取主机密钥超时或失败，未建立 SSH 连接"));
        return false;
    case HostKeyCheck::Outcome::PinMismatch:
        fail(QStringLiteral("主机密钥不匹配，已拒绝连接。节点记录的指纹：") + expected +
             QStringLiteral("；服务器提供：") + offered);
        return false;
    case HostKeyCheck::Outcome::Pinned:
        knownHosts_ = folder_.path() + QStringLiteral("/known_hosts");
        if (!platform::writePrivateFile(knownHosts_, check.lines.join('\n') + '\n', &error)) {
            fail(QStringLiteral("无法写入主机密钥文件，未建立 SSH 连接：") + error);
            return false;
        }
        return true;
    case HostKeyCheck::Outcome::Remembered:
        knownHosts_ = trustedHostsPath();
        return true;
    case HostKeyCheck::Outcome::Changed: {
        const QPointer<SshSession> alive(this);
        const bool trusted = confirmChangedKey(expected, offered);
        if (!alive)
            return false; // the window went away while the question was open
        if (!trusted) {
            fail(QStringLiteral("主机密钥已变更，已拒绝连接。记住的指纹：") + expected +
                 QStringLiteral("；服务器现在提供：") + offered);
            return false;
        }
        break;
    }
    case HostKeyCheck::Outcome::FirstUse:
        break;
    }
    knownHosts_ = trustedHostsPath();
    if (!rememberHostKeys(knownHosts_, alias, check.lines, &error)) {
        fail(QStringLiteral("无法保存主机密钥，未建立 SSH 连接：") + error);
        return false;
    }
    app::appendLog(QStringLiteral("terminal: host keys remembered for ") + nodeLabel(node_) +
                   QStringLiteral(": ") + offered);
    return true;
}

bool SshSession::confirmChangedKey(const QString& remembered, const QString& offered) {
    if (!hooks_.trustChangedKey)
        return false;
    const QString question =
        QStringLiteral(
            "节点“%1”的主机密钥与之前记住的不同。可能是服务器重装或更换了密钥，也可能有人冒充该服务器。\n\n"
            "记住的指纹：%2\n现在提供的：%3\n\n只有确认服务器确实更换了密钥时才选择“是”。"
            "是否信任新密钥并继续连接？")
            .arg(nodeLabel(node_), remembered, offered);
    return hooks_.trustChangedKey(question);
}

void SshSession::launchSsh() {
    QString error;
    if (!writeKeyFile(keyFile_, node_.privateKey, &error))
        return fail(QStringLiteral("无法写入私钥文件，未建立 SSH 连接：") + error);
    ssh_ = newChild(this);
    connect(ssh_, &QProcess::readyReadStandardOutput, this,
            [this] { hooks_.output(ssh_->readAllStandardOutput()); });
    connect(ssh_, &QProcess::readyReadStandardError, this, [this] { onStandardError(false); });
    connect(ssh_, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus) {
        hooks_.output(ssh_->readAllStandardOutput());
        onStandardError(true);
        hooks_.output(QStringLiteral("\r\n[ssh exited: %1]\r\n").arg(exitCode).toUtf8());
        end();
    });
    connect(ssh_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError processError) {
        if (processError == QProcess::FailedToStart)
            fail(QStringLiteral("无法启动 ssh：") + ssh_->errorString());
    });
    ssh_->start(sshProgram(), sshArguments(node_, keyFile_, knownHosts_), QIODevice::ReadWrite);
}

void SshSession::onStandardError(bool flushAll) {
    errorLine_ += ssh_->readAllStandardError();
    QByteArray shown;
    qsizetype end = -1;
    flushAll = flushAll || errorLine_.size() > kMaxErrorLineBytes;
    while ((end = errorLine_.indexOf('\n')) >= 0 || (flushAll && !errorLine_.isEmpty())) {
        QByteArray line = end >= 0 ? errorLine_.left(end) : errorLine_;
        errorLine_.remove(0, end >= 0 ? end + 1 : errorLine_.size());
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.startsWith("Authenticated to ")) {
            removeKey(); // ssh holds the key in memory from now on
            connectLimit_->stop();
        }
        if (!isVerboseChatter(line))
            shown += line + "\r\n";
    }
    if (!shown.isEmpty())
        hooks_.output(shown);
}

void SshSession::removeKey() {
    if (QFile::exists(keyFile_) && !QFile::remove(keyFile_))
        app::appendLog(QStringLiteral("terminal: cannot remove the key file ") + keyFile_);
}

void SshSession::fail(const QString& text) {
    hooks_.output(terminalLine(text));
    end();
}

void SshSession::end() {
    if (ended_)
        return;
    ended_ = true;
    connectLimit_->stop();
    removeKey();
    if (hooks_.ended)
        hooks_.ended();
}

void SshSession::stopProcesses() {
    if (keyScan_) {
        keyScan_->disconnect(this);
        keyScan_->kill();
        keyScan_->waitForFinished(timing.sshStopWaitMs);
    }
    if (ssh_) {
        ssh_->disconnect(this);
        if (ssh_->state() != QProcess::NotRunning) {
            ssh_->terminate();
            if (!ssh_->waitForFinished(timing.sshStopWaitMs)) {
                ssh_->kill();
                ssh_->waitForFinished(timing.sshStopWaitMs);
            }
        }
    }
}

} // namespace console
