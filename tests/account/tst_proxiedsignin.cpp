#include "LoopbackProxies.h"
#include "TestMain.h"

#include "Simulator.h"
#include "account/LoginDialog.h"
#include "account/NetworkProxyDialog.h"
#include "account/ProxyForm.h"
#include "app/Settings.h"
#include "model/SignInState.h"
#include "ui/Dialogs.h"

#include <QLabel>
#include <QLineEdit>
#include <QUrl>

// Sign-in and the proxy test against the simulated Cloud API, directly and through real proxy
// servers on loopback ports.
namespace {

const QString kUser = QStringLiteral("alice");
const QString kPassword = QStringLiteral("pw-1");

void storeProxy(const QString& mode, const QString& type, quint16 port, const QString& user = QString(),
                const QString& password = QString()) {
    account::storeProxyForm({mode, type, QStringLiteral("127.0.0.1"), int(port), user, password});
}

// Signs in through the dialog; returns the status label text, empty when the dialog was accepted.
QString signIn(const QString& user, const QString& password, bool registerAccount = false) {
    LoginDialog dialog;
    dialog.accountEdit()->setText(user);
    dialog.passwordEdit()->setText(password);
    dialog.submit(registerAccount);
    return dialog.result() == QDialog::Accepted ? QString() : dialog.statusLabel()->text();
}

QString proxyTestResult() {
    NetworkProxyDialog dialog;
    dialog.testConnection();
    return dialog.statusLabel()->text();
}

} // namespace

class TestProxiedSignIn : public QObject {
    Q_OBJECT

    std::unique_ptr<sim::Simulator> cloud;
    quint16 cloudPort = 0;

private Q_SLOTS:
    void init() {
        testsupport::clearSettings();
        ui::testing::setScripted(true);
        ui::testing::reset();
        signInState() = SignInState();
        cloud = std::make_unique<sim::Simulator>();
        QVERIFY(cloud->start());
        cloudPort = quint16(cloud->cloudPort());
        qputenv("ONDIVO_CLOUD_API_URL", cloud->cloudUrl().toUtf8());
        qputenv("ONDIVO_IPGEO_URL", cloud->cloudUrl().toUtf8());
        cloud->addAccount(kUser, kPassword);
    }
    void cleanup() { cloud.reset(); }

    void signInAndRegistration_data() {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("registerAccount");
        QTest::addColumn<QString>("failure");
        QTest::newRow("sign in") << kUser << kPassword << false << QString();
        QTest::newRow("wrong password") << kUser << "nope" << false << QStringLiteral("失败: 账号或密码错误");
        QTest::newRow("unknown account")
            << "mallory" << kPassword << false << QStringLiteral("失败: 账号或密码错误");
        QTest::newRow("register new account") << "bob"
                                              << "新密码" << true << QString();
        QTest::newRow("register taken name")
            << kUser << kPassword << true << QStringLiteral("失败: 账号已存在");
    }
    void signInAndRegistration() {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(bool, registerAccount);
        QFETCH(QString, failure);
        QCOMPARE(signIn(user, password, registerAccount), failure);
        if (failure.isEmpty()) {
            QCOMPARE(signInState().username, user);
            QCOMPARE(signInState().password, password);
            QVERIFY(!signInState().token.isEmpty());
            QCOMPARE(settings::lastUsername(), user);
            // The token the dialog holds is one the service accepts.
            QVERIFY(!cloud->login(user, password).isEmpty());
        } else {
            QCOMPARE(signInState().token, QString());
            QCOMPARE(settings::lastUsername(), QString());
        }
    }

    void throughRealProxy_data() {
        QTest::addColumn<int>("kind");
        QTest::newRow("SOCKS5 (microsocks)") << int(LoopbackProxy::Kind::Socks5);
        QTest::newRow("HTTP (tinyproxy)") << int(LoopbackProxy::Kind::Http);
    }
    void throughRealProxy() {
        QFETCH(int, kind);
        LoopbackProxy proxy{LoopbackProxy::Kind(kind)};
        QVERIFY2(proxy.isRunning(), qPrintable(proxy.log()));
        const bool http = LoopbackProxy::Kind(kind) == LoopbackProxy::Kind::Http;
        storeProxy(QStringLiteral("localProxy"), http ? QStringLiteral("http") : QStringLiteral("socks5"),
                   proxy.port());

        QCOMPARE(signIn(kUser, kPassword), QString());
        QVERIFY(!signInState().token.isEmpty());
        QTRY_COMPARE(proxy.countForTarget(cloudPort, http ? QStringLiteral("/api/auth/login") : QString()),
                     1);

        QCOMPARE(proxyTestResult(), QStringLiteral("测试成功：127.0.0.1 Hong Kong(HK) Asia/Hong_Kong"));
        if (http)
            QTRY_COMPARE(proxy.countForTarget(cloudPort, QStringLiteral("/json/?fields=")), 1);
        else
            QTRY_COMPARE(proxy.countForTarget(cloudPort), 2);
    }

    void socksCredentialsAreUsed_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("passes");
        QTest::newRow("right password") << "s3cret" << true;
        QTest::newRow("wrong password") << "wrong" << false;
    }
    void socksCredentialsAreUsed() {
        QFETCH(QString, password);
        QFETCH(bool, passes);
        LoopbackProxy proxy{LoopbackProxy::Kind::Socks5, QStringLiteral("proxyuser"),
                            QStringLiteral("s3cret")};
        QVERIFY2(proxy.isRunning(), qPrintable(proxy.log()));
        storeProxy(QStringLiteral("localProxy"), QStringLiteral("socks5"), proxy.port(),
                   QStringLiteral("proxyuser"), password);
        const QString failure = signIn(kUser, kPassword);
        if (passes) {
            QCOMPARE(failure, QString());
            QTRY_COMPARE(proxy.countForTarget(cloudPort), 1);
        } else {
            QCOMPARE(failure, QStringLiteral("失败: 请求失败"));
            QCOMPARE(proxy.countForTarget(cloudPort), 0);
            QCOMPARE(cloud->callCount(sim::kCloud, "POST", "/api/auth/login"), 0);
        }
    }

    // Direct mode keeps the proxy fields stored but sends nothing through them.
    void directModeBypassesProxies() {
        LoopbackProxy socks{LoopbackProxy::Kind::Socks5};
        LoopbackProxy http{LoopbackProxy::Kind::Http};
        QVERIFY(socks.isRunning() && http.isRunning());

        storeProxy(QStringLiteral("direct"), QStringLiteral("socks5"), socks.port());
        QCOMPARE(signIn(kUser, kPassword), QString());
        QVERIFY(proxyTestResult().startsWith(QStringLiteral("测试成功：")));
        storeProxy(QStringLiteral("direct"), QStringLiteral("http"), http.port());
        QCOMPARE(signIn(kUser, kPassword), QString());
        QVERIFY(proxyTestResult().startsWith(QStringLiteral("测试成功：")));

        QCOMPARE(cloud->callCount(sim::kCloud, "POST", "/api/auth/login"), 2);
        QTest::qWait(100);
        QCOMPARE(socks.countForTarget(cloudPort), 0);
        QCOMPARE(http.countForTarget(cloudPort), 0);
        QVERIFY(!http.log().contains(QStringLiteral("Request (file descriptor")));
    }

    void deadProxyFailsSignIn() {
        quint16 deadPort = 0;
        {
            LoopbackProxy gone{LoopbackProxy::Kind::Socks5};
            deadPort = gone.port();
        }
        storeProxy(QStringLiteral("localProxy"), QStringLiteral("socks5"), deadPort);
        QCOMPARE(signIn(kUser, kPassword), QStringLiteral("失败: 请求失败"));
        QVERIFY(proxyTestResult().startsWith(QStringLiteral("测试失败：")));
        QCOMPARE(cloud->callCount(sim::kCloud, "POST", "/api/auth/login"), 0);
    }
};

ONDIVO_TEST_MAIN_GUI(TestProxiedSignIn)
#include "tst_proxiedsignin.moc"
