#include "updater/PackageDownload.h"

#include "app/TextFormats.h"
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
    return request;
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

void PackageDownloader::reportProgress(qint64 bytes) {
    if (report_)
        report_(kDownloadTitle, downloadProgressDetail(bytes, total_, nowMs() - startedMs_),
                downloadPermille(bytes, total_));
}

PackageDownloader::Attempt PackageDownloader::fetchSegment(const QUrl& url, QFile& file, qint64 offset,
                                                           qint64 end) {
    Attempt attempt;
    file.seek(offset);
    QNetworkReply* reply = manager_.get(segmentRequest(url, offset, end));

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

    idle.start(timing::segmentIdleMs);
    overall.start(timing::segmentOverallMs);
    if (!reply->isFinished())
        loop.exec();
    idle.stop();
    overall.stop();
    if (attempt.error.isEmpty())
        drain();
    file.flush();

    attempt.status = net::replyStatus(reply);
    const qint64 announcedTotal = totalFromContentRange(reply->rawHeader("Content-Range"));
    if (announcedTotal > 0)
        total_ = announcedTotal;
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
    total_ = expectedSize;
    qint64 offset = 0;

    for (;;) {
        if (total_ >= 1 && offset >= total_)
            break;
        const qint64 segmentEnd = total_ >= 1 ? qMin(offset + timing::segmentBytes - 1, total_ - 1)
                                              : offset + timing::segmentBytes - 1;
        for (int n = 1;; ++n) {
            const Attempt attempt = fetchSegment(url, file, offset, segmentEnd);
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
                reportProgress(offset);
                break;
            }
            QString error = attempt.error;
            if (error.isEmpty())
                error = attempt.networkError;
            if (error.isEmpty())
                error = QStringLiteral("HTTP %1").arg(attempt.status);
            file.resize(offset);
            file.seek(offset);
            if (n == kAttempts) {
                file.close();
                QFile::remove(temporaryPath);
                throw UpdateFailure(QStringLiteral("下载分片失败: %1").arg(error));
            }
            if (report_)
                report_(kDownloadTitle, QStringLiteral("分片重试 %1/3：%2").arg(n).arg(error),
                        downloadPermille(offset, total_));
            // Between attempts the GUI thread deliberately sleeps: nothing else is going on.
            QThread::msleep(ulong(timing::retryWaitStepMs) * ulong(n));
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
    throw UpdateFailure(QStringLiteral("下载大小不一致: %1 / %2")
                            .arg(fmt::updaterBytes(double(offset)), fmt::updaterBytes(double(expectedSize))));
}

} // namespace updater
