// Renders the settings page with the version label against the simulator for a visual check. Run
// under a display (xvfb-run) with an output directory.
#include "ScreensMain.h"
#include "Simulator.h"
#include "TestHome.h"

#include "app/AppConstants.h"
#include "app/Settings.h"
#include "client/ClientWindow.h"
#include "mainwindow/MainWindow.h"
#include "model/SignInState.h"
#include "settings/ClientUpdate.h"
#include "settings/SettingsPage.h"
#include "settings/SettingsTiming.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QScreen>
#include <QTest>

static int drawScreens(const QString& outDir) {

    sim::Simulator simulator;
    simulator.start();
    simulator.setClientRelease(QStringLiteral("0.6.0"),
                               QJsonObject{{QStringLiteral("title"), QStringLiteral("Ondivo 0.6.0")}});
    simulator.addAccount(QStringLiteral("demo"), QStringLiteral("demo123456"));
    qputenv(app::kCloudApiUrlVariable, simulator.cloudUrl().toUtf8());
    signInState() = {QStringLiteral("demo"), QStringLiteral("demo123456"),
                     simulator.login(QStringLiteral("demo"), QStringLiteral("demo123456"))};
    const QString dataDir = testsupport::homePath() + QStringLiteral("/OndivoData");
    QDir().mkpath(dataDir + QStringLiteral("/profiles"));
    QFile file(dataDir + QStringLiteral("/profiles/state.bin"));
    if (file.open(QIODevice::WriteOnly))
        file.write(QByteArray(3 * 1024 * 1024 + 123456, 'x'));
    file.close();
    settings::writeText(settings::key::dataDir, dataDir);
    settings::timing.versionCheckDelayMs = 100;

    auto window = createClientWindow();
    window->move(0, 0);
    window->show();
    window->showPage(shell::PageId::Settings);
    auto* page = window->findChild<SettingsPage*>(QStringLiteral("settingsPage"));
    if (!QTest::qWaitFor([page] { return page->clientUpdate().versionLabel()->text().contains("0.6.0"); },
                         15000))
        qWarning("the client manifest did not arrive");
    QTest::qWait(300);
    QApplication::primaryScreen()->grabWindow(0).save(outDir + QStringLiteral("/settings-page.png"));
    return 0;
}

int main(int argc, char** argv) {
    return screens::run(argc, argv, drawScreens);
}
