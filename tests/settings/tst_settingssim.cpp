#include "Simulator.h"
#include "TestMain.h"

#include "app/AppConstants.h"
#include "app/Settings.h"
#include "client/ClientWindow.h"
#include "mainwindow/MainWindow.h"
#include "model/SignInState.h"
#include "settings/ClientUpdate.h"
#include "settings/SettingsPage.h"
#include "settings/SettingsTiming.h"
#include "ui/Dialogs.h"

#include <QDir>
#include <QJsonArray>
#include <QLabel>
#include <QTemporaryDir>

// The settings page against the simulated Cloud API: the scheduled version check and the profile list
// reload after a migration.
class SettingsSimTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void versionCheckAndMigration() {
        sim::Simulator simulator;
        QVERIFY(simulator.start());
        simulator.setClientRelease(QStringLiteral("0.6.3"), QJsonObject());
        simulator.addAccount(QStringLiteral("bob"), QStringLiteral("pw123456"));
        simulator.setBrowserProfiles(QStringLiteral("bob"),
                                     QJsonArray{QJsonObject{{QStringLiteral("id"), QStringLiteral("p1")}},
                                                QJsonObject{{QStringLiteral("id"), QStringLiteral("p2")}}});
        qputenv(app::kCloudApiUrlVariable, simulator.cloudUrl().toUtf8());
        signInState() = {QStringLiteral("bob"), QStringLiteral("pw123456"),
                         simulator.login(QStringLiteral("bob"), QStringLiteral("pw123456"))};
        ui::testing::setScripted(true);
        settings::timing.versionCheckDelayMs = 20;

        auto window = createClientWindow();
        auto* page = window->findChild<SettingsPage*>(QStringLiteral("settingsPage"));
        QVERIFY(page);
        QTRY_VERIFY(
            page->clientUpdate().versionLabel()->text().contains(QStringLiteral(">有新版本 v0.6.3<")));

        QTemporaryDir target;
        ui::testing::queuePath(target.path() + QStringLiteral("/moved"));
        ui::testing::queueAnswer(true);
        page->migrateDataDirectory();
        QCOMPARE(settings::dataDirSetting(), target.path() + QStringLiteral("/moved"));
        QCOMPARE(page->browserProfiles().size(), 2);
        QCOMPARE(ui::testing::shown().last().kind, QStringLiteral("information"));
    }
};

ONDIVO_TEST_MAIN_GUI(SettingsSimTest)
#include "tst_settingssim.moc"
