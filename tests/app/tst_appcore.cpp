#include "TestMain.h"

#include "app/AppConstants.h"
#include "app/DataPaths.h"
#include "app/LocalProtection.h"
#include "app/Settings.h"
#include "app/UiText.h"
#include "platform/LocalSecret.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>
#include <sys/stat.h>

class TestAppCore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { testsupport::clearSettings(); }

    void dataDirectoryBlankSettingUsesDefault() {
        settings::writeText(settings::key::dataDir, QStringLiteral("   "));
        const QString expected = app::appDataDirectory() + QStringLiteral("/data");
        QDir(expected).removeRecursively();
        QCOMPARE(app::dataDirectory(), expected);
        QVERIFY(QFileInfo(expected).isDir());
        QVERIFY(expected.startsWith(testsupport::homePath()));
        QVERIFY(expected.endsWith(QStringLiteral("/Ondivo/Ondivo/data")));
    }

    void dataDirectoryCustomIsCleanedAndCreated() {
        const QString base = testsupport::homePath() + QStringLiteral("/custom");
        settings::writeText(settings::key::dataDir,
                            QStringLiteral("  ") + base + QStringLiteral("/a/../b/./c/  "));
        QCOMPARE(app::dataDirectory(), base + QStringLiteral("/b/c"));
        QVERIFY(QFileInfo(base + QStringLiteral("/b/c")).isDir());
    }

    void appendLogWritesOrderedIsoLines() {
        QFile::remove(app::logFilePath());
        app::appendLog(QStringLiteral("first 第一"));
        app::appendLog(QStringLiteral("second"));
        QFile file(app::logFilePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList lines =
            QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        const QRegularExpression iso(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d (.*)$"));
        QCOMPARE(iso.match(lines[0]).captured(1), QStringLiteral("first 第一"));
        QCOMPARE(iso.match(lines[1]).captured(1), QStringLiteral("second"));
        QCOMPARE(QFileInfo(app::logFilePath()).absolutePath(), app::appDataDirectory());
    }

    void uiTextTable() {
        QCOMPARE(app::uiText(QStringLiteral("nav.live")), QStringLiteral("直播"));
        QCOMPARE(app::uiText(QStringLiteral("nav.rtmp")), QStringLiteral("RTMP"));
        QCOMPARE(app::uiText(QStringLiteral("nav.files")), QStringLiteral("文件管理"));
        QCOMPARE(app::uiText(QStringLiteral("live.logs.readFailed")), QStringLiteral("读取日志失败: "));
        QCOMPARE(app::uiText(QStringLiteral("live.logs.titlePrefix")), QStringLiteral("直播日志 - "));
        QCOMPARE(app::uiText(QStringLiteral("live.logs.ffmpeg")), QStringLiteral("FFmpeg日志"));
        QCOMPARE(app::uiText(QStringLiteral("nav.missing")), QStringLiteral("nav.missing"));
        QCOMPARE(app::uiText(QString()), QString());
    }

    void uiTextConcurrentFirstUse() {
        QList<QFuture<QString>> futures;
        for (int i = 0; i < 8; ++i)
            futures << QtConcurrent::run([] { return app::uiText(QStringLiteral("nav.settings")); });
        for (auto& future : futures)
            QCOMPARE(future.result(), QStringLiteral("设置"));
    }

    void protectRoundTrip_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("ascii") << "s3cret!";
        QTest::newRow("cjk") << "密码 пароль";
        QTest::newRow("empty") << "";
    }
    void protectRoundTrip() {
        QFETCH(QString, text);
        const QString stored = app::protectLocal(text);
        QVERIFY(!stored.isEmpty());
        QVERIFY(!stored.contains(text) || text.isEmpty());
        QVERIFY(!QByteArray::fromBase64(stored.toLatin1()).contains(text.toUtf8()) || text.isEmpty());
        QCOMPARE(app::unprotectLocal(stored), text);
        QVERIFY(app::protectLocal(text) != stored); // fresh nonce every time
    }

    void masterKeyIsOwnerOnly() {
        app::protectLocal(QStringLiteral("x"));
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(platform::masterKeyPath()).constData(), &info), 0);
        QCOMPARE(int(info.st_mode & 0777), 0600);
        QCOMPARE(QFileInfo(platform::masterKeyPath()).size(), qint64(32));
    }

    void unprotectRejectsGarbage_data() {
        QTest::addColumn<QString>("stored");
        const QString good = app::protectLocal(QStringLiteral("password"));
        const QByteArray raw = QByteArray::fromBase64(good.toLatin1());
        QByteArray flipped = raw;
        flipped[flipped.size() - 1] = char(flipped[flipped.size() - 1] ^ 0x01);
        QTest::newRow("empty") << "";
        QTest::newRow("not base64") << "***not base64***";
        QTest::newRow("random base64") << QString::fromLatin1(QByteArray(48, 'A').toBase64());
        QTest::newRow("truncated") << QString::fromLatin1(raw.left(raw.size() - 3).toBase64());
        QTest::newRow("header only") << QString::fromLatin1(raw.left(10).toBase64());
        QTest::newRow("flipped tag") << QString::fromLatin1(flipped.toBase64());
        QTest::newRow("plain text") << "password";
    }
    void unprotectRejectsGarbage() {
        QFETCH(QString, stored);
        QCOMPARE(app::unprotectLocal(stored), QString());
    }

    void anotherUsersKeyOpensNothing() {
        const QString stored = app::protectLocal(QStringLiteral("mine"));
        QFile keyFile(platform::masterKeyPath());
        QVERIFY(keyFile.open(QIODevice::ReadOnly));
        const QByteArray original = keyFile.readAll();
        keyFile.close();

        QVERIFY(QFile::remove(platform::masterKeyPath())); // as if another user (another key) read it
        QVERIFY(!app::protectLocal(QStringLiteral("other")).isEmpty());
        QCOMPARE(app::unprotectLocal(stored), QString());

        QVERIFY(QFile::remove(platform::masterKeyPath()));
        QVERIFY(keyFile.open(QIODevice::WriteOnly));
        keyFile.write(original);
        keyFile.close();
        QCOMPARE(app::unprotectLocal(stored), QStringLiteral("mine"));
    }

    void damagedKeyFileIsReplaced() {
        QFile keyFile(platform::masterKeyPath());
        QVERIFY(keyFile.open(QIODevice::WriteOnly | QIODevice::Truncate));
        keyFile.write("short");
        keyFile.close();
        const QString stored = app::protectLocal(QStringLiteral("again"));
        QVERIFY(!stored.isEmpty());
        QCOMPARE(app::unprotectLocal(stored), QStringLiteral("again"));
    }

    void cloudApiOverride() {
        qputenv(app::kCloudApiUrlVariable, "http://127.0.0.1:9999/");
        QCOMPARE(app::cloudApiBaseUrl(), QStringLiteral("http://127.0.0.1:9999"));
        qunsetenv(app::kCloudApiUrlVariable);
        QCOMPARE(app::cloudApiBaseUrl(), QString::fromLatin1(app::kDefaultCloudApiBaseUrl));
        QVERIFY(app::cloudApiBaseUrl().startsWith(QStringLiteral("https://")));
    }
};

ONDIVO_TEST_MAIN_CORE(TestAppCore)
#include "tst_appcore.moc"
