// End to end: the built OndivoUpdater program against the simulator's release manifest and package,
// with a stand-in installed client in a temporary target.
#include "Simulator.h"
#include "TestMain.h"
#include "UpdateScenario.h"
#include "app/AppConstants.h"

#include <QProcess>
#include <QTemporaryDir>

namespace {

const QString kUpdater = QStringLiteral(ONDIVO_BIN_DIR "/OndivoUpdater");
constexpr int kSegmentBytes = 256 * 1024;

QProcessEnvironment updaterEnvironment(int pidWaitMs) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("ONDIVO_UPDATER_SEGMENT_BYTES", QString::number(kSegmentBytes));
    env.insert("ONDIVO_UPDATER_SEGMENT_IDLE_MS", "700");
    env.insert("ONDIVO_UPDATER_RETRY_WAIT_STEP_MS", "50");
    env.insert("ONDIVO_UPDATER_QUIT_DELAY_MS", "100");
    env.insert("ONDIVO_UPDATER_PID_WAIT_MS", QString::number(pidWaitMs));
    return env;
}

} // namespace

class UpdaterFlowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void updates_data();
    void updates();
    void failsAndKeepsInstallation_data();
    void failsAndKeepsInstallation();

private:
    struct Prepared {
        std::unique_ptr<QTemporaryDir> dir;
        std::unique_ptr<UpdateScenario> scenario;
        std::unique_ptr<sim::Simulator> simulator;
        QList<ZipEntry> entries;
        TreeSnapshot old;
        QStringList arguments;
    };
    Prepared prepare(const QString& packageKind, const sim::PackageOptions& options, const QString& fault,
                     quint32 pid);
};

void UpdaterFlowTest::initTestCase() {
    QVERIFY2(QFileInfo(kUpdater).isExecutable(), qPrintable(kUpdater));
}

UpdaterFlowTest::Prepared UpdaterFlowTest::prepare(const QString& packageKind,
                                                   const sim::PackageOptions& options, const QString& fault,
                                                   quint32 pid) {
    Prepared p;
    p.dir = std::make_unique<QTemporaryDir>();
    p.scenario = std::make_unique<UpdateScenario>(p.dir->path());
    UpdateScenario& s = *p.scenario;
    s.installOldRelease();
    p.old = s.snapshotTarget();
    p.entries = s.newReleaseEntries();
    p.entries.append(ZipEntry{"resources/big.bin", randomPayload(1200 * 1024, 42)});
    if (packageKind == "subfolder")
        p.entries[0].name = "bin/Ondivo";
    if (packageKind == "evil") {
        p.entries.append(ZipEntry{"../../evil.txt", "owned"});
        p.entries.append(ZipEntry{p.dir->filePath("abs-evil.txt"), "owned"});
    }
    const QString packageFile = p.dir->filePath("ondivo-client-2.0.0.zip");
    if (!writeZip(packageFile, p.entries))
        qFatal("cannot write the package");

    p.simulator = std::make_unique<sim::Simulator>();
    if (!p.simulator->start())
        qFatal("simulator did not start");
    p.simulator->setClientPackageFile(packageFile, "2.0.0");
    p.simulator->setPackageOptions(options);
    sim::Fault f;
    if (fault == "fail2") {
        f.status = 503;
        f.times = 2;
    } else if (fault == "fail3") {
        f.status = 500;
        f.times = 3;
    } else if (fault == "drop") {
        f.dropMidReply = true;
        f.times = 1;
    } else if (fault == "hang") {
        f.hang = true;
        f.times = 1;
    }
    if (!fault.isEmpty())
        p.simulator->setFault(sim::kCloud, "GET", p.simulator->packagePath(), f);

    p.arguments =
        QStringList{"--manifest-url", p.simulator->cloudUrl() + QString::fromLatin1(app::kClientManifestPath),
                    "--target",       s.target,
                    "--exe",          s.exe,
                    "--pid",          QString::number(pid),
                    "--work-dir",     s.workDir,
                    "--log",          s.logPath};
    return p;
}

void UpdaterFlowTest::updates_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("ignoreRange");
    QTest::addColumn<bool>("omitSize");
    QTest::addColumn<bool>("upperCase");
    QTest::addColumn<bool>("clientRunning");
    QTest::addColumn<bool>("relaunch"); // first start from the installation, then the runner copy
    QTest::addColumn<int>("minimumRetries");
    QTest::newRow("self-relaunch, client still running")
        << "" << false << false << false << true << true << 0;
    QTest::newRow("segment fails twice") << "fail2" << false << false << false << false << false << 2;
    QTest::newRow("connection dropped mid-segment")
        << "drop" << false << false << false << false << false << 0;
    QTest::newRow("segment stalls") << "hang" << false << false << false << false << false << 1;
    QTest::newRow("server ignores Range") << "" << true << false << false << false << false << 0;
    QTest::newRow("manifest without size") << "" << false << true << false << false << true << 0;
    QTest::newRow("ignores Range, no size") << "" << true << true << false << false << false << 0;
    QTest::newRow("upper-case sha256") << "" << false << false << true << false << false << 0;
}

void UpdaterFlowTest::updates() {
    QFETCH(QString, fault);
    QFETCH(bool, ignoreRange);
    QFETCH(bool, omitSize);
    QFETCH(bool, upperCase);
    QFETCH(bool, clientRunning);
    QFETCH(bool, relaunch);
    QFETCH(int, minimumRetries);
    sim::PackageOptions options;
    options.ignoreRange = ignoreRange;
    options.omitSize = omitSize;
    options.upperCaseSha256 = upperCase;

    QProcess client; // stands in for the client that is still closing
    if (clientRunning) {
        client.start("sleep", {"1"});
        QVERIFY(client.waitForStarted());
    }
    Prepared p = prepare("normal", options, fault, clientRunning ? quint32(client.processId()) : 0);
    UpdateScenario& s = *p.scenario;

    QProcess updater;
    updater.setProcessEnvironment(updaterEnvironment(30000));
    updater.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    updater.start(kUpdater, relaunch ? p.arguments : p.arguments + QStringList{"--from-temp"});
    QVERIFY(updater.waitForStarted());
    QVERIFY(updater.waitForFinished(60000));
    QCOMPARE(updater.exitStatus(), QProcess::NormalExit);
    QCOMPARE(updater.exitCode(), 0);
    // The runner copy works on after the first start has ended.
    QTRY_VERIFY_WITH_TIMEOUT(s.logTexts().contains("更新完成 Ondivo 已启动") ||
                                 !s.logTexts().filter(QRegularExpression("^ERROR ")).isEmpty(),
                             60000);
    const QStringList texts = s.logTexts();
    QVERIFY2(texts.filter(QRegularExpression("^ERROR ")).isEmpty(), qPrintable(texts.join('\n')));
    if (relaunch) {
        QVERIFY(QFileInfo(s.workDir + "/runner/OndivoUpdater").isExecutable());
        QCOMPARE(texts.first(), "读取更新清单... " + p.arguments.at(1));
    } else {
        QVERIFY(!QFileInfo::exists(s.workDir + "/runner"));
    }

    QCOMPARE(s.snapshotTarget(), UpdateScenario::expectedNewRelease(p.entries));
    QTRY_COMPARE(s.recordedStarts(), (QStringList{s.target, "end"}));
    const QString versionDir = s.workDir + "/2.0.0";
    QCOMPARE(snapshotTree(versionDir + "/backup"), p.old);
    QVERIFY(!QFileInfo::exists(versionDir + "/ondivo-client-2.0.0.zip")); // removed once the update ended
    QVERIFY(!QFileInfo::exists(versionDir + "/ondivo-client-2.0.0.zip.download"));
    QVERIFY(texts.contains("等待 Ondivo 退出... 正在等待主程序关闭"));
    QCOMPARE(texts.contains("校验更新包... 正在计算 SHA256"), true);
    const QStringList retries = texts.filter(QRegularExpression("^正在下载更新包\\.\\.\\. 分片重试 "));
    QVERIFY2(retries.size() >= minimumRetries, qPrintable(retries.join('\n')));
    if (fault == "fail2") {
        const QString text =
            "Error transferring " + p.simulator->packageUrl() + " - server replied: Service Unavailable";
        QCOMPARE(retries, (QStringList{"正在下载更新包... 分片重试 1/3：" + text,
                                       "正在下载更新包... 分片重试 2/3：" + text}));
    }
    if (fault == "hang")
        QCOMPARE(retries, QStringList{"正在下载更新包... 分片重试 1/3：15 秒没有收到新数据"});
    if (fault.isEmpty())
        QVERIFY(retries.isEmpty());
    if (clientRunning) {
        // The update went on only after the client had gone.
        QCOMPARE(client.state(), QProcess::NotRunning);
    }
    // Let the runner of a relaunch quit before the temporary folder goes away.
    QTest::qWait(300);
}

void UpdaterFlowTest::failsAndKeepsInstallation_data() {
    QTest::addColumn<QString>("packageKind");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("wrongSha");
    QTest::addColumn<bool>("clientKeepsRunning");
    QTest::addColumn<QString>("message");
    QTest::newRow("wrong sha256") << "normal"
                                  << "" << true << false << "SHA256 校验失败";
    QTest::newRow("program in a subfolder") << "subfolder"
                                            << "" << false << false << "更新包中没有找到 Ondivo";
    QTest::newRow("zip with ../ and an absolute path") << "evil"
                                                       << "" << false << false << "解压更新包失败";
    QTest::newRow("client does not exit") << "normal"
                                          << "" << false << true << "等待主程序退出超时";
    QTest::newRow("segment fails three times")
        << "normal"
        << "fail3" << false << false
        << "下载分片失败: Error transferring PACKAGE - server replied: Internal Server Error";
}

void UpdaterFlowTest::failsAndKeepsInstallation() {
    QFETCH(QString, packageKind);
    QFETCH(QString, fault);
    QFETCH(bool, wrongSha);
    QFETCH(bool, clientKeepsRunning);
    QFETCH(QString, message);
    sim::PackageOptions options;
    options.wrongSha256 = wrongSha;
    QProcess client;
    if (clientKeepsRunning) {
        client.start("sleep", {"30"});
        QVERIFY(client.waitForStarted());
    }
    Prepared p = prepare(packageKind, options, fault, clientKeepsRunning ? quint32(client.processId()) : 0);
    UpdateScenario& s = *p.scenario;
    message.replace("PACKAGE", p.simulator->packageUrl());

    QProcess updater;
    updater.setProcessEnvironment(updaterEnvironment(500));
    updater.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    updater.start(kUpdater, p.arguments + QStringList{"--from-temp"});
    QVERIFY(updater.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(!s.logTexts().filter(QRegularExpression("^ERROR ")).isEmpty(), 60000);
    // After a failure the window stays open for the user to read; this test is the user.
    QTest::qWait(200);
    QCOMPARE(updater.state(), QProcess::Running);
    updater.kill();
    updater.waitForFinished();
    if (client.state() != QProcess::NotRunning) {
        client.kill();
        client.waitForFinished();
    }

    const QStringList texts = s.logTexts();
    QCOMPARE(texts.mid(texts.size() - 2), (QStringList{"更新失败 " + message, "ERROR " + message}));
    QCOMPARE(texts.filter(QRegularExpression("^ERROR ")).size(), 1);
    QCOMPARE(s.snapshotTarget(), p.old);
    QVERIFY(s.recordedStarts().isEmpty());
    QVERIFY(!QFileInfo::exists(p.dir->filePath("abs-evil.txt")));
    QVERIFY(!QFileInfo::exists(s.workDir + "/evil.txt"));
    QVERIFY(!QFileInfo::exists(p.dir->filePath("evil.txt")));
}

ONDIVO_TEST_MAIN_CORE(UpdaterFlowTest)
#include "tst_updaterflow.moc"
