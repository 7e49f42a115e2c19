#include "TestMain.h"

#include "app/AppConstants.h"
#include "app/DataPaths.h"
#include "settings/ClientUpdateRules.h"

using namespace clientupdate;

class ClientUpdateRulesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void versionLabel_data() {
        QTest::addColumn<QString>("manifestVersion");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("update");
        QTest::newRow("same version") << "0.5.51"
                                      << "v0.5.51" << false;
        QTest::newRow("newer") << "0.6.0"
                               << "有新版本 v0.6.0" << true;
        QTest::newRow("lower still counts") << "0.5.9"
                                            << "有新版本 v0.5.9" << true;
        QTest::newRow("any other text") << "0.5.51-beta"
                                        << "有新版本 v0.5.51-beta" << true;
        QTest::newRow("no manifest") << ""
                                     << "v0.5.51" << false;
    }
    void versionLabel() {
        QFETCH(QString, manifestVersion);
        QFETCH(QString, shown);
        QFETCH(bool, update);
        QCOMPARE(updateAvailable(manifestVersion), update);
        QCOMPARE(versionLabelText(manifestVersion),
                 "<a href=\"client-update\" style=\"text-decoration:none; color:#005fb8;\">" + shown +
                     "</a>");
    }

    void versionLabelEscapesMarkup() {
        const QString text = versionLabelText(QStringLiteral("1<b>"));
        QVERIFY(text.contains(QStringLiteral("1&lt;b&gt;")));
        QVERIFY(!text.contains(QStringLiteral("<b>")));
    }

    void refreshedText_data() {
        QTest::addColumn<QString>("client");
        QTest::addColumn<QString>("agent");
        QTest::addColumn<QString>("expected");
        QTest::newRow("both") << "0.6.0"
                              << "0.5.42"
                              << "版本信息已刷新：客户端 0.6.0，Agent 0.5.42";
        QTest::newRow("no client") << ""
                                   << "0.5.42"
                                   << "版本信息已刷新：客户端 --，Agent 0.5.42";
        QTest::newRow("neither") << ""
                                 << ""
                                 << "版本信息已刷新：客户端 --，Agent --";
    }
    void refreshedText() {
        QFETCH(QString, client);
        QFETCH(QString, agent);
        QFETCH(QString, expected);
        QCOMPARE(versionRefreshedText(client, agent), expected);
    }

    void currentVersion() { QCOMPARE(currentVersionText(), QStringLiteral("当前客户端版本 v0.5.51")); }

    void argumentOrder() {
        UpdaterLaunch launch;
        launch.manifestUrl = QStringLiteral("http://127.0.0.1:9/m");
        launch.targetDirectory = QStringLiteral("/opt/ondivo");
        launch.executableName = QStringLiteral("Ondivo");
        launch.processId = 4294967295LL;
        launch.workDirectory = QStringLiteral("/w/updates");
        launch.logFile = QStringLiteral("/l/update.log");
        const QStringList expected{
            "--manifest-url", "http://127.0.0.1:9/m", "--target",   "/opt/ondivo", "--exe", "Ondivo",
            "--pid",          "4294967295",           "--work-dir", "/w/updates",  "--log", "/l/update.log"};
        QCOMPARE(updaterArguments(launch), expected);
    }

    void launchOfThisClient() {
        qputenv(app::kCloudApiUrlVariable, "http://127.0.0.1:4321/");
        const UpdaterLaunch launch =
            launchFor(QStringLiteral("/opt/ondivo"), QStringLiteral("/opt/ondivo/bin/Ondivo.exe"), 77);
        qunsetenv(app::kCloudApiUrlVariable);
        QCOMPARE(launch.manifestUrl, QStringLiteral("http://127.0.0.1:4321/api/releases/client/manifest"));
        QCOMPARE(launch.targetDirectory, QStringLiteral("/opt/ondivo"));
        QCOMPARE(launch.executableName, QStringLiteral("Ondivo.exe"));
        QCOMPARE(launch.processId, 77);
        QCOMPARE(launch.workDirectory, app::localAppDataDirectory() + "/updates");
        QCOMPARE(launch.logFile, app::appDataDirectory() + "/update.log");
    }

    void programBesideClient() {
#ifdef Q_OS_WIN
        QCOMPARE(updaterProgramPath("C:/Ondivo"), QStringLiteral("C:/Ondivo/OndivoUpdater.exe"));
#else
        QCOMPARE(updaterProgramPath("/opt/ondivo"), QStringLiteral("/opt/ondivo/OndivoUpdater"));
        QCOMPARE(updaterProgramPath("/opt/ondivo/"), QStringLiteral("/opt/ondivo/OndivoUpdater"));
#endif
    }
};

ONDIVO_TEST_MAIN_CORE(ClientUpdateRulesTest)
#include "tst_clientupdaterules.moc"
