#include "TestMain.h"

#include "app/TextFormats.h"

#include <QDateTime>
#include <cmath>

class TestTextFormats : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void clientBytes_data() {
        QTest::addColumn<double>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << "0.00 B";
        QTest::newRow("five") << 5.0 << "5.00 B";
        QTest::newRow("512") << 512.0 << "512.0 B";
        QTest::newRow("1023") << 1023.0 << "1023.0 B";
        QTest::newRow("1024") << 1024.0 << "1.00 KB";
        QTest::newRow("1536 MB") << 1536.0 * 1024 * 1024 << "1.50 GB";
        QTest::newRow("3.45 GB") << 3.45 * 1024 * 1024 * 1024 << "3.45 GB";
        QTest::newRow("15.6 GB") << 15.6 * 1024 * 1024 * 1024 << "15.6 GB";
        QTest::newRow("2 TB") << 2.0 * 1024 * 1024 * 1024 * 1024 << "2.00 TB";
        QTest::newRow("beyond TB stays TB") << 2048.0 * 1024 * 1024 * 1024 * 1024 << "2048.0 TB";
        // Figures no Node can have are no figures: never a 300-digit number or a negative size.
        QTest::newRow("1 EiB is the last plausible size") << 1152921504606846976.0 << "1048576.0 TB";
        QTest::newRow("beyond 1 EiB") << 1152921504606846976.0 * 2 << "--";
        QTest::newRow("1e300") << 1e300 << "--";
        QTest::newRow("negative") << -1.0 << "--";
        QTest::newRow("not a number") << std::nan("") << "--";
    }
    void clientBytes() {
        QFETCH(double, bytes);
        QFETCH(QString, text);
        QCOMPARE(fmt::clientBytes(bytes), text);
    }

    void updaterBytesStopsAtGb() {
        QCOMPARE(fmt::updaterBytes(2.0 * 1024 * 1024 * 1024 * 1024), QStringLiteral("2048.0 GB"));
        QCOMPARE(fmt::updaterBytes(4194304), QStringLiteral("4.00 MB"));
        QCOMPARE(fmt::updaterBytes(10 * 1024), QStringLiteral("10.0 KB"));
    }

    void clientRate() {
        QCOMPARE(fmt::clientRate(2048), QStringLiteral("2.00 KB/s"));
        QCOMPARE(fmt::clientRate(0), QStringLiteral("0.00 B/s"));
        QCOMPARE(fmt::clientRate(-2048), QStringLiteral("--"));
        QCOMPARE(fmt::clientRate(1e300), QStringLiteral("--"));
        QCOMPARE(fmt::nodeRate(-1), QStringLiteral("--"));
        QCOMPARE(fmt::nodeRate(1e300), QStringLiteral("--"));
    }

    void count_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << "0";
        QTest::newRow("whole") << 42.0 << "42";
        QTest::newRow("largest") << 1e9 << "1000000000";
        QTest::newRow("too many") << 1e9 + 1 << "--";
        QTest::newRow("1e300") << 1e300 << "--";
        QTest::newRow("negative") << -3.0 << "--";
        QTest::newRow("fraction") << 2.5 << "--";
    }
    void count() {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(fmt::count(value), text);
    }

    void nodeRate_data() {
        QTest::addColumn<double>("rate");
        QTest::addColumn<QString>("text");
        QTest::newRow("5 B/s") << 5.0 << "5.0 B/s";
        QTest::newRow("2048") << 2048.0 << "2.0 KB/s";
        QTest::newRow("20480") << 20480.0 << "20 KB/s";
        QTest::newRow("120 KB") << 120.0 * 1024 << "120 KB/s";
        QTest::newRow("1.5 MB") << 1.5 * 1024 * 1024 << "1.5 MB/s";
        QTest::newRow("1023") << 1023.0 << "1023 B/s";
        QTest::newRow("huge stays GB/s") << 5000.0 * 1024 * 1024 * 1024 << "5000 GB/s";
    }
    void nodeRate() {
        QFETCH(double, rate);
        QFETCH(QString, text);
        QCOMPARE(fmt::nodeRate(rate), text);
    }

    void duration_data() {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << "00:00:00";
        QTest::newRow("negative") << qint64(-5) << "00:00:00";
        QTest::newRow("one hour one min one sec") << qint64(3661) << "01:01:01";
        QTest::newRow("just below a day") << qint64(86399) << "23:59:59";
        QTest::newRow("one day") << qint64(86400) << "1d 00:00:00";
        QTest::newRow("days") << qint64(3 * 86400 + 5 * 3600 + 7 * 60 + 9) << "3d 05:07:09";
    }
    void duration() {
        QFETCH(qint64, seconds);
        QFETCH(QString, text);
        QCOMPARE(fmt::duration(seconds), text);
    }

    void epochMs() {
        QCOMPARE(fmt::formatEpochMs(0), QStringLiteral("--"));
        QCOMPARE(fmt::formatEpochMs(-1000), QStringLiteral("--"));
        const QString one = fmt::formatEpochMs(1);
        QCOMPARE(one, QDateTime::fromMSecsSinceEpoch(1).toLocalTime().toString(
                          QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        QVERIFY(one.startsWith(QStringLiteral("1970-01-01")) || one.startsWith(QStringLiteral("1969-12-31")));
        QVERIFY(fmt::formatEpochMs(1700000000000).startsWith(QStringLiteral("2023-11-1")));
    }

    void timestampedLine() {
        const QString line = fmt::timestampedLine(QStringLiteral("上传完成"));
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d 上传完成$")).match(line).hasMatch(),
                 qPrintable(line));
    }
};

ONDIVO_TEST_MAIN_CORE(TestTextFormats)
#include "tst_textformats.moc"
