#include "RecordingServer.h"
#include "ReleaseServer.h"
#include "TestMain.h"
#include "UpdateScenario.h"
#include "updater/PackageDownload.h"
#include "updater/UpdateFailure.h"
#include "updater/UpdaterTiming.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QTimer>

using namespace updater;

namespace {

constexpr qint64 kSegment = 64 * 1024;

struct Report {
    QString title;
    QString detail;
    int permille;
};

} // namespace

class PackageDownloadTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void progressDetail_data();
    void progressDetail();
    void contentRangeTotal_data();
    void contentRangeTotal();
    void downloads_data();
    void downloads();
    void failsAfterThreeAttempts();
    void sizeMismatchRemovesTemporaryFile();
    void unwritableTemporaryFile();
    void wholeFileAfterFirstSegmentIsRefused();
    void hostileHostsAreBounded_data();
    void hostileHostsAreBounded();
    void progressIsReportedPerPercentOrSecond();

private:
    QString download(ReleaseServer& server, qint64 expectedSize, QList<Report>* reports = nullptr);
    QTemporaryDir dir_;
};

void PackageDownloadTest::init() {
    timing.segmentBytes = kSegment;
    timing.retryWaitStepMs = 20;
    timing.segmentIdleMs = 400;
    QDir(dir_.path()).removeRecursively();
    QDir().mkpath(dir_.path());
}

QString PackageDownloadTest::download(ReleaseServer& server, qint64 expectedSize, QList<Report>* reports) {
    QNetworkAccessManager manager;
    PackageDownloader downloader(manager, [reports](const QString& t, const QString& d, int p) {
        if (reports)
            reports->append({t, d, p});
    });
    return downloader.download(QUrl(server.packageUrl()), dir_.filePath("ondivo-client.zip"), expectedSize);
}

void PackageDownloadTest::progressDetail_data() {
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<qint64>("elapsed");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<int>("permille");
    QTest::newRow("start") << 0ll << 1000ll << 0ll << "0.00 B / 1000.0 B    0.00 B/s" << 0;
    QTest::newRow("unknown total") << 2048ll << 0ll << 1000ll << "2.00 KB / --    2.00 KB/s" << 150;
    QTest::newRow("half of MB") << 5242880ll << 10485760ll << 2000ll << "5.00 MB / 10.0 MB    2.50 MB/s"
                                << 500;
    QTest::newRow("GB") << 1073741824ll << 2147483648ll << 1000ll << "1.00 GB / 2.00 GB    1.00 GB/s" << 500;
    QTest::newRow("more than total") << 3000ll << 2000ll << 1ll << "2.93 KB / 1.95 KB    2.86 MB/s" << 1000;
}

void PackageDownloadTest::progressDetail() {
    QFETCH(qint64, bytes);
    QFETCH(qint64, total);
    QFETCH(qint64, elapsed);
    QTEST(downloadProgressDetail(bytes, total, elapsed), "detail");
    QTEST(downloadPermille(bytes, total), "permille");
}

void PackageDownloadTest::contentRangeTotal_data() {
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<qint64>("total");
    QTest::newRow("normal") << QByteArray("bytes 0-99/1000") << 1000ll;
    QTest::newRow("unknown") << QByteArray("bytes 0-99/*") << 0ll;
    QTest::newRow("unsatisfied") << QByteArray("bytes */5000") << 5000ll;
    QTest::newRow("zero") << QByteArray("bytes 0-0/0") << 0ll;
    QTest::newRow("absent") << QByteArray() << 0ll;
    QTest::newRow("large") << QByteArray("bytes 0-1/10737418240") << 10737418240ll;
}

void PackageDownloadTest::contentRangeTotal() {
    QFETCH(QByteArray, header);
    QTEST(totalFromContentRange(header), "total");
}

void PackageDownloadTest::downloads_data() {
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("passSize");
    QTest::addColumn<bool>("ignoreRange");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QList<QByteArray>>("ranges");
    const qint64 size = 3 * kSegment + 1000;
    const QByteArray s1 = "bytes=0-65535", s2 = "bytes=65536-131071", s3 = "bytes=131072-196607",
                     s4 = "bytes=196608-197607", s4open = "bytes=196608-262143";
    QTest::newRow("known size") << size << true << false << "" << QList<QByteArray>{s1, s2, s3, s4};
    QTest::newRow("exact multiple") << 2 * kSegment << true << false << "" << QList<QByteArray>{s1, s2};
    QTest::newRow("size from Content-Range")
        << size << false << false << "" << QList<QByteArray>{s1, s2, s3, s4};
    QTest::newRow("tiny package") << 10ll << true << false << "" << QList<QByteArray>{"bytes=0-9"};
    QTest::newRow("ignores Range, size unknown") << size << false << true << "" << QList<QByteArray>{s1};
    QTest::newRow("ignores Range, size known") << size << true << true << "" << QList<QByteArray>{s1};
    QTest::newRow("fails twice then succeeds")
        << size << true << false << "fail2" << QList<QByteArray>{s1, s2, s2, s2, s3, s4};
    QTest::newRow("dropped mid-segment")
        << size << true << false << "drop" << QList<QByteArray>{s1, s2, s2, s3, s4};
    QTest::newRow("stalled segment") << size << true << false << "stall"
                                     << QList<QByteArray>{s1, s2, s2, s3, s4};
    QTest::newRow("dropped, size unknown")
        << size << false << false << "drop" << QList<QByteArray>{s1, s2, s2, s3, s4};
    Q_UNUSED(s4open);
}

void PackageDownloadTest::downloads() {
    QFETCH(qint64, size);
    QFETCH(bool, passSize);
    QFETCH(bool, ignoreRange);
    QFETCH(QString, fault);
    QFETCH(QList<QByteArray>, ranges);
    ReleaseServer server;
    const QByteArray package = randomPayload(size);
    server.setPackage(package, "1.0");
    ReleaseServer::Variant variant;
    variant.ignoreRange = ignoreRange;
    server.setVariant(variant);
    if (fault == "fail2")
        server.failPackageRequests(2, 503, kSegment);
    else if (fault == "drop")
        server.dropPackageRequests(1, kSegment);
    else if (fault == "stall")
        server.stallPackageRequests(1, 1500, kSegment);

    QList<Report> reports;
    const QString path = download(server, passSize ? size : 0, &reports);
    QCOMPARE(path, dir_.filePath("ondivo-client.zip"));
    QCOMPARE(fileBytes(path).size(), package.size());
    QVERIFY(fileBytes(path) == package);
    QVERIFY(!QFileInfo::exists(path + ".download"));
    if (fault == "drop") {
        // Where the retry of a dropped segment ends depends on how much the network stack handed over
        // before the close; the segment is asked for again from its start either way.
        const QList<QByteArray> seen = server.packageRanges();
        QCOMPARE(seen.mid(0, 2), ranges.mid(0, 2));
        QVERIFY2(seen.at(2) == "bytes=65536-131071" || seen.at(2) == "bytes=98304-163839",
                 seen.at(2).constData());
    } else {
        QCOMPARE(server.packageRanges(), ranges);
    }

    QVERIFY(!reports.isEmpty());
    QCOMPARE(reports.last().title, QString("正在下载更新包..."));
    QCOMPARE(reports.last().permille, 1000);
    QVERIFY2(reports.last().detail.contains(" / "), qPrintable(reports.last().detail));
    for (int i = 1; i < reports.size(); ++i)
        QVERIFY(reports.at(i).permille <= 1000);
    QStringList retries;
    for (const Report& r : reports) {
        if (r.detail.startsWith("分片重试"))
            retries << r.detail;
    }
    if (fault == "fail2") {
        // An error status is a network error for the stack, so its text is the one shown.
        const QString text =
            "Error transferring " + server.packageUrl() + " - server replied: Service Unavailable";
        QCOMPARE(retries, (QStringList{"分片重试 1/3：" + text, "分片重试 2/3：" + text}));
    } else if (fault == "stall")
        QCOMPARE(retries, QStringList{"分片重试 1/3：15 秒没有收到新数据"});
    else if (fault == "drop")
        QVERIFY(retries.size() <= 1);
    else
        QVERIFY(retries.isEmpty());
}

void PackageDownloadTest::failsAfterThreeAttempts() {
    ReleaseServer server;
    server.setPackage(randomPayload(2 * kSegment), "1.0");
    server.failPackageRequests(3, 500, kSegment);
    try {
        download(server, 2 * kSegment);
        QFAIL("download succeeded");
    } catch (const UpdateFailure& failure) {
        QCOMPARE(failure.message(), "下载分片失败: Error transferring " + server.packageUrl() +
                                        " - server replied: Internal Server Error");
    }
    QVERIFY(!QFileInfo::exists(dir_.filePath("ondivo-client.zip.download")));
    QVERIFY(!QFileInfo::exists(dir_.filePath("ondivo-client.zip")));
}

void PackageDownloadTest::sizeMismatchRemovesTemporaryFile() {
    ReleaseServer server;
    server.setPackage(randomPayload(5000), "1.0");
    // The server's Content-Range tells the real (shorter) size; the loop ends there.
    try {
        download(server, 6000);
        QFAIL("download succeeded");
    } catch (const UpdateFailure& failure) {
        QCOMPARE(failure.message(), QString("下载大小不一致: 4.88 KB / 5.86 KB"));
    }
    QVERIFY(!QFileInfo::exists(dir_.filePath("ondivo-client.zip.download")));
    QVERIFY(!QFileInfo::exists(dir_.filePath("ondivo-client.zip")));
}

void PackageDownloadTest::unwritableTemporaryFile() {
    ReleaseServer server;
    server.setPackage(randomPayload(100), "1.0");
    QDir().mkpath(dir_.filePath("ondivo-client.zip.download/blocker"));
    try {
        download(server, 100);
        QFAIL("download succeeded");
    } catch (const UpdateFailure& failure) {
        QCOMPARE(failure.message(), "无法写入更新包: " + dir_.filePath("ondivo-client.zip.download"));
    }
    QVERIFY(server.packageRanges().isEmpty());
}

void PackageDownloadTest::wholeFileAfterFirstSegmentIsRefused() {
    ReleaseServer server;
    server.setPackage(randomPayload(5000), "1.0");
    ReleaseServer::Variant variant;
    variant.ignoreRange = true;
    server.setVariant(variant);
    // The manifest claims more than the server has: the second segment would get the file again from
    // byte 0 and land at offset 5000. That must never be written as package data.
    try {
        download(server, 6000);
        QFAIL("download succeeded");
    } catch (const UpdateFailure& failure) {
        QCOMPARE(failure.message(), QString("下载分片失败: HTTP 200"));
    }
    QCOMPARE(server.packageRanges(),
             (QList<QByteArray>{"bytes=0-5999", "bytes=5000-5999", "bytes=5000-5999", "bytes=5000-5999"}));
    QVERIFY(!QFileInfo::exists(dir_.filePath("ondivo-client.zip.download")));
}

// Package hosts that send more than asked or announce more than the manifest said: the download fails
// with the rule's text, and the temporary file never grows past what was asked for.
void PackageDownloadTest::hostileHostsAreBounded_data() {
    QTest::addColumn<qint64>("expectedSize");
    QTest::addColumn<QByteArray>("contentRange");
    QTest::addColumn<QString>("message");
    QTest::newRow("206 to bytes=0-999 that never ends")
        << 1000ll << QByteArray("bytes 0-999/1000") << "下载分片失败: 收到的数据超过请求的范围";
    QTest::newRow("total above the manifest size")
        << 1000ll << QByteArray("bytes 0-999/1000000000000") << "下载大小不一致: 931.3 GB / 1000.0 B";
    QTest::newRow("no manifest size, total above the ceiling")
        << 0ll << QByteArray("bytes 0-65535/1000000000000") << "更新包大小超过上限: 931.3 GB / 2.00 GB";
}

void PackageDownloadTest::hostileHostsAreBounded() {
    QFETCH(qint64, expectedSize);
    QFETCH(QByteArray, contentRange);
    QFETCH(QString, message);
    testsupport::RecordingServer host;
    testsupport::RecordingServer::Reply reply{206, QByteArray(1000, 'z'), "application/zip"};
    reply.extraHeaders.append({"Content-Range", contentRange});
    const bool endless = contentRange.endsWith("/1000"); // the host keeps sending past the range
    reply.noContentLength = endless;
    reply.streamBytes = endless ? 64 * 1024 * 1024 : 0;
    host.setDefaultReply(reply);
    const QString temporary = dir_.filePath("ondivo-client.zip.download");
    qint64 largest = 0;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] { largest = qMax(largest, QFileInfo(temporary).size()); });
    watch.start(5);
    QNetworkAccessManager manager;
    try {
        PackageDownloader(manager, {})
            .download(QUrl(host.baseUrl()), dir_.filePath("ondivo-client.zip"), expectedSize);
        QFAIL("download succeeded");
    } catch (const UpdateFailure& failure) {
        QCOMPARE(failure.message(), message);
    }
    QVERIFY2(largest <= kSegment, qPrintable(QString::number(largest)));
    QVERIFY(!QFileInfo::exists(temporary));
}

void PackageDownloadTest::progressIsReportedPerPercentOrSecond() {
    // Unknown size and a server without Range: the percentage never moves, so one report a second.
    ReleaseServer server;
    server.setPackage(randomPayload(24 * kSegment), "1.0");
    server.setVariant({.ignoreRange = true});
    QList<Report> reports;
    QElapsedTimer clock;
    clock.start();
    download(server, 0, &reports);
    QVERIFY2(reports.size() <= 3 + clock.elapsed() / 1000, qPrintable(QString::number(reports.size())));
    QCOMPARE(reports.last().permille, 1000);
}

ONDIVO_TEST_MAIN_CORE(PackageDownloadTest)
#include "tst_packagedownload.moc"
