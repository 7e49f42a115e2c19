#include "updater/UpdatePipeline.h"

#include "net/ApplicationProxy.h"
#include "net/ReplyGuard.h"
#include "net/ReplyLimits.h"
#include "net/RequestLayer.h"
#include "net/RequestTiming.h"
#include "platform/ArchiveExtract.h"
#include "platform/PathInside.h"
#include "platform/PidWait.h"
#include "updater/DirectoryCopy.h"
#include "updater/PackageHash.h"
#include "updater/ProgressStatus.h"
#include "updater/ReplaceAside.h"
#include "updater/UpdateFailure.h"
#include "updater/UpdateLog.h"
#include "updater/UpdaterProxy.h"
#include "updater/UpdaterTiming.h"
#include "updater/WorkDirCleanup.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonValue>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>

namespace updater {
namespace {

// A name from the manifest or the command line that is used as one path component.
bool isPlainFileName(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'));
}

bool isSameOrInside(const QString& path, const QString& directory) {
    const QString p = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const QString d = QDir::cleanPath(QFileInfo(directory).absoluteFilePath());
    return p == d || p.startsWith(d.endsWith(QLatin1Char('/')) ? d : d + QLatin1Char('/'));
}

// A size the download can use: a whole number of bytes up to the ceiling. Anything else (1e300, -5,
// 1.5, text) counts as no size, so the ceiling applies.
qint64 manifestSize(const QJsonValue& value) {
    const double size = value.toDouble(0);
    if (!(size >= 1 && size <= double(kMaxPackageBytes)))
        return 0;
    const qint64 whole = qint64(size);
    return double(whole) == size ? whole : 0;
}

} // namespace

ReleaseManifest readManifest(const QJsonObject& manifest) {
    ReleaseManifest m;
    m.version = manifest.value(QStringLiteral("version")).toString();
    m.url = manifest.value(QStringLiteral("url")).toString();
    if (m.version.isEmpty() || m.url.isEmpty())
        throw UpdateFailure(QStringLiteral("更新清单缺少 version 或 url"));
    m.sha256 = normalisedDigest(manifest.value(QStringLiteral("sha256")).toString());
    m.size = manifestSize(manifest.value(QStringLiteral("size")));
    m.packageName =
        manifest.value(QStringLiteral("packageName")).toString(QStringLiteral("ondivo-client.zip"));
    // Both become path components below the work directory; "../" in a downloaded manifest must not
    // steer where files are written.
    if (!isPlainFileName(m.version))
        throw UpdateFailure(QStringLiteral("更新清单中的 version 无效: ") + m.version);
    if (!isPlainFileName(m.packageName))
        throw UpdateFailure(QStringLiteral("更新清单中的 packageName 无效: ") + m.packageName);
    return m;
}

UpdatePipeline::UpdatePipeline(UpdaterOptions options, PipelineHooks hooks)
    : options_(std::move(options)), hooks_(std::move(hooks)),
      manager_(std::make_unique<QNetworkAccessManager>()) {
    manager_->setProxy(updaterProxy());
}

UpdatePipeline::~UpdatePipeline() = default;

void UpdatePipeline::failUpdate(const QString& message) {
    lastFailure_ = message;
    hooks_.setProgress(QString::fromUtf8(kFailedTitle), message,
                       hooks_.currentPermille ? hooks_.currentPermille() : 0);
    if (hooks_.showCloseButton)
        hooks_.showCloseButton();
    appendUpdateLog(options_.logPath, QStringLiteral("ERROR ") + message);
}

bool UpdatePipeline::runUpdate() {
    bool updated = false;
    try {
        runSteps();
        updated = true;
    } catch (const UpdateFailure& failure) {
        failUpdate(failure.message());
        reportOutcome();
    }
    // Either way the update has ended: what it downloaded and unpacked is of no further use.
    cleanWorkDirectory();
    return updated;
}

QString outcomeText(TargetState state) {
    switch (state) {
    case TargetState::Untouched:
        return QStringLiteral("旧版本未受影响，可以继续使用。");
    case TargetState::Restored:
        return QStringLiteral("已恢复旧版本，可以继续使用。");
    case TargetState::Replaced:
        break;
    }
    return {};
}

void UpdatePipeline::reportOutcome() {
    if (!hooks_.reportOutcome)
        return;
    const QString installed = options_.target + QLatin1Char('/') + options_.exe;
    const bool startable = targetState_ != TargetState::Replaced && !clientStillRunning_ &&
                           isPlainFileName(options_.exe) && QFileInfo(installed).isFile();
    hooks_.reportOutcome(outcomeText(targetState_), startable);
}

void UpdatePipeline::cleanWorkDirectory() {
    if (options_.workDir.isEmpty())
        return;
    const QString keep =
        !completedBackup_.isEmpty() ? completedBackup_ : newestBackup(options_.workDir, startedBackup_);
    for (const QString& left : updater::cleanWorkDirectory(options_.workDir, keep, {options_.target}))
        appendUpdateLog(options_.logPath, QStringLiteral("未能清理: ") + left);
}

QJsonObject UpdatePipeline::fetchManifest(const QString& url) {
    QNetworkRequest request{QUrl(url)};
    // Like every blocking call: a host that accepts and never answers must not hold the update forever.
    request.setTransferTimeout(net::timing.blockingIdleTimeoutMs);
    net::requireRedirectApproval(request);
    QNetworkReply* reply = manager_->get(request);
    net::guardReply(reply, net::limits::kManifestReplyMaxBytes);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    const int status = net::replyStatus(reply);
    const QByteArray body = reply->readAll();
    // The stack also flags error statuses as errors; those are reported by their status below.
    const bool networkFailed =
        reply->error() != QNetworkReply::NoError && (status < 300 || !net::guardFailure(reply).isEmpty());
    const QString networkError = networkFailed ? net::networkErrorText(reply) : QString();
    reply->deleteLater();
    if (networkFailed)
        throw UpdateFailure(networkError);
    if (status >= 300)
        throw UpdateFailure(QStringLiteral("HTTP %1").arg(status));
    const QJsonObject manifest = net::parseJsonObject(body);
    if (manifest.isEmpty())
        throw UpdateFailure(QStringLiteral("更新清单为空或格式错误"));
    return manifest;
}

QString UpdatePipeline::downloadPackage(const QString& url, const QString& packagePath, qint64 expectedSize) {
    PackageDownloader downloader(*manager_, hooks_.setProgress);
    return downloader.download(QUrl(url), packagePath, expectedSize);
}

void UpdatePipeline::waitForClientExit() {
    hooks_.setProgress(QStringLiteral("等待 Ondivo 退出..."), QStringLiteral("正在等待主程序关闭"), 80);
    if (options_.pid == 0)
        return;
    if (platform::waitForProcessExit(options_.pid, timing.pidWaitMs) == platform::PidWaitResult::TimedOut) {
        clientStillRunning_ = true;
        throw UpdateFailure(QStringLiteral("等待主程序退出超时"));
    }
}

void UpdatePipeline::verifyPackage(const QString& packagePath, const QString& expectedDigest) {
    if (expectedDigest.isEmpty())
        return;
    hooks_.setProgress(QStringLiteral("校验更新包..."), QStringLiteral("正在计算 SHA256"), 650);
    if (sha256OfFile(packagePath) != expectedDigest)
        throw UpdateFailure(QStringLiteral("SHA256 校验失败"));
}

void UpdatePipeline::extractPackage(const QString& packagePath, const QString& extractDirectory) {
    hooks_.setProgress(QStringLiteral("解压更新包..."), packagePath, 720);
    removeTree(extractDirectory);
    QDir().mkpath(extractDirectory);
    QString reason;
    if (!platform::extractZipArchive(packagePath, extractDirectory, &reason)) {
        removeTree(extractDirectory); // a partial extraction may be large; nothing will use it
        appendUpdateLog(options_.logPath, QStringLiteral("解压错误: ") + reason);
        throw UpdateFailure(QStringLiteral("解压更新包失败"));
    }
    const QString newProgram = extractDirectory + QLatin1Char('/') + options_.exe;
    if (!isPlainFileName(options_.exe) || !QFileInfo(newProgram).isFile())
        throw UpdateFailure(QStringLiteral("更新包中没有找到 ") + options_.exe);
}

// Installing empties the target. Only a directory that really holds the installed program is
// emptied, and never one that holds the updater's own work directory.
void UpdatePipeline::checkTarget() {
    const QString installed = options_.target + QLatin1Char('/') + options_.exe;
    if (!isPlainFileName(options_.exe) || !QFileInfo(installed).isFile())
        throw UpdateFailure(QStringLiteral("目标目录中没有找到 ") + options_.exe);
    // Lexically and where both really lead: a link or (on Windows) a short name or other letter case
    // can hide that one is inside the other.
    if (isSameOrInside(options_.workDir, options_.target) ||
        platform::isInsideDirectory(options_.workDir, options_.target))
        throw UpdateFailure(QStringLiteral("工作目录位于目标目录中: ") + options_.workDir);
}

void UpdatePipeline::backUp(const QString& backupDirectory) {
    startedBackup_ = backupDirectory;
    hooks_.setProgress(QStringLiteral("备份旧版本..."), options_.target, 800);
    removeTree(backupDirectory);
    QString error;
    const QString logPath = options_.logPath;
    if (!copyDirectory(options_.target, backupDirectory, &error, RootAttributes::Copy,
                       [logPath](const QString& line) { appendUpdateLog(logPath, line); }))
        throw UpdateFailure(error);
    completedBackup_ = backupDirectory;
}

// The installed files are renamed away rather than deleted: a file still in use (the client's
// program or a library a lingering process holds) cannot be deleted or overwritten on Windows but can
// be renamed, and renamed back if installing fails.
void UpdatePipeline::install(const QString& extractDirectory, const QString& backupDirectory) {
    hooks_.setProgress(QStringLiteral("安装新版本..."), options_.target, 880);
    QString error;
    if (!moveEntriesAside(options_.target, &error))
        throw UpdateFailure(error); // every entry that was moved has been moved back
    targetState_ = TargetState::Replaced;
    if (copyDirectory(extractDirectory, options_.target, &error, RootAttributes::Keep)) {
        removeTree(replacedFolder(options_.target)); // a file still in use stays until the next update
        return;
    }
    rollBack(backupDirectory);
    throw UpdateFailure(error);
}

// The old entries come back as they were; only when one cannot return does the backup copy fill in.
// The target directory gets its own mode and time back from the backup either way.
void UpdatePipeline::rollBack(const QString& backupDirectory) {
    bool restored = restoreEntries(options_.target);
    if (!restored) {
        appendUpdateLog(options_.logPath, QStringLiteral("旧文件未能全部移回，从备份恢复"));
        removeDirectoryEntries(options_.target);
        QString ignored;
        restored = copyDirectory(backupDirectory, options_.target, &ignored, RootAttributes::Copy);
    }
    copyRootAttributes(backupDirectory, options_.target);
    if (restored)
        targetState_ = TargetState::Restored;
}

// A replaced folder left by an earlier install (files that were in use then) is neither backed up
// nor kept.
void UpdatePipeline::clearReplacedFolder() {
    removeTree(replacedFolder(options_.target));
}

void UpdatePipeline::startClient() {
    hooks_.setProgress(QStringLiteral("启动 Ondivo..."), options_.exe, 960);
    const QString installed = options_.target + QLatin1Char('/') + options_.exe;
    if (!QProcess::startDetached(installed, {}, options_.target))
        throw UpdateFailure(QStringLiteral("启动 Ondivo 失败"));
}

void UpdatePipeline::runSteps() {
    hooks_.setProgress(QStringLiteral("读取更新清单..."), options_.manifestUrl, 40);
    const ReleaseManifest manifest = readManifest(fetchManifest(options_.manifestUrl));

    waitForClientExit();

    const QString versionDirectory = options_.workDir + QLatin1Char('/') + manifest.version;
    QDir().mkpath(versionDirectory);
    const QString packagePath = downloadPackage(
        manifest.url, versionDirectory + QLatin1Char('/') + manifest.packageName, manifest.size);

    verifyPackage(packagePath, manifest.sha256);
    const QString extractDirectory = versionDirectory + QStringLiteral("/extract");
    extractPackage(packagePath, extractDirectory);

    checkTarget();
    const QString backupDirectory = versionDirectory + QStringLiteral("/backup");
    clearReplacedFolder();
    backUp(backupDirectory);
    install(extractDirectory, backupDirectory);
    startClient();

    hooks_.setProgress(QStringLiteral("更新完成"), QStringLiteral("Ondivo 已启动"), 1000);
    if (hooks_.scheduleQuit)
        hooks_.scheduleQuit();
}

} // namespace updater
