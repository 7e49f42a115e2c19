#include "TestMain.h"

#include "updater/WorkDirCleanup.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <filesystem>

using namespace updater;

namespace {

// Creates each file ("a/b/c"); "a/backup@-60" also dates folder a/backup 60 minutes back.
void createTree(const QString& root, const QStringList& files) {
    for (const QString& spec : files) {
        const QString path = spec.section(QLatin1Char('@'), 0, 0);
        QDir().mkpath(QFileInfo(root + '/' + path).absolutePath());
        QFile file(root + '/' + path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("x");
        file.close();
        if (spec.contains('@')) {
            const std::filesystem::path folder =
                QFile::encodeName(root + '/' + path.section('/', 0, -2)).toStdString();
            std::filesystem::last_write_time(folder, std::filesystem::file_time_type::clock::now() +
                                                         std::chrono::minutes(spec.section('@', 1).toInt()));
        }
    }
}

QStringList filesBelow(const QString& root) {
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

} // namespace

class WorkDirCleanupTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // After an update ended only the last backup stays of what the updates made; the runner, the log,
    // folders not made here and the installation stay whatever their names.
    void keepsOnlyTheLastBackup_data() {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("keep"); // a backup folder, "newest", or "" for none
        QTest::addColumn<QStringList>("remaining");
        const QStringList common{"runner/OndivoUpdater", "update.log", "notes/readme.txt"};
        QTest::newRow("this run's backup")
            << (common + QStringList{"1.9/ondivo-client.zip", "1.9/backup/Ondivo@-60",
                                     "2.0.0/ondivo-client.zip", "2.0.0/extract/Ondivo",
                                     "2.0.0/backup/Ondivo"})
            << "2.0.0/backup"
            << QStringList{"2.0.0/backup/Ondivo", "notes/readme.txt", "runner/OndivoUpdater", "update.log"};
        QTest::newRow("failed before its backup: the newest earlier one stays")
            << (common + QStringList{"1.8/backup/Ondivo@-120", "1.9/backup/Ondivo@-60", "1.9/extract/a",
                                     "2.1/refused.zip", "2.1/refused.zip.download"})
            << "newest"
            << QStringList{"1.9/backup/Ondivo", "notes/readme.txt", "runner/OndivoUpdater", "update.log"};
        QTest::newRow("named without a digit but made here")
            << (common + QStringList{"beta/extract/a", "beta/pkg.zip"}) << ""
            << QStringList{"notes/readme.txt", "runner/OndivoUpdater", "update.log"};
        QTest::newRow("the installation stays even when named like a version")
            << (common + QStringList{"3app/Ondivo", "3app/extract/x"}) << ""
            << (QStringList{"3app/Ondivo", "3app/extract/x"} +
                QStringList{"notes/readme.txt", "runner/OndivoUpdater", "update.log"});
    }
    void keepsOnlyTheLastBackup() {
        QFETCH(QStringList, files);
        QFETCH(QString, keep);
        QTemporaryDir dir;
        const QString work = dir.filePath("updates");
        createTree(work, files);
        // Outside the work directory, reached only through links in it.
        createTree(dir.path(), {"outside/precious"});
        QDir().mkpath(work + "/4.0/extract");
        QVERIFY(QFile::link(dir.filePath("outside"), work + "/4.0/extract/into"));

        const QString kept = keep == "newest" ? newestBackup(work)
                             : keep.isEmpty() ? QString()
                                              : work + '/' + keep;
        const QStringList left = cleanWorkDirectory(work, kept, {work + "/3app"});
        QVERIFY2(left.isEmpty(), qPrintable(left.join(' ')));
        QTEST(filesBelow(work), "remaining");
        QVERIFY(QFileInfo::exists(dir.filePath("outside/precious")));
        QVERIFY(!QFileInfo(work + "/4.0").exists());
    }
};

ONDIVO_TEST_MAIN_CORE(WorkDirCleanupTest)
#include "tst_workdircleanup.moc"
