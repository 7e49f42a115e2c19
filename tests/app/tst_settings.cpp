#include "TestMain.h"

#include "app/Settings.h"

#include <QSettings>

// The settings catalogue: defaults when absent, defaults for values of the wrong type, and the
// letter-case rules that decide the proxy's default port.
class TestSettings : public QObject {
    Q_OBJECT

    static void put(const char* key, const QVariant& value) {
        QSettings store(QStringLiteral("Ondivo"), QStringLiteral("Ondivo"));
        store.setValue(QString::fromLatin1(key), value);
    }

private Q_SLOTS:
    void init() { testsupport::clearSettings(); }

    void defaultsWhenAbsent() {
        QCOMPARE(settings::lastUsername(), QString());
        QCOMPARE(settings::rememberPassword(), false);
        QCOMPARE(settings::autoLogin(), false);
        QCOMPARE(settings::protectedPassword(), QString());
        QCOMPARE(settings::networkMode(), QStringLiteral("direct"));
        QCOMPARE(settings::proxyType(), QStringLiteral("socks5"));
        QCOMPARE(settings::proxyHost(), QStringLiteral("127.0.0.1"));
        QCOMPARE(settings::proxyPort(), 10808);
        QCOMPARE(settings::proxyUsername(), QString());
        QCOMPARE(settings::gostPort(), 1080);
        QCOMPARE(settings::gostUsername(), QStringLiteral("ondivo"));
        QCOMPARE(settings::gostProtectedPassword(), QString());
        QCOMPARE(settings::dataDirSetting(), QString());
        QVERIFY(settings::readBytes(settings::key::mainGeometry).isEmpty());
    }

    void proxyPortDefaultFollowsExactType_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("port");
        QTest::newRow("http") << "http" << 10809;
        QTest::newRow("upper-case HTTP is not http") << "HTTP" << 10808;
        QTest::newRow("socks5") << "socks5" << 10808;
        QTest::newRow("unknown") << "ftp" << 10808;
    }
    void proxyPortDefaultFollowsExactType() {
        QFETCH(QString, type);
        QFETCH(int, port);
        put(settings::key::proxyType, type);
        QCOMPARE(settings::proxyPort(), port);
    }

    void wrongTypesGiveDefaults_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::newRow("text in integer key") << QVariant(QStringLiteral("abc"));
        QTest::newRow("bytes in integer key") << QVariant(QByteArray("\x01\x02", 2));
        QTest::newRow("list in integer key")
            << QVariant(QStringList{QStringLiteral("1"), QStringLiteral("2")});
    }
    void wrongTypesGiveDefaults() {
        QFETCH(QVariant, stored);
        put(settings::key::gostPort, stored);
        QCOMPARE(settings::gostPort(), 1080);
        put(settings::key::proxyPort, stored);
        QCOMPARE(settings::proxyPort(), 10808);
        put(settings::key::autoLogin, stored);
        QCOMPARE(settings::autoLogin(), false);
    }

    void textKeysRejectOtherTypes() {
        put(settings::key::lastUsername, QByteArray("raw"));
        QCOMPARE(settings::lastUsername(), QString());
        put(settings::key::proxyHost, QStringList{QStringLiteral("a"), QStringLiteral("b")});
        QCOMPARE(settings::proxyHost(), QStringLiteral("127.0.0.1"));
        put(settings::key::mainGeometry, QStringLiteral("not bytes"));
        QVERIFY(settings::readBytes(settings::key::mainGeometry).isEmpty());
    }

    void valuesRoundTrip() {
        settings::writeBool(settings::key::rememberPassword, true);
        settings::writeInt(settings::key::proxyPort, 7890);
        settings::writeText(settings::key::lastUsername, QStringLiteral("张三 a,b"));
        settings::writeBytes(settings::key::mainGeometry, QByteArray("\x00\xff geometry", 11));
        QCOMPARE(settings::rememberPassword(), true);
        QCOMPARE(settings::proxyPort(), 7890);
        QCOMPARE(settings::lastUsername(), QStringLiteral("张三 a,b"));
        QCOMPARE(settings::readBytes(settings::key::mainGeometry), QByteArray("\x00\xff geometry", 11));
    }

    void explicitEmptyTextIsKept() {
        // An explicit empty value is a value, not an absent key.
        put(settings::key::proxyHost, QString());
        QCOMPARE(settings::proxyHost(), QString());
    }
};

ONDIVO_TEST_MAIN_CORE(TestSettings)
#include "tst_settings.moc"
