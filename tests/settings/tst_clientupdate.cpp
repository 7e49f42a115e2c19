#include "SettingsTestWindow.h"
#include "TestFiles.h"
#include "TestMain.h"

#include "app/DataPaths.h"
#include "releases/ChangelogDialog.h"
#include "settings/ClientUpdate.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeWidget>

using testsupport::RecordingServer;
using testsupport::SettingsTestWindow;

namespace {

constexpr char kManifestPath[] = "/api/releases/client/manifest";

// A stand-in updater that writes its working directory and its arguments, one a line, into
// "updater-run.txt" beside itself.
void placeStandInUpdater(const QString& directory, bool executable) {
    const QString path = directory + "/OndivoUpdater";
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n"
               "out=\"$(dirname \"$0\")/updater-run.txt\"\n"
               "pwd > \"$out.part\"\n"
               "for a in \"$@\"; do printf '%s\\n' \"$a\" >> \"$out.part\"; done\n"
               "mv \"$out.part\" \"$out\"\n");
    file.close();
    QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner;
    if (executable)
        permissions |= QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup;
    QVERIFY(file.setPermissions(permissions));
}

} // namespace

class ClientUpdateTest : public QObject {
    Q_OBJECT

private:
    SettingsTestWindow t;
    int quits = 0;

    ClientUpdate& update() { return t.page()->clientUpdate(); }
    QString labelText() { return update().versionLabel()->text(); }

    void openWindow(const QByteArray& manifestVersion = QByteArray()) {
        QVERIFY(t.open(manifestVersion));
        t.cloud->clear();
        ui::testing::takeShown();
        quits = 0;
        update().setQuitAction([this] { ++quits; });
    }

private Q_SLOTS:
    void cleanup() { t.window.reset(); }

    void delayedFetchSetsLabel_data() {
        QTest::addColumn<QByteArray>("version");
        QTest::addColumn<QString>("shown");
        QTest::newRow("same version") << QByteArray("0.5.51") << "v0.5.51";
        QTest::newRow("other version") << QByteArray("0.6.2") << "有新版本 v0.6.2";
        QTest::newRow("missing version") << QByteArray() << "v0.5.51";
    }
    void delayedFetchSetsLabel() {
        QFETCH(QByteArray, version);
        QFETCH(QString, shown);
        QVERIFY(t.open(version, 30));
        // The one scheduled fetch goes out by itself and its answer lands in the label.
        QVERIFY(QTest::qWaitFor([&] { return t.requestsTo(kManifestPath) == 1; }));
        QVERIFY(QTest::qWaitFor(
            [&] { return t.window->manifests().clientVersion() == QString::fromUtf8(version); }));
        QTRY_VERIFY(labelText().contains(">" + shown + "<"));
        QCOMPARE(t.requestsTo(kManifestPath), 1);
    }

    void failedFetchKeepsManifest() {
        openWindow();
        t.setManifestVersion("0.7.0");
        QVERIFY(update().fetchClientManifest());
        QVERIFY(labelText().contains(QStringLiteral(">有新版本 v0.7.0<")));
        t.cloud->setDefaultReply(RecordingServer::json(503, R"({"version": "9.9.9"})"));
        QVERIFY(!update().fetchClientManifest());
        QVERIFY(labelText().contains(QStringLiteral(">有新版本 v0.7.0<")));
    }

    void refreshVersionInfo_data() {
        QTest::addColumn<QByteArray>("version");
        QTest::addColumn<QString>("status");
        QTest::newRow("both manifests") << QByteArray("0.6.0") << "版本信息已刷新：客户端 0.6.0，Agent 0.6.0";
        QTest::newRow("none reachable") << QByteArray() << "版本信息已刷新：客户端 --，Agent --";
    }
    void refreshVersionInfo() {
        QFETCH(QByteArray, version);
        QFETCH(QString, status);
        openWindow();
        t.setManifestVersion(version);
        update().refreshButton()->click();
        QCOMPARE(t.window->statusText(), status);
        QCOMPARE(t.requestsTo(kManifestPath), 1);
        QCOMPARE(t.requestsTo("/api/releases/agent/manifest"), 1);
        QCOMPARE(t.window->manifests().agentVersion(), QString::fromUtf8(version));
    }

    // Without a manifest, or with one naming this very version, the link only tells the version: no
    // change log to confirm, no updater.
    void linkWithoutUpdateReportsVersion_data() {
        QTest::addColumn<QByteArray>("manifestVersion");
        QTest::newRow("no manifest") << QByteArray();
        QTest::newRow("same version") << QByteArray(app::kClientVersion);
    }
    void linkWithoutUpdateReportsVersion() {
        QFETCH(QByteArray, manifestVersion);
        openWindow();
        if (manifestVersion.isEmpty())
            t.cloud->setDefaultReply(RecordingServer::json(404, R"({"error": "not found"})"));
        else
            t.setManifestVersion(manifestVersion);
        Q_EMIT update().versionLabel()->linkActivated(QStringLiteral("client-update"));
        const QList<ui::testing::Shown> shown = ui::testing::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, QStringLiteral("information"));
        QVERIFY(shown[0].text.contains(QStringLiteral("v0.5.51")));
        QCOMPARE(t.requestsTo(kManifestPath), 1);
        QCOMPARE(quits, 0);
    }

    void changelogShownThenCancelled_data() {
        QTest::addColumn<bool>("withChangelog");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("topItems");
        QTest::newRow("manifest changelog") << true << "v0.6.1 更新" << 2;
        QTest::newRow("empty changelog") << false << "客户端更新日志" << 1;
    }
    void changelogShownThenCancelled() {
        QFETCH(bool, withChangelog);
        QFETCH(QString, title);
        QFETCH(int, topItems);
        openWindow();
        if (withChangelog)
            t.setManifestVersion("0.6.1");
        else
            t.cloud->setDefaultReply(RecordingServer::json(200, R"({"version": "0.6.1"})"));
        QString seenTitle;
        int seenItems = -1;
        ui::testing::queueDialog([&](QDialog& dialog) {
            auto& changelog = dynamic_cast<ChangelogDialog&>(dialog);
            seenTitle = changelog.titleLabel()->text();
            seenItems = changelog.tree()->topLevelItemCount();
            return int(QDialog::Rejected);
        });
        update().showClientChangelog();
        QCOMPARE(seenTitle, title);
        QCOMPARE(seenItems, topItems);
        QCOMPARE(ui::testing::takeShown().size(), 1); // the dialog only, no updater warning
        QCOMPARE(quits, 0);
    }

    void confirmedWithoutUpdater() {
        openWindow("0.6.1");
        QVERIFY(update().fetchClientManifest());
        QTemporaryDir empty;
        update().setApplicationDirectory(empty.path());
        ui::testing::queueDialog([](QDialog&) { return int(QDialog::Accepted); });
        update().showClientChangelog();
        const ui::testing::Shown last = ui::testing::shown().last();
        QCOMPARE(last.kind, QStringLiteral("warning"));
        QCOMPARE(last.text, "没有找到更新器: " + empty.path() + "/OndivoUpdater");
        QCOMPARE(t.requestsTo(kManifestPath), 1); // the kept manifest is not fetched again
        QCOMPARE(quits, 0);
    }

    void startsUpdaterAndQuits() {
        openWindow("0.6.1");
        QTemporaryDir applicationDirectory;
        placeStandInUpdater(applicationDirectory.path(), true);
        update().setApplicationDirectory(applicationDirectory.path());
        ui::testing::queueDialog([](QDialog&) { return int(QDialog::Accepted); });

        update().showClientChangelog();

        QCOMPARE(quits, 1);
        const QString record = applicationDirectory.path() + "/updater-run.txt";
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(record); }, 10000));
        const QStringList lines = testsupport::readLines(record);
        QCOMPARE(QDir(lines.value(0)).canonicalPath(), QDir(applicationDirectory.path()).canonicalPath());
        const QStringList expected{
            "--manifest-url", t.cloud->baseUrl() + kManifestPath,
            "--target",       applicationDirectory.path(),
            "--exe",          QFileInfo(QCoreApplication::applicationFilePath()).fileName(),
            "--pid",          QString::number(QCoreApplication::applicationPid()),
            "--work-dir",     app::localAppDataDirectory() + "/updates",
            "--log",          app::appDataDirectory() + "/update.log"};
        QCOMPARE(lines.mid(1), expected);
        QCOMPARE(ui::testing::shown().last().kind, QStringLiteral("dialog"));
    }

    void unstartableUpdaterKeepsClient() {
        openWindow();
        QTemporaryDir applicationDirectory;
        placeStandInUpdater(applicationDirectory.path(), false);
        update().setApplicationDirectory(applicationDirectory.path());
        QVERIFY(!update().startUpdater());
        const ui::testing::Shown last = ui::testing::shown().last();
        QCOMPARE(last.kind, QStringLiteral("warning"));
        QCOMPARE(last.text, QStringLiteral("启动更新器失败。"));
        QCOMPARE(quits, 0);
    }
};

ONDIVO_TEST_MAIN_GUI(ClientUpdateTest)
#include "tst_clientupdate.moc"
