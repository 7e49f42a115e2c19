#include "SettingsTestWindow.h"
#include "TestFiles.h"
#include "TestMain.h"

#include "app/DataPaths.h"
#include "app/Settings.h"
#include "app/TextFormats.h"
#include "mainwindow/TopNavBar.h"
#include "net/ApplicationProxy.h"
#include "settings/ClientUpdate.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>

using testsupport::readFile;
using testsupport::SettingsTestWindow;
using testsupport::writeFile;

namespace {

// The label text in the form row whose caption is caption.
QString rowText(QWidget* page, const QString& caption) {
    for (QFormLayout* form : page->findChildren<QFormLayout*>()) {
        for (int row = 0; row < form->rowCount(); ++row) {
            auto* captionItem = form->itemAt(row, QFormLayout::LabelRole);
            auto* fieldItem = form->itemAt(row, QFormLayout::FieldRole);
            auto* captionLabel = captionItem ? qobject_cast<QLabel*>(captionItem->widget()) : nullptr;
            auto* fieldLabel = fieldItem ? qobject_cast<QLabel*>(fieldItem->widget()) : nullptr;
            if (captionLabel && fieldLabel && captionLabel->text() == caption)
                return fieldLabel->text();
        }
    }
    return QStringLiteral("<no row>");
}

} // namespace

class SettingsPageTest : public QObject {
    Q_OBJECT

private:
    SettingsTestWindow t;
    QTemporaryDir scratch;

    // A fresh data directory under scratch, holding the given files, set as storage/dataDir.
    QString useDataDirectory(const QString& name, const QMap<QString, QByteArray>& files) {
        const QString directory = scratch.path() + "/" + name;
        for (auto it = files.begin(); it != files.end(); ++it)
            writeFile(directory + "/" + it.key(), it.value());
        QDir().mkpath(directory);
        settings::writeText(settings::key::dataDir, directory);
        return directory;
    }

private Q_SLOTS:
    void init() {
        testsupport::clearSettings();
        QVERIFY(t.open());
        t.cloud->clear();
        ui::testing::takeShown();
    }
    void cleanup() { t.window.reset(); }

    void pageLayout() {
        SettingsPage* page = t.page();
        QVERIFY(page);
        QStringList titles;
        for (QGroupBox* box : page->findChildren<QGroupBox*>())
            titles << box->title();
        QCOMPARE(titles, (QStringList{"本体联网", "存储位置", "账号", "通知"}));
        QStringList buttons;
        for (QPushButton* button : page->findChildren<QPushButton*>())
            buttons << button->text();
        QCOMPARE(buttons, (QStringList{"代理设置", "迁移数据目录", "打开目录", "刷新占用", "退出登录"}));
        QCOMPARE(rowText(page, "当前设置"), QStringLiteral("直连"));
        QCOMPARE(rowText(page, "当前目录"), app::dataDirectory());
        QCOMPARE(rowText(page, "当前账号"), QStringLiteral("alice"));
        QCOMPARE(rowText(page, "API 地址"), t.cloud->baseUrl());
        QVERIFY(page->findChild<QLabel*>(QStringLiteral("networkLabel"))->textInteractionFlags() &
                Qt::TextSelectableByMouse);
        QVERIFY(page->findChild<QLabel*>(QStringLiteral("directoryLabel"))->textInteractionFlags() &
                Qt::TextSelectableByMouse);
    }

    void versionLabelInTopBar() {
        ClientUpdate& update = t.page()->clientUpdate();
        QLabel* label = update.versionLabel();
        QToolButton* refresh = update.refreshButton();
        QCOMPARE(t.window->topBar.size(), 1);
        QVERIFY(t.window->topBar[0]->isAncestorOf(label));
        QCOMPARE(label->styleSheet(),
                 QStringLiteral("QLabel { padding: 0 8px; color: #005fb8; font-size: 13px; }"));
        QVERIFY(!label->openExternalLinks());
        QCOMPARE(label->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(refresh->size(), QSize(26, 26));
        QVERIFY(refresh->autoRaise());
        QVERIFY(!refresh->icon().isNull());
        QCOMPARE(refresh->toolTip(), QStringLiteral("刷新版本信息"));
        QCOMPARE(refresh->styleSheet(),
                 QStringLiteral("QToolButton { border: none; border-radius: 4px; padding: "
                                "3px; } QToolButton:hover { background: #e8e8e8; }"));
        // The label, then its refresh button.
        QLayout* layout = t.window->topBar[0]->layout();
        QCOMPARE(layout->count(), 2);
        QCOMPARE(layout->itemAt(0)->widget(), label);
        QCOMPARE(layout->itemAt(1)->widget(), refresh);
        QVERIFY(label->text().contains(QStringLiteral(">v0.5.51<")));
    }

    void usageSumsFiles() {
        const QString directory = useDataDirectory(
            "usage", {{"a.bin", QByteArray(1500, 'a')}, {".hidden/b.bin", QByteArray(500, 'b')}});
        t.page()->findChild<QPushButton*>(QStringLiteral("usageButton"))->click();
        QCOMPARE(t.page()->findChild<QLabel*>(QStringLiteral("directoryLabel"))->text(), directory);
        QCOMPARE(t.page()->findChild<QLabel*>(QStringLiteral("usageLabel"))->text(), fmt::clientBytes(2000));
        writeFile(directory + "/more.bin", QByteArray(2000, 'c'));
        QCOMPARE(t.page()->findChild<QLabel*>(QStringLiteral("usageLabel"))->text(),
                 fmt::clientBytes(2000)); // only on request
        t.page()->refreshUsage();
        QCOMPARE(t.page()->findChild<QLabel*>(QStringLiteral("usageLabel"))->text(), fmt::clientBytes(4000));
    }

    void proxyLabelAfterDialog_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("expected");
        QTest::newRow("saved HTTP proxy") << "localProxy" << int(QDialog::Accepted) << "HTTP 127.0.0.1:18080";
        QTest::newRow("cancelled after the store changed")
            << "localProxy" << int(QDialog::Rejected) << "HTTP 127.0.0.1:18080";
        QTest::newRow("cancelled, direct") << "direct" << int(QDialog::Rejected) << "直连";
    }
    void proxyLabelAfterDialog() {
        QFETCH(QString, mode);
        QFETCH(int, result);
        QFETCH(QString, expected);
        bool dialogRan = false;
        ui::testing::queueDialog([&](QDialog&) {
            dialogRan = true;
            settings::writeText(settings::key::networkMode, mode);
            settings::writeText(settings::key::proxyType, QStringLiteral("http"));
            settings::writeText(settings::key::proxyHost, QStringLiteral("127.0.0.1"));
            settings::writeInt(settings::key::proxyPort, 18080);
            return result;
        });
        t.page()->findChild<QPushButton*>(QStringLiteral("proxyButton"))->click();
        QVERIFY(dialogRan);
        QCOMPARE(t.page()->findChild<QLabel*>(QStringLiteral("networkLabel"))->text(), expected);
        // Whatever closed the dialog, the window hands the stored setting to its pollers.
        QCOMPARE(t.window->proxyApplied, 1);
    }

    void migrationThatDoesNothing_data() {
        QTest::addColumn<QString>("chosen"); // "" = cancel, "=" = the current directory
        QTest::addColumn<bool>("answer");
        QTest::addColumn<bool>("asked");
        QTest::newRow("chooser cancelled") << "" << true << false;
        QTest::newRow("current directory again") << "=" << true << false;
        QTest::newRow("question answered No") << "elsewhere" << false << true;
    }
    void migrationThatDoesNothing() {
        QFETCH(QString, chosen);
        QFETCH(bool, answer);
        QFETCH(bool, asked);
        const QString current = useDataDirectory("keep", {{"a.txt", "a"}});
        const QString target = chosen == "="      ? current + "/./"
                               : chosen.isEmpty() ? QString()
                                                  : scratch.path() + "/" + chosen;
        if (!target.isEmpty())
            ui::testing::queuePath(target);
        ui::testing::queueAnswer(answer);
        t.page()->findChild<QPushButton*>(QStringLiteral("migrateButton"))->click();
        const QList<ui::testing::Shown> shown = ui::testing::takeShown();
        QCOMPARE(shown.first().kind, QStringLiteral("directory"));
        QCOMPARE(shown.first().title, QStringLiteral("选择新的 Ondivo 数据目录"));
        QCOMPARE(shown.size(), asked ? 2 : 1);
        if (asked)
            QCOMPARE(shown.last().text,
                     "迁移时请确保浏览器环境未运行。\n\n确定把数据目录迁移到：\n" + target + " ?");
        QCOMPARE(settings::dataDirSetting(), current);
        QVERIFY(!QFileInfo::exists(scratch.path() + "/elsewhere"));
        QCOMPARE(t.requestsTo("/api/browser/profiles"), 0);
    }

    void migrationReplacesFilesAndSwitches_data() {
        QTest::addColumn<int>("profilesStatus");
        QTest::newRow("profiles reloaded") << 200;
        QTest::newRow("profile reload fails") << 500;
    }
    void migrationReplacesFilesAndSwitches() {
        QFETCH(int, profilesStatus);
        const QString current =
            useDataDirectory("old", {{"browser/p1/Cookies", "fresh"}, {".config/.secret", "hidden"}});
        const QString target = scratch.path() + "/new" + QString::number(profilesStatus);
        writeFile(target + "/browser/p1/Cookies", "stale and longer");
        ui::testing::queuePath(target + "/");
        ui::testing::queueAnswer(true);
        t.cloud->queueReply(testsupport::RecordingServer::json(
            profilesStatus,
            profilesStatus == 200 ? R"({"profiles": [{"id": "p1"}]})" : R"({"error": "down"})"));

        t.page()->findChild<QPushButton*>(QStringLiteral("migrateButton"))->click();

        QCOMPARE(readFile(target + "/browser/p1/Cookies"), QByteArray("fresh"));
        QCOMPARE(readFile(target + "/.config/.secret"), QByteArray("hidden"));
        QCOMPARE(readFile(current + "/browser/p1/Cookies"), QByteArray("fresh"));
        QCOMPARE(settings::dataDirSetting(), target);
        QCOMPARE(t.page()->findChild<QLabel*>(QStringLiteral("directoryLabel"))->text(), target);
        QCOMPARE(t.page()->findChild<QLabel*>(QStringLiteral("usageLabel"))->text(), fmt::clientBytes(11));
        QCOMPARE(t.requestsTo("/api/browser/profiles"), 1);
        QCOMPARE(t.cloud->lastRequest().header("Authorization"), QByteArray("Bearer tok"));
        QCOMPARE(t.page()->browserProfiles().size(), profilesStatus == 200 ? 1 : 0);
        const ui::testing::Shown last = ui::testing::shown().last();
        QCOMPARE(last.kind, QStringLiteral("information"));
        QCOMPARE(last.text, QStringLiteral("数据目录已迁移。旧目录已保留为备份，可确认无误后手动清理。"));
        QCOMPARE(t.window->statusText(), QStringLiteral("数据目录迁移完成"));
        QCOMPARE(t.window->isBusy(), false);
    }

    void failedMigrationKeepsSetting_data() {
        QTest::addColumn<QString>("targetName");
        QTest::addColumn<QString>("error");
        QTest::newRow("file blocked by a directory") << "blocked"
                                                     << "无法复制文件: {current}/x";
        QTest::newRow("inside the current directory") << "{current}/sub"
                                                      << "新目录不能位于当前数据目录之内";
    }
    void failedMigrationKeepsSetting() {
        QFETCH(QString, targetName);
        QFETCH(QString, error);
        const QString current = useDataDirectory("source", {{"x", "file"}});
        const QString target = targetName.startsWith("{current}")
                                   ? QString(targetName).replace("{current}", current)
                                   : scratch.path() + "/" + targetName;
        writeFile(scratch.path() + "/blocked/x/inner", "directory in the way");
        ui::testing::queuePath(target);
        ui::testing::queueAnswer(true);
        t.page()->findChild<QPushButton*>(QStringLiteral("migrateButton"))->click();
        const QList<ui::testing::Shown> shown = ui::testing::takeShown();
        QCOMPARE(shown.last().kind, QStringLiteral("warning"));
        QCOMPARE(shown.last().text, "迁移失败: " + QString(error).replace("{current}", current));
        // A target inside the current directory is refused before anything is asked or copied.
        QCOMPARE(shown.size(), targetName.startsWith("{current}") ? 2 : 3);
        QCOMPARE(settings::dataDirSetting(), current);
        QVERIFY(!QFileInfo::exists(current + "/sub"));
        QCOMPARE(t.requestsTo("/api/browser/profiles"), 0);
        QCOMPARE(t.window->isBusy(), false);
    }
};

ONDIVO_TEST_MAIN_GUI(SettingsPageTest)
#include "tst_settingspage.moc"
