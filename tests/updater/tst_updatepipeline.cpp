#include "PlainText.h"
#include "RecordingServer.h"
#include "ReleaseServer.h"
#include "TestMain.h"
#include "UpdateScenario.h"
#include "net/RequestTiming.h"
#include "ui/Dialogs.h"
#include "updater/UpdatePipeline.h"
#include "updater/UpdaterTiming.h"
#include "updater/UpdaterWindow.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QTcpServer>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace updater;

namespace {

// The log without the download's progress lines, whose number depends on how the bytes arrive.
QStringList stepLines(const QStringList& texts) {
    QStringList steps;
    for (const QString& t : texts) {
        if (!t.startsWith("正在下载更新包... "))
            steps << t;
    }
    return steps;
}

// The file's inode: the same after a rename, new for a copy.
qint64 fileId(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? qint64(info.st_ino) : -1;
}

struct Run {
    bool ok = false;
    bool quitRequested = false;
    QString status;
    bool closeVisible = false;
    bool plainLabels = false;
    QString outcome;           // what the card says became of the installation
    bool startOffered = false; // "启动 Ondivo" shown after a failure
};

} // namespace

class UpdatePipelineTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void updatesInstallation();
    void failsAndKeepsInstallation_data();
    void failsAndKeepsInstallation();
    void rollsBackWhenInstallCopyFails();
    void reportsClientThatCannotStart();
    void manifestSizeOutOfRange_data();
    void manifestSizeOutOfRange();

private:
    Run run(UpdateScenario& s, const QString& manifestUrl, quint32 pid = 0, bool clickStart = false);
};

void UpdatePipelineTest::init() {
    timing.segmentBytes = 64 * 1024;
    timing.retryWaitStepMs = 10;
    timing.segmentIdleMs = 500;
    timing.quitDelayMs = 10;
    ui::testing::reset();
    ui::testing::setScripted(true);
}

Run UpdatePipelineTest::run(UpdateScenario& s, const QString& manifestUrl, quint32 pid, bool clickStart) {
    UpdaterOptions options;
    options.manifestUrl = manifestUrl;
    options.target = s.target;
    options.exe = s.exe;
    options.pid = pid;
    options.workDir = s.workDir;
    options.logPath = s.logPath;
    options.fromTemp = true;
    UpdaterWindow window(options);
    Run result;
    window.setQuitAction([&result] { result.quitRequested = true; });
    window.show();
    result.ok = window.runUpdate();
    if (result.ok)
        QTest::qWait(100); // lets the delayed quit fire
    result.status = window.statusText();
    result.closeVisible = window.closeButtonVisible();
    result.plainLabels = testsupport::allLabelsPlain(&window);
    result.outcome = window.outcomeText();
    result.startOffered = !window.startClientButton()->isHidden() && window.startClientButton()->isDefault();
    if (clickStart && result.startOffered)
        window.startClientButton()->click();
    return result;
}

void UpdatePipelineTest::updatesInstallation() {
    QTemporaryDir dir;
    UpdateScenario s(dir.path());
    s.installOldRelease();
    const TreeSnapshot old = s.snapshotTarget();
    ReleaseServer server;
    const QList<ZipEntry> entries = s.newReleaseEntries();
    server.setPackage(buildZip(entries), "2.0.0");

    const Run r = run(s, server.manifestUrl());
    QVERIFY2(r.ok, qPrintable(s.logTexts().join('\n')));
    QVERIFY(r.quitRequested);
    QCOMPARE(r.status, QString("完成"));
    QVERIFY(!r.closeVisible);

    QCOMPARE(s.snapshotTarget(), UpdateScenario::expectedNewRelease(entries));
    const QString versionDir = s.workDir + "/2.0.0";
    QCOMPARE(snapshotTree(versionDir + "/backup"), old);
    // Once ended, only the backup stays of what the update downloaded and unpacked.
    QCOMPARE(QDir(versionDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{"backup"});
    QTRY_COMPARE(s.recordedStarts(), (QStringList{s.target, "end"}));

    const QStringList texts = s.logTexts();
    QCOMPARE(stepLines(texts),
             (QStringList{"读取更新清单... " + server.manifestUrl(), "等待 Ondivo 退出... 正在等待主程序关闭",
                          "校验更新包... 正在计算 SHA256",
                          "解压更新包... " + versionDir + "/ondivo-client.zip", "备份旧版本... " + s.target,
                          "安装新版本... " + s.target, "启动 Ondivo... Ondivo", "更新完成 Ondivo 已启动"}));
    const QStringList downloads = texts.filter(QRegularExpression("^正在下载更新包\\.\\.\\. "));
    QVERIFY(!downloads.isEmpty());
    QVERIFY2(QRegularExpression(
                 "^正在下载更新包\\.\\.\\. \\d+\\.\\d+ [KMG]?B / \\d+\\.\\d+ [KMG]?B    \\d+\\.\\d+ "
                 "[KMG]?B/s$")
                 .match(downloads.last())
                 .hasMatch(),
             qPrintable(downloads.last()));
    QVERIFY(ui::testing::shown().isEmpty());
}

void UpdatePipelineTest::failsAndKeepsInstallation_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("message");
    QTest::newRow("manifest 404") << "manifest404"
                                  << "HTTP 404";
    QTest::newRow("manifest server unreachable") << "manifestUnreachable"
                                                 << "连接被拒绝 (Connection refused)";
    QTest::newRow("manifest host never answers") << "manifestHang"
                                                 << "连接超时：1 秒没有收到任何数据";
    QTest::newRow("manifest redirected to another host") << "manifestRedirect"
                                                         << "服务器重定向到其他地址: OTHER/manifest.json";
    QTest::newRow("manifest not JSON") << "manifestText"
                                       << "更新清单为空或格式错误";
    QTest::newRow("manifest empty object") << "manifestEmpty"
                                           << "更新清单为空或格式错误";
    QTest::newRow("manifest without url") << "manifestNoUrl"
                                          << "更新清单缺少 version 或 url";
    QTest::newRow("manifest version leaves work dir") << "manifestEvilVersion"
                                                      << "更新清单中的 version 无效: ../../x";
    QTest::newRow("manifest version is markup") << "manifestMarkupVersion"
                                                << "更新清单中的 version 无效: <img src='/dev/zero'>";
    QTest::newRow("manifest package name leaves work dir") << "manifestEvilName"
                                                           << "更新清单中的 packageName 无效: ../owned.zip";
    QTest::newRow("zip escaping with ..") << "dotdot"
                                          << "解压更新包失败";
    QTest::newRow("target without the program") << "noProgram"
                                                << "目标目录中没有找到 Ondivo";
    QTest::newRow("work dir inside the target") << "workInside"
                                                << "工作目录位于目标目录中: WORK";
}

void UpdatePipelineTest::failsAndKeepsInstallation() {
    QFETCH(QString, setup);
    QFETCH(QString, message);
    QTemporaryDir dir;
    UpdateScenario s(dir.path());
    s.installOldRelease();
    if (setup == "noProgram")
        QFile::remove(s.target + "/Ondivo");
    if (setup == "workInside")
        s.workDir = s.target + "/updates";
    const TreeSnapshot old = s.snapshotTarget();
    ReleaseServer server;
    QList<ZipEntry> entries = s.newReleaseEntries();
    if (setup == "dotdot")
        entries.append(ZipEntry{"../../evil.txt", "owned"});
    server.setPackage(buildZip(entries), "2.0.0");
    if (setup == "manifest404")
        server.setRawManifest(404, "{\"error\":\"none\"}");
    if (setup == "manifestText")
        server.setRawManifest(200, "<html>maintenance</html>");
    if (setup == "manifestEmpty")
        server.setRawManifest(200, "{}");
    if (setup == "manifestNoUrl")
        server.setRawManifest(200, "{\"version\":\"2.0.0\",\"url\":\"\"}");
    if (setup == "manifestEvilVersion")
        server.setRawManifest(200,
                              "{\"version\":\"../../x\",\"url\":\"" + server.packageUrl().toUtf8() + "\"}");
    if (setup == "manifestMarkupVersion")
        server.setRawManifest(200, "{\"version\":\"<img src='/dev/zero'>\",\"url\":\"" +
                                       server.packageUrl().toUtf8() + "\"}");
    if (setup == "manifestEvilName")
        server.setRawManifest(200, "{\"version\":\"2\",\"packageName\":\"../owned.zip\",\"url\":\"" +
                                       server.packageUrl().toUtf8() + "\"}");

    QString manifestUrl = server.manifestUrl();
    // Hostile manifest hosts: one that never answers, one that points elsewhere.
    testsupport::RecordingServer host;
    testsupport::RecordingServer other;
    net::timing.blockingIdleTimeoutMs = 300;
    if (setup == "manifestHang" || setup == "manifestRedirect") {
        testsupport::RecordingServer::Reply reply =
            testsupport::RecordingServer::redirect(302, other.baseUrl() + "/manifest.json");
        reply.hang = setup == "manifestHang";
        host.setDefaultReply(reply);
        manifestUrl = host.baseUrl() + "/manifest.json";
    }
    message.replace("OTHER", other.baseUrl());
    if (setup == "manifestUnreachable") {
        QTcpServer closed; // a port that was free a moment ago and now refuses connections
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        manifestUrl = QStringLiteral("http://127.0.0.1:%1/manifest.json").arg(closed.serverPort());
    }
    const Run r = run(s, manifestUrl);
    QVERIFY(other.requests().isEmpty());
    message.replace("WORK", s.workDir);
    QVERIFY(!r.ok);
    QVERIFY(!r.quitRequested);
    QCOMPARE(r.status, QString("失败"));
    QVERIFY(r.closeVisible);
    QVERIFY(r.plainLabels);
    const QStringList texts = s.logTexts();
    QVERIFY(texts.size() >= 2);
    QCOMPARE(texts.mid(texts.size() - 2), (QStringList{"更新失败 " + message, "ERROR " + message}));
    TreeSnapshot now = s.snapshotTarget();
    if (setup == "workInside")
        now.removeIf([](const auto& item) { return item.key().startsWith("updates/"); });
    QCOMPARE(now, old);
    QVERIFY(s.recordedStarts().isEmpty());
    QVERIFY(!QFileInfo::exists(s.workDir + "/evil.txt"));
    QVERIFY(!QFileInfo::exists(dir.filePath("owned.zip")));
    QVERIFY(!QFileInfo::exists(s.workDir + "/owned.zip"));
    // The old client is untouched: the card says so and offers to start it when it is there.
    QVERIFY(!r.outcome.isEmpty());
    QCOMPARE(r.startOffered, setup != "noProgram");
    QVERIFY(!QFileInfo::exists(s.workDir + "/2.0.0/extract"));
    QVERIFY(!QFileInfo::exists(s.workDir + "/2.0.0/ondivo-client.zip"));
}

void UpdatePipelineTest::rollsBackWhenInstallCopyFails() {
    QTemporaryDir dir;
    // A deep installation path: the new release's long file name fits below the work directory but
    // exceeds the system's path limit below the target, so copying it into the target fails halfway.
    QString deep = "install";
    while (deep.size() < 3700 - dir.path().size())
        deep += "/" + QString(200, 'd');
    UpdateScenario s(dir.path(), deep);
    s.installOldRelease();
    // The rollback gives back modes and times too, the target directory's own included.
    QVERIFY(QFile::setPermissions(s.target, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                QFile::ReadGroup | QFile::ExeGroup));
    const QDateTime oldTime = QDateTime::fromSecsSinceEpoch(978307200);
    QVERIFY(setModifiedTime(s.target, oldTime.toSecsSinceEpoch()));
    const TreeSnapshot old = s.snapshotTarget();
    QVERIFY(!old.isEmpty());
    // The installed program is renamed away and back, never deleted: a running one could be neither
    // deleted nor overwritten on Windows. So it comes back as the same file, not as a copy.
    const QString program = s.target + "/" + s.exe;
    const qint64 programId = fileId(program);
    ReleaseServer server;
    QList<ZipEntry> entries = s.newReleaseEntries();
    const QString longName = QString(250, 'n');
    entries.append(ZipEntry{"deeper/" + longName + "/" + longName, "cannot land"});
    server.setPackage(buildZip(entries), "2.0.0");

    const Run r = run(s, server.manifestUrl(), 0, true);
    QVERIFY(!r.ok);
    QVERIFY(r.startOffered);
    QVERIFY(!r.outcome.isEmpty());
    const QStringList texts = s.logTexts();
    const QStringList errors = texts.filter(QRegularExpression("^ERROR "));
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.first().startsWith("ERROR 复制失败: " + s.workDir + "/2.0.0/extract/deeper/"),
             qPrintable(errors.first()));
    QVERIFY(texts.contains("安装新版本... " + s.target));
    QCOMPARE(s.snapshotTarget(), old);
    QCOMPARE(fileId(program), programId);
    QCOMPARE(permissionBits(s.target), 0750);
    QCOMPARE(QFileInfo(s.target).lastModified(), oldTime);
    QTRY_COMPARE(s.recordedStarts(), (QStringList{s.target, "end"})); // the old client, started from the card
}

void UpdatePipelineTest::reportsClientThatCannotStart() {
    QTemporaryDir dir;
    UpdateScenario s(dir.path());
    s.installOldRelease();
    ReleaseServer server;
    QList<ZipEntry> entries = s.newReleaseEntries();
    entries[0].mode = 0644; // the new program is not executable
    server.setPackage(buildZip(entries), "2.0.0");

    const Run r = run(s, server.manifestUrl());
    QVERIFY(!r.ok);
    QCOMPARE(r.status, QString("失败"));
    const QStringList texts = s.logTexts();
    QCOMPARE(texts.mid(texts.size() - 3),
             (QStringList{"启动 Ondivo... Ondivo", "更新失败 启动 Ondivo 失败", "ERROR 启动 Ondivo 失败"}));
    QVERIFY(!r.startOffered); // the new release is installed: nothing old to start
    QVERIFY(r.outcome.isEmpty());
    // The new release stays installed.
    QCOMPARE(s.snapshotTarget(), UpdateScenario::expectedNewRelease(entries));
}

// A size the download cannot use counts as no size (then the download ceiling applies).
void UpdatePipelineTest::manifestSizeOutOfRange_data() {
    QTest::addColumn<QByteArray>("size");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("plain") << QByteArray("1000") << qint64(1000);
    QTest::newRow("1e300") << QByteArray("1e300") << qint64(0);
    QTest::newRow("beyond 64 bits") << QByteArray("-1e19") << qint64(0);
    QTest::newRow("above the ceiling") << QByteArray("3000000000") << qint64(0);
    QTest::newRow("fraction") << QByteArray("1000.5") << qint64(0);
}

void UpdatePipelineTest::manifestSizeOutOfRange() {
    QFETCH(QByteArray, size);
    const QByteArray manifest = R"({"version":"2.0","url":"http://h/p.zip","size":)" + size + "}";
    QTEST(readManifest(QJsonDocument::fromJson(manifest).object()).size, "expected");
}

ONDIVO_TEST_MAIN_GUI(UpdatePipelineTest)
#include "tst_updatepipeline.moc"
