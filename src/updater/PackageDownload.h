#pragma once

#include <QString>
#include <QUrl>
#include <QtGlobal>
#include <functional>

class QFile;
class QNetworkAccessManager;

namespace updater {

using ProgressReport = std::function<void(const QString& title, const QString& detail, int permille)>;

// "%1 / %2    %3/s" of the download step: bytes so far, the total ("--" when unknown), the mean rate.
QString downloadProgressDetail(qint64 bytes, qint64 total, qint64 elapsedMs);
int downloadPermille(qint64 bytes, qint64 total);

// The number after the last "/" of a Content-Range header when it is at least 1, else 0.
qint64 totalFromContentRange(const QByteArray& contentRange);

// Downloads a package in ranged segments straight to disk, retrying each segment, and renames the
// finished file into place. Throws UpdateFailure with the message of the failed rule.
class PackageDownloader {
public:
    PackageDownloader(QNetworkAccessManager& manager, ProgressReport report);

    // expectedSize below 1 means unknown. Returns packagePath.
    QString download(const QUrl& url, const QString& packagePath, qint64 expectedSize);

private:
    struct Attempt {
        qint64 received = 0;
        int status = 0;
        bool failed = false;
        QString error; // timer or write error
        QString networkError;
    };

    Attempt fetchSegment(const QUrl& url, QFile& file, qint64 offset, qint64 end);
    void reportProgress(qint64 bytes);

    QNetworkAccessManager& manager_;
    ProgressReport report_;
    qint64 total_ = 0;
    qint64 startedMs_ = 0;
};

} // namespace updater
