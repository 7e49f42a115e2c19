#pragma once

#include <QString>
#include <QUrl>
#include <QtGlobal>
#include <functional>

class QFile;
class QNetworkAccessManager;
class QNetworkReply;

namespace updater {

using ProgressReport = std::function<void(const QString& title, const QString& detail, int permille)>;

// "%1 / %2    %3/s" of the download step: bytes so far, the total ("--" when unknown), the mean rate.
QString downloadProgressDetail(qint64 bytes, qint64 total, qint64 elapsedMs);
int downloadPermille(qint64 bytes, qint64 total);

// The number after the last "/" of a Content-Range header when it is at least 1, else 0.
qint64 totalFromContentRange(const QByteArray& contentRange);

// The largest package downloaded when the manifest gives no size (a real release is a fraction of it):
// a host announcing or sending more fails the download.
inline constexpr qint64 kMaxPackageBytes = qint64(2) * 1024 * 1024 * 1024;

// Downloads a package in ranged segments straight to disk, retrying each segment, and renames the
// finished file into place. Throws UpdateFailure with the message of the failed rule.
class PackageDownloader {
public:
    PackageDownloader(QNetworkAccessManager& manager, ProgressReport report);

    // expectedSize below 1 means unknown. A segment that brings more than it asked for is a failed
    // attempt; a Content-Range total that differs from a given expectedSize fails the download with
    // "下载大小不一致", and without expectedSize kMaxPackageBytes bounds it. Progress is reported at most
    // once per percent or per timing.progressReportIntervalMs. Returns packagePath.
    QString download(const QUrl& url, const QString& packagePath, qint64 expectedSize);

private:
    struct Attempt {
        qint64 received = 0;
        int status = 0;
        bool failed = false;
        QString error; // timer or write error
        QString networkError;
        QString fatal; // ends the whole download: the host contradicts the size it was asked for
    };

    Attempt fetchSegment(const QUrl& url, QFile& file, qint64 offset, qint64 end);
    qint64 segmentAllowance(QNetworkReply* reply, qint64 offset, qint64 end) const;
    QString checkAnnouncedTotal(qint64 announcedTotal);
    void reportProgress(qint64 bytes, bool force = false);

    QNetworkAccessManager& manager_;
    ProgressReport report_;
    qint64 expectedSize_ = 0;
    qint64 total_ = 0;
    qint64 startedMs_ = 0;
    qint64 lastReportMs_ = 0;
    int lastReportPercent_ = -1;
};

} // namespace updater
