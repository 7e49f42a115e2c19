#include "TestMain.h"

#include "app/LocalProtection.h"
#include "app/Settings.h"
#include "net/ApplicationProxy.h"

class TestApplicationProxy : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { testsupport::clearSettings(); }

    void directUnlessExactlyLocalProxy_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("proxied");
        QTest::newRow("absent") << QString() << false;
        QTest::newRow("direct") << "direct" << false;
        QTest::newRow("letter case") << "LocalProxy" << false;
        QTest::newRow("blank around") << " localProxy" << false;
        QTest::newRow("exact") << "localProxy" << true;
    }
    void directUnlessExactlyLocalProxy() {
        QFETCH(QString, mode);
        QFETCH(bool, proxied);
        if (!mode.isNull())
            settings::writeText(settings::key::networkMode, mode);
        const QNetworkProxy proxy = net::applicationProxy();
        QCOMPARE(proxy.type() != QNetworkProxy::NoProxy, proxied);
        if (!proxied)
            QCOMPARE(net::proxySummary(), QStringLiteral("直连"));
    }

    void proxyTypeAndDefaults_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("summary");
        QTest::newRow("default socks")
            << QString() << int(QNetworkProxy::Socks5Proxy) << 10808 << "SOCKS5 127.0.0.1:10808";
        QTest::newRow("http") << "http" << int(QNetworkProxy::HttpProxy) << 10809 << "HTTP 127.0.0.1:10809";
        QTest::newRow("upper-case HTTP means SOCKS5")
            << "HTTP" << int(QNetworkProxy::Socks5Proxy) << 10808 << "SOCKS5 127.0.0.1:10808";
    }
    void proxyTypeAndDefaults() {
        QFETCH(QString, type);
        QFETCH(int, kind);
        QFETCH(int, port);
        QFETCH(QString, summary);
        settings::writeText(settings::key::networkMode, QStringLiteral("localProxy"));
        if (!type.isNull())
            settings::writeText(settings::key::proxyType, type);
        const QNetworkProxy proxy = net::applicationProxy();
        QCOMPARE(int(proxy.type()), kind);
        QCOMPARE(int(proxy.port()), port);
        QCOMPARE(proxy.hostName(), QStringLiteral("127.0.0.1"));
        QCOMPARE(net::proxySummary(), summary);
    }

    void credentials() {
        settings::writeText(settings::key::networkMode, QStringLiteral("localProxy"));
        settings::writeText(settings::key::proxyHost, QStringLiteral("proxy.lan"));
        settings::writeInt(settings::key::proxyPort, 7890);
        settings::writeText(settings::key::proxyUsername, QStringLiteral("bob"));
        settings::writeText(settings::key::protectedProxyPassword, app::protectLocal(QStringLiteral("p@ss")));
        QNetworkProxy proxy = net::applicationProxy();
        QCOMPARE(proxy.hostName(), QStringLiteral("proxy.lan"));
        QCOMPARE(int(proxy.port()), 7890);
        QCOMPARE(proxy.user(), QStringLiteral("bob"));
        QCOMPARE(proxy.password(), QStringLiteral("p@ss"));
        QCOMPARE(net::proxySummary(), QStringLiteral("SOCKS5 proxy.lan:7890"));

        settings::writeText(settings::key::protectedProxyPassword, QStringLiteral("garbage"));
        QCOMPARE(net::applicationProxy().password(), QString());
        settings::writeText(settings::key::protectedProxyPassword, QString());
        QCOMPARE(net::applicationProxy().password(), QString());
    }
};

ONDIVO_TEST_MAIN_CORE(TestApplicationProxy)
#include "tst_applicationproxy.moc"
