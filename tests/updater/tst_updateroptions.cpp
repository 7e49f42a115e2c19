#include "TestMain.h"
#include "updater/DirectoryCopy.h"
#include "updater/RunnerPreparation.h"
#include "updater/UpdateLog.h"
#include "updater/UpdatePipeline.h"
#include "updater/UpdaterOptions.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace updater;

class UpdaterOptionsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parsesOptions_data();
    void parsesOptions();
    void processId_data();
    void processId();
    void defaultsNameTheProgram();
    void runnerArgumentsAppendFlag();
    void logLinesAreTimestampedAndAppended();
    void logSkipsUnwritablePath();
    void directoryCopyKeepsHiddenFilesLinksAndModes();
    void directoryCopyReportsMissingSource();
    void manifestSizeOutOfRange_data();
    void manifestSizeOutOfRange();
    void directoryCopyKeepsModesAndTimes_data();
    void directoryCopyKeepsModesAndTimes();
    void removeEntriesNeverFollowsLinks();
    void runnerCopiesProgramLibrariesAndPlugins();
    void runnerReportsFailures_data();
    void runnerReportsFailures();
};

void UpdaterOptionsTest::parsesOptions_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("manifest");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("exe");
    QTest::addColumn<uint>("pid");
    QTest::addColumn<QString>("workDir");
    QTest::addColumn<QString>("log");
    QTest::addColumn<bool>("fromTemp");

    const QString defaultExe = QString::fromUtf8(kDefaultClientProgram);
    QTest::newRow("all options") << QStringList{"--manifest-url", "http://h/m.json",
                                                "--target",       "/opt/a/../ondivo/",
                                                "--exe",          "Ondivo",
                                                "--pid",          "4242",
                                                "--work-dir",     "/w/./u//",
                                                "--log",          "/l/u.log"}
                                 << "http://h/m.json"
                                 << "/opt/ondivo"
                                 << "Ondivo" << 4242u << "/w/u"
                                 << "/l/u.log" << false;
    QTest::newRow("first occurrence counts")
        << QStringList{"--target",       "/first", "--target",       "/second",
                       "--manifest-url", "u1",     "--manifest-url", "u2"}
        << "u1"
        << "/first" << defaultExe << 0u << defaultWorkDirectory() << defaultLogPath() << false;
    QTest::newRow("exe last without value keeps default")
        << QStringList{"--manifest-url", "u", "--target", "/t", "--exe"} << "u"
        << "/t" << defaultExe << 0u << defaultWorkDirectory() << defaultLogPath() << false;
    QTest::newRow("from-temp anywhere, exact")
        << QStringList{"--from-temp", "--target", "/t", "--FROM-TEMP"} << ""
        << "/t" << defaultExe << 0u << defaultWorkDirectory() << defaultLogPath() << true;
    QTest::newRow("from-temp case differs")
        << QStringList{"--From-Temp"} << ""
        << "" << defaultExe << 0u << defaultWorkDirectory() << defaultLogPath() << false;
    QTest::newRow("value that looks like an option is taken")
        << QStringList{"--target", "--exe", "x"} << ""
        << "--exe"
        << "x" << 0u << defaultWorkDirectory() << defaultLogPath() << false;
    QTest::newRow("nothing") << QStringList{} << ""
                             << "" << defaultExe << 0u << defaultWorkDirectory() << defaultLogPath() << false;
}

void UpdaterOptionsTest::parsesOptions() {
    QFETCH(QStringList, args);
    const UpdaterOptions o = parseUpdaterOptions(args);
    QTEST(o.manifestUrl, "manifest");
    QTEST(o.target, "target");
    QTEST(o.exe, "exe");
    QTEST(uint(o.pid), "pid");
    QTEST(o.workDir, "workDir");
    QTEST(o.logPath, "log");
    QTEST(o.fromTemp, "fromTemp");
}

void UpdaterOptionsTest::processId_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<uint>("pid");
    QTest::newRow("plain") << "1234" << 1234u;
    QTest::newRow("largest") << "4294967295" << 4294967295u;
    QTest::newRow("one above") << "4294967296" << 0u;
    QTest::newRow("far above") << "99999999999999999999" << 0u;
    QTest::newRow("negative") << "-5" << 0u;
    QTest::newRow("not a number") << "12ab" << 0u;
    QTest::newRow("hex") << "0x10" << 0u;
    QTest::newRow("empty") << "" << 0u;
}

void UpdaterOptionsTest::processId() {
    QFETCH(QString, text);
    QTEST(uint(parseProcessId(text)), "pid");
}

void UpdaterOptionsTest::defaultsNameTheProgram() {
    // No organisation or application name is set: the folders carry the program's name.
    const QString program = QCoreApplication::applicationName();
    QVERIFY(defaultWorkDirectory().endsWith(program + "/updates"));
    QVERIFY(defaultLogPath().endsWith(program + "/update.log"));
    QVERIFY(!defaultWorkDirectory().startsWith(QDir::currentPath()));
}

void UpdaterOptionsTest::runnerArgumentsAppendFlag() {
    QCOMPARE(runnerArguments({"--target", "/t", "--pid", "5"}),
             (QStringList{"--target", "/t", "--pid", "5", "--from-temp"}));
    QCOMPARE(runnerArguments({}), QStringList{"--from-temp"});
}

void UpdaterOptionsTest::logLinesAreTimestampedAndAppended() {
    QTemporaryDir dir;
    const QString path = dir.filePath("deep/er/update.log");
    appendUpdateLog(path, "读取更新清单... http://x");
    appendUpdateLog(path, "ERROR HTTP 404");
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(2), QString());
    const QRegularExpression stamp("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2} ");
    QVERIFY(stamp.match(lines.at(0)).hasMatch());
    QCOMPARE(lines.at(0).mid(20), QString("读取更新清单... http://x"));
    QCOMPARE(lines.at(1).mid(20), QString("ERROR HTTP 404"));
}

void UpdaterOptionsTest::logSkipsUnwritablePath() {
    QTemporaryDir dir;
    // The log path is a directory: nothing can be appended and nothing may throw.
    appendUpdateLog(dir.path(), "x");
    QVERIFY(QFileInfo(dir.path()).isDir());
}

void UpdaterOptionsTest::directoryCopyKeepsHiddenFilesLinksAndModes() {
    QTemporaryDir dir;
    const QString src = dir.filePath("src");
    QDir().mkpath(src + "/sub/deeper");
    QFile f(src + "/run.sh");
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\n");
    f.close();
    QFile::setPermissions(src + "/run.sh", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile h(src + "/.portable");
    QVERIFY(h.open(QIODevice::WriteOnly));
    h.write("hidden");
    h.close();
    QFile n(src + "/sub/deeper/n.txt");
    QVERIFY(n.open(QIODevice::WriteOnly));
    n.write("nested");
    n.close();
    QVERIFY(QFile::link("../run.sh", src + "/sub/link"));
    const QString dst = dir.filePath("dst");
    QDir().mkpath(dst);
    QFile old(dst + "/run.sh");
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old content that is longer");
    old.close();

    QString error;
    QVERIFY2(copyDirectory(src, dst, &error), qPrintable(error));
    QFile copied(dst + "/run.sh");
    QVERIFY(copied.open(QIODevice::ReadOnly));
    QCOMPARE(copied.readAll(), QByteArray("#!/bin/sh\n"));
    QVERIFY(QFileInfo(dst + "/run.sh").isExecutable());
    QVERIFY(QFileInfo::exists(dst + "/.portable"));
    QVERIFY(QFileInfo::exists(dst + "/sub/deeper/n.txt"));
    QVERIFY(QFileInfo(dst + "/sub/link").isSymLink());
    QCOMPARE(QFile::symLinkTarget(dst + "/sub/link"), QFileInfo(dst + "/run.sh").absoluteFilePath());
}

// A size the download cannot use counts as no size (then the download ceiling applies).
void UpdaterOptionsTest::manifestSizeOutOfRange_data() {
    QTest::addColumn<QByteArray>("size");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("plain") << QByteArray("1000") << qint64(1000);
    QTest::newRow("1e300") << QByteArray("1e300") << qint64(0);
    QTest::newRow("beyond 64 bits") << QByteArray("-1e19") << qint64(0);
    QTest::newRow("above the ceiling") << QByteArray("3000000000") << qint64(0);
    QTest::newRow("fraction") << QByteArray("1000.5") << qint64(0);
}

void UpdaterOptionsTest::manifestSizeOutOfRange() {
    QFETCH(QByteArray, size);
    const QByteArray manifest = R"({"version":"2.0","url":"http://h/p.zip","size":)" + size + "}";
    QTEST(readManifest(QJsonDocument::fromJson(manifest).object()).size, "expected");
}

// Backup and rollback must give back what was there: a client restored as 0644 cannot start. A FIFO in
// the installation must not block the copy (opening it for reading waits for a writer).
void UpdaterOptionsTest::directoryCopyKeepsModesAndTimes_data() {
    QTest::addColumn<QString>("name"); // "" is the copied directory itself
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("mode");
    QTest::newRow("program 0755") << "Ondivo" << "file" << 0755;
    QTest::newRow("read-only file 0444") << "notes" << "file" << 0444;
    QTest::newRow("owner-only directory 0700") << "data" << "dir" << 0700;
    QTest::newRow("the directory itself 0750") << "" << "dir" << 0750;
    QTest::newRow("FIFO is skipped") << "pipe" << "fifo" << 0644;
}

void UpdaterOptionsTest::directoryCopyKeepsModesAndTimes() {
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(int, mode);
    QTemporaryDir dir;
    const QString src = dir.filePath("src");
    const QByteArray entry = QFile::encodeName(name.isEmpty() ? src : src + "/" + name);
    QDir().mkpath(src + (kind == "dir" ? "/" + name + "/inner" : QString()));
    if (kind == "file")
        QVERIFY(QFile(QFile::decodeName(entry)).open(QIODevice::WriteOnly));
    const timespec old[2] = {{978307200, 0}, {978307200, 0}}; // 2001-01-01
    QCOMPARE(kind == "fifo" ? ::mkfifo(entry, mode_t(mode))
                            : ::chmod(entry, mode_t(mode)) | ::utimensat(AT_FDCWD, entry, old, 0), 0);
    QStringList logged;
    QString error;
    QVERIFY2(copyDirectory(src, dir.filePath("dst"), &error, RootAttributes::Copy,
                           [&logged](const QString& line) { logged << line; }),
             qPrintable(error));
    struct stat copied {};
    const bool exists = ::stat(QFile::encodeName(dir.filePath("dst/" + name)), &copied) == 0;
    QCOMPARE(logged, kind == "fifo" ? QStringList{"跳过特殊文件: " + QFile::decodeName(entry)} : QStringList());
    QCOMPARE(exists, kind != "fifo");
    if (!exists)
        return;
    QCOMPARE(int(copied.st_mode & 07777), mode);
    QCOMPARE(qint64(copied.st_mtim.tv_sec), qint64(old[1].tv_sec));
}

void UpdaterOptionsTest::directoryCopyReportsMissingSource() {
    QTemporaryDir dir;
    QString error;
    QVERIFY(!copyDirectory(dir.filePath("none"), dir.filePath("dst"), &error));
    QCOMPARE(error, "源目录不存在: " + dir.filePath("none"));
}

void UpdaterOptionsTest::removeEntriesNeverFollowsLinks() {
    QTemporaryDir dir;
    const QString outside = dir.filePath("outside");
    QDir().mkpath(outside);
    QFile keep(outside + "/keep.txt");
    QVERIFY(keep.open(QIODevice::WriteOnly));
    keep.close();
    const QString target = dir.filePath("target");
    QDir().mkpath(target + "/sub");
    QVERIFY(QFile::link(outside, target + "/linkdir"));
    QVERIFY(QFile::link(outside, target + "/sub/linkdir"));
    QFile hidden(target + "/.hidden");
    QVERIFY(hidden.open(QIODevice::WriteOnly));
    hidden.close();

    removeDirectoryEntries(target);
    QVERIFY(QDir(target).exists());
    QVERIFY(QDir(target)
                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)
                .isEmpty());
    QVERIFY(QFileInfo::exists(outside + "/keep.txt"));
}

namespace {

void writeFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

} // namespace

void UpdaterOptionsTest::runnerCopiesProgramLibrariesAndPlugins() {
    QTemporaryDir dir;
    const QString install = dir.filePath("install");
    writeFile(install + "/OndivoUpdater", "program");
    writeFile(install + "/libQt6Core.so.6", "lib");
    writeFile(install + "/libextra.so", "lib2");
    writeFile(install + "/notes.txt", "not runtime");
    writeFile(install + "/platforms/libqoffscreen.so", "plugin");
    writeFile(install + "/tls/sub/libssl.so", "tls");
    writeFile(install + "/other/x.so", "not listed");
    writeFile(install + "/nested/libdeep.so", "not direct");
    const RunnerPlan plan = runnerPlan(dir.filePath("work"));
    QCOMPARE(plan.runnerDirectory, dir.filePath("work/runner"));
    QCOMPARE(plan.runnerProgram, dir.filePath("work/runner/") + QString::fromUtf8(kUpdaterProgramName));
    writeFile(plan.runnerProgram, "stale copy from last time");

    QString error;
    QCOMPARE(prepareRunner(install + "/OndivoUpdater", plan, &error), RunnerPreparation::Ready);
    QFile program(plan.runnerProgram);
    QVERIFY(program.open(QIODevice::ReadOnly));
    QCOMPARE(program.readAll(), QByteArray("program"));
    const QString runner = plan.runnerDirectory;
    QVERIFY(QFileInfo::exists(runner + "/libQt6Core.so.6"));
    QVERIFY(QFileInfo::exists(runner + "/libextra.so"));
    QVERIFY(QFileInfo::exists(runner + "/platforms/libqoffscreen.so"));
    QVERIFY(QFileInfo::exists(runner + "/tls/sub/libssl.so"));
    QVERIFY(!QFileInfo::exists(runner + "/notes.txt"));
    QVERIFY(!QFileInfo::exists(runner + "/other"));
    QVERIFY(!QFileInfo::exists(runner + "/libdeep.so"));
}

void UpdaterOptionsTest::runnerReportsFailures_data() {
    QTest::addColumn<QString>("blocker"); // what stands in the runner directory before the copy
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("errorStart");
    QTest::newRow("program copy") << QString::fromUtf8(kUpdaterProgramName)
                                  << int(RunnerPreparation::ProgramCopyFailed) << QString();
    QTest::newRow("library copy") << "libQt6Core.so.6" << int(RunnerPreparation::RuntimeCopyFailed)
                                  << "复制运行库失败: ";
    QTest::newRow("plugin folder copy")
        << "platforms" << int(RunnerPreparation::RuntimeCopyFailed) << "复制失败: ";
}

void UpdaterOptionsTest::runnerReportsFailures() {
    QFETCH(QString, blocker);
    QFETCH(int, result);
    QFETCH(QString, errorStart);
    QTemporaryDir dir;
    const QString install = dir.filePath("install");
    writeFile(install + "/OndivoUpdater", "program");
    writeFile(install + "/libQt6Core.so.6", "lib");
    writeFile(install + "/platforms/libqxcb.so", "plugin");
    const RunnerPlan plan = runnerPlan(dir.filePath("work"));
    // A non-empty directory of the same name cannot be replaced by a file, even by root; a plain file
    // where a folder belongs cannot hold the folder's contents.
    if (blocker == "platforms")
        writeFile(plan.runnerDirectory + "/platforms", "a file, not a folder");
    else
        writeFile(plan.runnerDirectory + "/" + blocker + "/keep", "x");

    QString error;
    QCOMPARE(int(prepareRunner(install + "/OndivoUpdater", plan, &error)), result);
    if (errorStart.isEmpty())
        QVERIFY(error.isEmpty());
    else
        QVERIFY2(error.startsWith(errorStart), qPrintable(error));
    if (blocker == "libQt6Core.so.6")
        QCOMPARE(error, "复制运行库失败: " + install + "/libQt6Core.so.6");
    if (blocker == "platforms")
        QCOMPARE(error, "复制失败: " + install + "/platforms/libqxcb.so -> " + plan.runnerDirectory +
                            "/platforms/libqxcb.so");
}

ONDIVO_TEST_MAIN_CORE(UpdaterOptionsTest)
#include "tst_updateroptions.moc"
