#include "updater/PackageDownload.h"

#include "app/TextFormats.h"
#include "net/ReplyGuard.h"
#include "net/RequestLayer.h"
#include "updater/UpdateFailure.h"
#include "updater/UpdaterTiming.h"

#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QThread>
#include <QTimer>

namespace updater {
namespace {

const QString kDownloadTitle = QStringLiteral("正在下载更新包...");
constexpr int kAttempts = 3;

QNetworkRequest segmentRequest(const QUrl& url, qint64 offset, qint64 end) {
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setRawHeader("Accept-Encoding", "identity");
    request.setRawHeader("Range", QStringLiteral("bytes=%1-%2").arg(offset).arg(end).toLatin1());
    net::requireRedirectApproval(request);
    return request;
}

QString sizeMismatchText(qint64 got, qint64 expected) {
    return QStringLiteral("下载大小不一致: %1 / %2")
        .arg(fmt::updaterBytes(double(got)), fmt::updaterBytes(double(expected)));
}

QString overCeilingText(qint64 size) {
    return QStringLiteral("更新包大小超过上限: %1 / %2")
        .arg(fmt::updaterBytes(double(size)), fmt::updaterBytes(double(kMaxPackageBytes)));
}

qint64 nowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

QString downloadProgressDetail(qint64 bytes, qint64 total, qint64 elapsedMs) {
    const double rate = elapsedMs > 0 ? double(bytes) * 1000.0 / double(elapsedMs) : 0.0;
    const QString totalText = total > 0 ? fmt::updaterBytes(double(total)) : QStringLiteral("--");
    return QStringLiteral("%1 / %2    %3/s")
        .arg(fmt::updaterBytes(double(bytes)), totalText, fmt::updaterBytes(rate));
}

int downloadPermille(qint64 bytes, qint64 total) {
    if (total < 1)
        return 150;
    return int(qBound<qint64>(qint64(0), bytes * 1000 / total, qint64(1000)));
}

qint64 totalFromContentRange(const QByteArray& contentRange) {
    const int slash = contentRange.lastIndexOf('/');
    if (slash < 0)
        return 0;
    bool ok = false;
    const qint64 total = contentRange.mid(slash + 1).trimmed().toLongLong(&ok);
    return ok && total >= 1 ? total : 0;
}

PackageDownloader::PackageDownloader(QNetworkAccessManager& manager, ProgressReport report)
    : manager_(manager), report_(std::move(report)) {
}

// Every report becomes a line of the update log, and data arrives in many small blocks: one report per
// percent or per interval keeps the log readable while the window still moves.
void PackageDownloader::reportProgress(qint64 bytes, bool force) {
    if (!report_)
        return;
    const int permille = downloadPermille(bytes, total_);
    const qint64 now = nowMs();
    if (!force && permille / 10 == lastReportPercent_ &&
        now - lastReportMs_ < timing.progressReportIntervalMs)
        return;
    lastReportPercent_ = permille / 10;
    lastReportMs_ = now;
    report_(kDownloadTitle, downloadProgressDetail(bytes, total_, now - startedMs_), permille);
}

// How many bytes this answer may bring: a ranged answer exactly its range, a whole-file answer the
// known size or, without one, the ceiling.
qint64 PackageDownloader::segmentAllowance(QNetworkReply* reply, qint64 offset, qint64 end) const {
    if (net::replyStatus(reply) == 206)
        return end - offset + 1;
    return total_ >= 1 ? total_ : kMaxPackageBytes;
}

// A host may tell the size it has, but never raise it above the size the manifest gave.
QString PackageDownloader::checkAnnouncedTotal(qint64 announcedTotal) {
    if (announcedTotal < 1)
        return {};
    if (expectedSize_ >= 1 && announcedTotal != expectedSize_)
        return sizeMismatchText(announcedTotal, expectedSize_);
    if (announcedTotal > kMaxPackageBytes)
        return overCeilingText(announcedTotal);
    total_ = announcedTotal;
    return {};
}

PackageDownloader::Attempt PackageDownloader::fetchSegment(const QUrl& url, QFile& file, qint64 offset,
                                                           qint64 end) {
    Attempt attempt;
    file.seek(offset);
    QNetworkReply* reply = manager_.get(segmentRequest(url, offset, end));
    net::guardReply(reply, kMaxPackageBytes);

    QTimer idle;
    idle.setSingleShot(true);
    QTimer overall;
    overall.setSingleShot(true);
    QEventLoop loop;

    auto drain = [&] {
        if (attempt.failed)
            return;
        const QByteArray data = reply->readAll();
        if (data.isEmpty())
            return;
        if (attempt.received + data.size() > segmentAllowance(reply, offset, end)) {
            attempt.error = QStringLiteral("收到的数据超过请求的范围");
            attempt.failed = true;
            reply->abort();
            return;
        }
        if (file.write(data) != data.size()) {
            attempt.error = QStringLiteral("写入下载文件失败");
            attempt.failed = true;
            reply->abort();
            return;
        }
        attempt.received += data.size();
        idle.start();
        reportProgress(offset + attempt.received);
    };
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, drain);
    QObject::connect(&idle, &QTimer::timeout, &loop, [&] {
        attempt.error = QStringLiteral("15 秒没有收到新数据");
        reply->abort();
    });
    QObject::connect(&overall, &QTimer::timeout, &loop, [&] {
        attempt.error = QStringLiteral("单段下载超过 90 秒");
        reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);

    idle.start(timing.segmentIdleMs);
    overall.start(timing.segmentOverallMs);
    if (!reply->isFinished())
        loop.exec();
    idle.stop();
    overall.stop();
    if (attempt.error.isEmpty())
        drain();
    file.flush();

    attempt.status = net::replyStatus(reply);
    // Only a ranged answer (or its refusal) speaks about the package; an error page may carry a range
    // of its own.
    if (attempt.status == 206 || attempt.status == 416)
        attempt.fatal = checkAnnouncedTotal(totalFromContentRange(reply->rawHeader("Content-Range")));
    if (reply->error() != QNetworkReply::NoError)
        attempt.networkError = net::networkErrorText(reply);
    reply->deleteLater();
    return attempt;
}

QString PackageDownloader::download(const QUrl& url, const QString& packagePath, qint64 expectedSize) {
    const QString temporaryPath = packagePath + QStringLiteral(".download");
    QFile::remove(temporaryPath);
    QFile file(temporaryPath);
    if (!file.open(QIODevice::WriteOnly))
        throw UpdateFailure(QStringLiteral("无法写入更新包: ") + temporaryPath);
    startedMs_ = nowMs();
    expectedSize_ = expectedSize;
    total_ = expectedSize;
    lastReportPercent_ = -1;
    qint64 offset = 0;
    auto abandon = [&](const QString& message) {
        file.close();
        QFile::remove(temporaryPath);
        throw UpdateFailure(message);
    };

    for (;;) {
        if (total_ >= 1 && offset >= total_)
            break;
        if (offset > kMaxPackageBytes)
            abandon(overCeilingText(offset));
        const qint64 segmentEnd = total_ >= 1 ? qMin(offset + timing.segmentBytes - 1, total_ - 1)
                                              : offset + timing.segmentBytes - 1;
        for (int n = 1;; ++n) {
            const Attempt attempt = fetchSegment(url, file, offset, segmentEnd);
            if (!attempt.fatal.isEmpty())
                abandon(attempt.fatal);
            // A 200 answer carries the file from its first byte: after the first segment that would
            // land at the wrong place in the file, so it counts as a failed attempt.
            const bool wholeFileAtOffset = attempt.status == 200 && offset > 0;
            const bool succeeded = !attempt.failed && attempt.error.isEmpty() &&
                                   attempt.networkError.isEmpty() &&
                                   (attempt.status == 206 || attempt.status == 200) && attempt.received > 0 &&
                                   !wholeFileAtOffset;
            if (succeeded) {
                offset += attempt.received;
                if (attempt.status == 200 && total_ < 1)
                    total_ = offset;
                reportProgress(offset, total_ >= 1 && offset >= total_);
                break;
            }
            QString error = attempt.error;
            if (error.isEmpty())
                error = attempt.networkError;
            if (error.isEmpty())
                error = QStringLiteral("HTTP %1").arg(attempt.status);
            file.resize(offset);
            file.seek(offset);
            if (n == kAttempts)
                abandon(QStringLiteral("下载分片失败: %1").arg(error));
            if (report_)
                report_(kDownloadTitle, QStringLiteral("分片重试 %1/3：%2").arg(n).arg(error),
                        downloadPermille(offset, total_));
            // Between attempts the GUI thread deliberately sleeps: nothing else is going on.
            QThread::msleep(ulong(timing.retryWaitStepMs) * ulong(n));
        }
    }

    file.close();
    if (expectedSize < 1 || expectedSize == offset) {
        QFile::remove(packagePath);
        if (!QFile::rename(temporaryPath, packagePath))
            throw UpdateFailure(QStringLiteral("无法保存更新包: ") + packagePath);
        return packagePath;
    }
    QFile::remove(temporaryPath);
    throw UpdateFailure(sizeMismatchText(offset, expectedSize));
}

} // namespace updater
