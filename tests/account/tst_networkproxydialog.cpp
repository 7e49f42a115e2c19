#include "PlainText.h"
#include "RecordingServer.h"
#include "TestMain.h"

#include "account/NetworkProxyDialog.h"
#include "app/LocalProtection.h"
#include "app/Settings.h"
#include "ui/Dialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTcpServer>
#include <QTimer>

using testsupport::RecordingServer;

namespace {

const QByteArray kGeoPath = "/json/?fields=status,message,query,country,countryCode,timezone";
const QByteArray kGeoSuccess =
    "{\"status\":\"success\",\"query\":\"198.51.100.4\",\"country\":\"新加坡\",\"countryCode\":\"SG\","
    "\"timezone\":\"Asia/Singapore\"}";

bool storeHas(const char* key) {
    return QSettings(QStringLiteral("Ondivo"), QStringLiteral("Ondivo")).contains(QString::fromLatin1(key));
}

void selectData(QComboBox* combo, const QString& data) {
    combo->setCurrentIndex(combo->findData(data));
}

// A loopback port with nothing listening on it.
quint16 closedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

class TestNetworkProxyDialog : public QObject {
    Q_OBJECT

    std::unique_ptr<RecordingServer> geo;

private Q_SLOTS:
    void init() {
        testsupport::clearSettings();
        ui::testing::setScripted(true);
        ui::testing::reset();
        geo = std::make_unique<RecordingServer>();
        qputenv("ONDIVO_IPGEO_URL", geo->baseUrl().toUtf8());
    }
    void cleanup() { geo.reset(); }

    void layoutAndDefaults() {
        NetworkProxyDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("代理设置"));
        QCOMPARE(dialog.size(), QSize(460, 270));
        QCOMPARE(dialog.modeList()->itemText(0), QStringLiteral("直连"));
        QCOMPARE(dialog.modeList()->itemText(1), QStringLiteral("使用本地代理"));
        QCOMPARE(dialog.typeList()->itemText(0), QStringLiteral("SOCKS5"));
        QCOMPARE(dialog.typeList()->itemText(1), QStringLiteral("HTTP"));
        QCOMPARE(dialog.modeList()->currentData().toString(), QStringLiteral("direct"));
        QCOMPARE(dialog.hostEdit()->text(), QStringLiteral("127.0.0.1"));
        QCOMPARE(dialog.hostEdit()->placeholderText(), QStringLiteral("127.0.0.1"));
        QCOMPARE(dialog.userEdit()->placeholderText(), QStringLiteral("可选"));
        QCOMPARE(dialog.portEdit()->value(), 10808);
        QCOMPARE(dialog.portEdit()->minimum(), 1);
        QCOMPARE(dialog.portEdit()->maximum(), 65535);
        QCOMPARE(dialog.passwordEdit()->echoMode(), QLineEdit::Password);
        QCOMPARE(dialog.statusLabel()->text(), QStringLiteral("当前：直连"));
        QCOMPARE(dialog.testButton()->text(), QStringLiteral("测试连接"));
        QCOMPARE(dialog.saveButton()->text(), QStringLiteral("保存"));
        QCOMPARE(dialog.cancelButton()->text(), QStringLiteral("取消"));
    }

    void loadsStoredValues() {
        settings::writeText(settings::key::networkMode, QStringLiteral("localProxy"));
        settings::writeText(settings::key::proxyType, QStringLiteral("http"));
        settings::writeText(settings::key::proxyHost, QStringLiteral("10.0.0.9"));
        settings::writeText(settings::key::proxyUsername, QStringLiteral("bob"));
        settings::writeText(settings::key::protectedProxyPassword,
                            app::protectLocal(QStringLiteral("s3cret")));
        NetworkProxyDialog dialog;
        QCOMPARE(dialog.modeList()->currentData().toString(), QStringLiteral("localProxy"));
        QCOMPARE(dialog.typeList()->currentData().toString(), QStringLiteral("http"));
        QCOMPARE(dialog.portEdit()->value(), 10809);
        QCOMPARE(dialog.userEdit()->text(), QStringLiteral("bob"));
        QCOMPARE(dialog.passwordEdit()->text(), QStringLiteral("s3cret"));
        QCOMPARE(dialog.statusLabel()->text(), QStringLiteral("当前：HTTP 10.0.0.9:10809"));
        QVERIFY(dialog.hostEdit()->isEnabled());
    }

    void unknownStoredValuesPickFirstItems() {
        settings::writeText(settings::key::networkMode, QStringLiteral("LocalProxy"));
        settings::writeText(settings::key::proxyType, QStringLiteral("HTTP"));
        settings::writeText(settings::key::protectedProxyPassword, QStringLiteral("not a protected blob"));
        NetworkProxyDialog dialog;
        QCOMPARE(dialog.modeList()->currentIndex(), 0);
        QCOMPARE(dialog.typeList()->currentIndex(), 0);
        QCOMPARE(dialog.passwordEdit()->text(), QString());
    }

    void fieldsEnabledOnlyForLocalProxy() {
        NetworkProxyDialog dialog;
        const QList<QWidget*> fields{dialog.typeList(), dialog.hostEdit(), dialog.portEdit(),
                                     dialog.userEdit(), dialog.passwordEdit()};
        for (QWidget* field : fields)
            QVERIFY(!field->isEnabled());
        selectData(dialog.modeList(), QStringLiteral("localProxy"));
        for (QWidget* field : fields)
            QVERIFY(field->isEnabled());
        selectData(dialog.modeList(), QStringLiteral("direct"));
        for (QWidget* field : fields)
            QVERIFY(!field->isEnabled());
    }

    void typeChangeMovesOnlyDefaultPorts_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("afterHttp");
        QTest::addColumn<int>("afterSocks");
        QTest::newRow("default port") << 10808 << 10809 << 10808;
        QTest::newRow("own port") << 7890 << 7890 << 7890;
    }
    void typeChangeMovesOnlyDefaultPorts() {
        QFETCH(int, port);
        QFETCH(int, afterHttp);
        QFETCH(int, afterSocks);
        NetworkProxyDialog dialog;
        selectData(dialog.modeList(), QStringLiteral("localProxy"));
        dialog.portEdit()->setValue(port);
        selectData(dialog.typeList(), QStringLiteral("http"));
        QCOMPARE(dialog.portEdit()->value(), afterHttp);
        selectData(dialog.typeList(), QStringLiteral("socks5"));
        QCOMPARE(dialog.portEdit()->value(), afterSocks);
    }

    void savingDirectModeStoresDisabledFields() {
        NetworkProxyDialog dialog;
        selectData(dialog.modeList(), QStringLiteral("localProxy"));
        selectData(dialog.typeList(), QStringLiteral("http"));
        dialog.hostEdit()->setText(QStringLiteral(" 192.168.1.5 "));
        dialog.portEdit()->setValue(3128);
        dialog.userEdit()->setText(QStringLiteral(" carol "));
        selectData(dialog.modeList(), QStringLiteral("direct"));
        dialog.saveButton()->click();

        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.statusLabel()->text(), QStringLiteral("已保存：直连"));
        QCOMPARE(settings::networkMode(), QStringLiteral("direct"));
        QCOMPARE(settings::proxyType(), QStringLiteral("http"));
        QCOMPARE(settings::proxyHost(), QStringLiteral("192.168.1.5"));
        QCOMPARE(settings::proxyPort(), 3128);
        QCOMPARE(settings::proxyUsername(), QStringLiteral("carol"));
        QVERIFY(storeHas(settings::key::protectedProxyPassword));
        QCOMPARE(settings::protectedProxyPassword(), QString());
    }

    void savingLocalProxyStoresProtectedPassword() {
        NetworkProxyDialog dialog;
        selectData(dialog.modeList(), QStringLiteral("localProxy"));
        dialog.hostEdit()->setText(QStringLiteral("127.0.0.1"));
        dialog.portEdit()->setValue(1080);
        dialog.passwordEdit()->setText(QStringLiteral("pw 2"));
        dialog.saveButton()->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.statusLabel()->text(), QStringLiteral("已保存：SOCKS5 127.0.0.1:1080"));
        QVERIFY(settings::protectedProxyPassword() != QStringLiteral("pw 2"));
        QCOMPARE(app::unprotectLocal(settings::protectedProxyPassword()), QStringLiteral("pw 2"));
    }

    void missingHostStopsSaveAndTest() {
        NetworkProxyDialog dialog;
        selectData(dialog.modeList(), QStringLiteral("localProxy"));
        dialog.hostEdit()->setText(QStringLiteral("   "));
        dialog.saveButton()->click();
        QCOMPARE(dialog.statusLabel()->text(), QStringLiteral("请填写代理地址。"));
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!storeHas(settings::key::networkMode));
        dialog.testButton()->click();
        QCOMPARE(dialog.statusLabel()->text(), QStringLiteral("请填写代理地址。"));
        QVERIFY(geo->requests().isEmpty());
    }

    void cancelStoresNothing() {
        NetworkProxyDialog dialog;
        selectData(dialog.modeList(), QStringLiteral("localProxy"));
        dialog.cancelButton()->click();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!storeHas(settings::key::networkMode));
    }

    void geolocationAnswers_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("text");
        QTest::newRow("success") << 200 << kGeoSuccess
                                 << QStringLiteral("测试成功：198.51.100.4 新加坡(SG) Asia/Singapore");
        QTest::newRow("service says fail")
            << 200 << QByteArray("{\"status\":\"fail\",\"message\":\"private range\"}")
            << QStringLiteral("测试失败：private range");
        QTest::newRow("not a geolocation answer") << 200 << QByteArray("<html>portal</html>")
                                                  << QStringLiteral("测试失败：地理位置服务的回复无法识别");
        QTest::newRow("markup in the message")
            << 200 << QByteArray("{\"status\":\"fail\",\"message\":\"<img src='/dev/zero'>\"}")
            << QStringLiteral("测试失败：<img src='/dev/zero'>");
        QTest::newRow("answer without end")
            << 200 << QByteArray(300 * 1024, ' ') << QStringLiteral("测试失败：回复超过 64 KiB 上限，已中止");
    }
    void geolocationAnswers() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, text);
        geo->setDefaultReply(RecordingServer::json(status, body));
        NetworkProxyDialog dialog;
        dialog.testButton()->click();
        QCOMPARE(dialog.statusLabel()->text(), text);
        QVERIFY(testsupport::showsPlainText(dialog.statusLabel()));
        QCOMPARE(geo->lastRequest().path, kGeoPath);
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(!storeHas(settings::key::networkMode));
    }

    void httpErrorAndTimeoutAreNetworkFailures() {
        geo->setDefaultReply(RecordingServer::json(500, "{}"));
        NetworkProxyDialog dialog;
        dialog.testButton()->click();
        QVERIFY(dialog.statusLabel()->text().startsWith(QStringLiteral("测试失败：")));
        QVERIFY(dialog.statusLabel()->text().size() > QStringLiteral("测试失败：").size());

        account::timing.proxyTestTimeoutMs = 300;
        RecordingServer::Reply hang;
        hang.hang = true;
        geo->setDefaultReply(hang);
        bool buttonsLockedWhileWaiting = false;
        QTimer::singleShot(50, &dialog, [&] {
            buttonsLockedWhileWaiting = !dialog.testButton()->isEnabled() &&
                                        !dialog.saveButton()->isEnabled() &&
                                        dialog.statusLabel()->text() == QStringLiteral("测试中...");
        });
        dialog.testButton()->click();
        QVERIFY(buttonsLockedWhileWaiting);
        QVERIFY(dialog.testButton()->isEnabled());
        QVERIFY(dialog.saveButton()->isEnabled());
        QCOMPARE(dialog.statusLabel()->text(), QStringLiteral("测试失败：Operation canceled"));
        QVERIFY(!QApplication::overrideCursor());
    }

    // The test uses the form, not the stored setting: a saved working direct mode does not rescue a
    // dead proxy typed into the form, and direct mode ignores whatever host is typed.
    void testUsesFormNotSettings() {
        geo->setDefaultReply(RecordingServer::json(200, kGeoSuccess));
        NetworkProxyDialog dialog;
        selectData(dialog.modeList(), QStringLiteral("localProxy"));
        dialog.hostEdit()->setText(QStringLiteral("127.0.0.1"));
        dialog.portEdit()->setValue(closedPort());
        dialog.testButton()->click();
        QVERIFY(dialog.statusLabel()->text().startsWith(QStringLiteral("测试失败：")));
        QVERIFY(geo->requests().isEmpty());

        selectData(dialog.modeList(), QStringLiteral("direct"));
        dialog.testButton()->click();
        QVERIFY(dialog.statusLabel()->text().startsWith(QStringLiteral("测试成功：")));
        QCOMPARE(geo->requests().size(), 1);
    }
};

ONDIVO_TEST_MAIN_GUI(TestNetworkProxyDialog)
#include "tst_networkproxydialog.moc"
