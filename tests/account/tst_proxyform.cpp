#include "TestMain.h"

#include "account/ProxyForm.h"
#include "app/LocalProtection.h"
#include "app/Settings.h"
#include "net/ApplicationProxy.h"

class TestProxyForm : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { testsupport::clearSettings(); }

    void defaultPortFollowsType_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("expected");
        QTest::newRow("socks default to http") << 10808 << "http" << 10809;
        QTest::newRow("http default to socks") << 10809 << "socks5" << 10808;
        QTest::newRow("socks default stays socks") << 10808 << "socks5" << 10808;
        QTest::newRow("own port to http") << 7890 << "http" << 7890;
        QTest::newRow("own port to socks") << 7890 << "socks5" << 7890;
        QTest::newRow("unknown type counts as socks") << 10809 << "HTTP" << 10808;
    }
    void defaultPortFollowsType() {
        QFETCH(int, port);
        QFETCH(QString, type);
        QFETCH(int, expected);
        QCOMPARE(account::portAfterTypeChange(port, type), expected);
    }

    void proxyBuiltFromForm_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("kind");
        QTest::newRow("direct ignores host") << "direct"
                                             << "http" << int(QNetworkProxy::NoProxy);
        QTest::newRow("socks5") << "localProxy"
                                << "socks5" << int(QNetworkProxy::Socks5Proxy);
        QTest::newRow("http") << "localProxy"
                              << "http" << int(QNetworkProxy::HttpProxy);
    }
    void proxyBuiltFromForm() {
        QFETCH(QString, mode);
        QFETCH(QString, type);
        QFETCH(int, kind);
        account::ProxyForm form{mode,
                                type,
                                QStringLiteral("  proxy.lan "),
                                3128,
                                QStringLiteral(" bob "),
                                QStringLiteral(" secret ")};
        const QNetworkProxy proxy = account::proxyFromForm(form);
        QCOMPARE(int(proxy.type()), kind);
        if (kind == QNetworkProxy::NoProxy)
            return;
        QCOMPARE(proxy.hostName(), QStringLiteral("proxy.lan"));
        QCOMPARE(int(proxy.port()), 3128);
        QCOMPARE(proxy.user(), QStringLiteral("bob"));
        QCOMPARE(proxy.password(), QStringLiteral(" secret "));
    }

    void missingHostOnlyMattersForLocalProxy_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("problem");
        QTest::newRow("proxy, blank host") << "localProxy"
                                           << "   " << true;
        QTest::newRow("proxy, host") << "localProxy"
                                     << "127.0.0.1" << false;
        QTest::newRow("direct, blank host") << "direct"
                                            << "" << false;
    }
    void missingHostOnlyMattersForLocalProxy() {
        QFETCH(QString, mode);
        QFETCH(QString, host);
        QFETCH(bool, problem);
        account::ProxyForm form{mode, QStringLiteral("socks5"), host, 10808, {}, {}};
        const auto found = account::proxyFormProblem(form);
        QCOMPARE(found.has_value(), problem);
        if (problem)
            QCOMPARE(*found, QStringLiteral("请填写代理地址。"));
    }

    void directModeStillStoresTheFields() {
        account::storeProxyForm({QStringLiteral("direct"), QStringLiteral("http"),
                                 QStringLiteral(" 10.0.0.2 "), 3128, QStringLiteral(" bob "),
                                 QStringLiteral("pw")});
        QCOMPARE(settings::networkMode(), QStringLiteral("direct"));
        QCOMPARE(settings::proxyType(), QStringLiteral("http"));
        QCOMPARE(settings::proxyHost(), QStringLiteral("10.0.0.2"));
        QCOMPARE(settings::proxyPort(), 3128);
        QCOMPARE(settings::proxyUsername(), QStringLiteral("bob"));
        QCOMPARE(app::unprotectLocal(settings::protectedProxyPassword()), QStringLiteral("pw"));
        QCOMPARE(net::proxySummary(), QStringLiteral("直连"));
        QCOMPARE(int(net::applicationProxy().type()), int(QNetworkProxy::NoProxy));
    }

    void emptyPasswordForgetsStoredOne() {
        account::storeProxyForm({QStringLiteral("localProxy"), QStringLiteral("socks5"), QStringLiteral("h"),
                                 1080, QString(), QStringLiteral("old")});
        QVERIFY(!settings::protectedProxyPassword().isEmpty());
        account::storeProxyForm({QStringLiteral("localProxy"), QStringLiteral("socks5"), QStringLiteral("h"),
                                 1080, QString(), QString()});
        QCOMPARE(settings::protectedProxyPassword(), QString());
        QCOMPARE(net::applicationProxy().password(), QString());
        QCOMPARE(account::loadProxyForm().password, QString());
    }

    void loadingUsesCatalogueDefaults() {
        const account::ProxyForm form = account::loadProxyForm();
        QCOMPARE(form.mode, QStringLiteral("direct"));
        QCOMPARE(form.type, QStringLiteral("socks5"));
        QCOMPARE(form.host, QStringLiteral("127.0.0.1"));
        QCOMPARE(form.port, 10808);
        settings::writeText(settings::key::proxyType, QStringLiteral("http"));
        QCOMPARE(account::loadProxyForm().port, 10809);
    }

    void geolocationReplyTexts_data() {
        QTest::addColumn<QJsonObject>("reply");
        QTest::addColumn<QString>("text");
        QTest::newRow("success") << QJsonObject{{"status", "success"},
                                                {"query", "203.0.113.7"},
                                                {"country", "日本"},
                                                {"countryCode", "JP"},
                                                {"timezone", "Asia/Tokyo"}}
                                 << QStringLiteral("测试成功：203.0.113.7 日本(JP) Asia/Tokyo");
        QTest::newRow("fail") << QJsonObject{{"status", "fail"},
                                             {"message", "reserved range"},
                                             {"query", "10.0.0.1"}}
                              << QStringLiteral("测试失败：reserved range");
        QTest::newRow("not a geolocation answer")
            << QJsonObject() << QStringLiteral("测试失败：地理位置服务的回复无法识别");
    }
    void geolocationReplyTexts() {
        QFETCH(QJsonObject, reply);
        QFETCH(QString, text);
        QCOMPARE(account::geoTestResultText(reply), text);
    }

    void geolocationUrlCanBeRedirected() {
        qunsetenv(account::kIpGeoUrlVariable);
        QCOMPARE(account::ipGeoTestUrl(),
                 QStringLiteral(
                     "http://ip-api.com/json/?fields=status,message,query,country,countryCode,timezone"));
        qputenv(account::kIpGeoUrlVariable, "http://127.0.0.1:4567/");
        QCOMPARE(account::ipGeoTestUrl(),
                 QStringLiteral(
                     "http://127.0.0.1:4567/json/?fields=status,message,query,country,countryCode,timezone"));
        qunsetenv(account::kIpGeoUrlVariable);
    }
};

ONDIVO_TEST_MAIN_CORE(TestProxyForm)
#include "tst_proxyform.moc"
