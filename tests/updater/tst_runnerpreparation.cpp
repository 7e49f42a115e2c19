#include "TestMain.h"
#include "updater/RunnerPreparation.h"
#include "updater/UpdaterOptions.h"

#include <QTemporaryDir>

using namespace updater;

class RunnerPreparationTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void runnerArgumentsAppendFlag();
    void runnerCopiesProgramLibrariesAndPlugins();
    void runnerReportsFailures_data();
    void runnerReportsFailures();
};

namespace {

void writeFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

} // namespace

void RunnerPreparationTest::runnerArgumentsAppendFlag() {
    QCOMPARE(runnerArguments({"--target", "/t", "--pid", "5"}),
             (QStringList{"--target", "/t", "--pid", "5", "--from-temp"}));
    QCOMPARE(runnerArguments({}), QStringList{"--from-temp"});
}

void RunnerPreparationTest::runnerCopiesProgramLibrariesAndPlugins() {
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

void RunnerPreparationTest::runnerReportsFailures_data() {
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

void RunnerPreparationTest::runnerReportsFailures() {
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

ONDIVO_TEST_MAIN_CORE(RunnerPreparationTest)
#include "tst_runnerpreparation.moc"
