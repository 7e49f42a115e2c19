#include "TestMain.h"
#include "updater/DirectoryCopy.h"

#include <QTemporaryDir>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace updater;

class DirectoryCopyTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void directoryCopyKeepsHiddenFilesLinksAndModes();
    void directoryCopyKeepsModesAndTimes_data();
    void directoryCopyKeepsModesAndTimes();
    void directoryCopyReportsMissingSource();
    void removeEntriesNeverFollowsLinks();
};

void DirectoryCopyTest::directoryCopyKeepsHiddenFilesLinksAndModes() {
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

// Backup and rollback must give back what was there: a client restored as 0644 cannot start. A FIFO in
// the installation must not block the copy (opening it for reading waits for a writer).
void DirectoryCopyTest::directoryCopyKeepsModesAndTimes_data() {
    QTest::addColumn<QString>("name"); // "" is the copied directory itself
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("mode");
    QTest::newRow("program 0755") << "Ondivo"
                                  << "file" << 0755;
    QTest::newRow("read-only file 0444") << "notes"
                                         << "file" << 0444;
    QTest::newRow("owner-only directory 0700") << "data"
                                               << "dir" << 0700;
    QTest::newRow("the directory itself 0750") << ""
                                               << "dir" << 0750;
    QTest::newRow("FIFO is skipped") << "pipe"
                                     << "fifo" << 0644;
}

void DirectoryCopyTest::directoryCopyKeepsModesAndTimes() {
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
                            : ::chmod(entry, mode_t(mode)) | ::utimensat(AT_FDCWD, entry, old, 0),
             0);
    QStringList logged;
    QString error;
    QVERIFY2(copyDirectory(src, dir.filePath("dst"), &error, RootAttributes::Copy,
                           [&logged](const QString& line) { logged << line; }),
             qPrintable(error));
    struct stat copied {};
    const bool exists = ::stat(QFile::encodeName(dir.filePath("dst/" + name)), &copied) == 0;
    QCOMPARE(logged,
             kind == "fifo" ? QStringList{"跳过特殊文件: " + QFile::decodeName(entry)} : QStringList());
    QCOMPARE(exists, kind != "fifo");
    if (!exists)
        return;
    QCOMPARE(int(copied.st_mode & 07777), mode);
    QCOMPARE(qint64(copied.st_mtim.tv_sec), qint64(old[1].tv_sec));
}

void DirectoryCopyTest::directoryCopyReportsMissingSource() {
    QTemporaryDir dir;
    QString error;
    QVERIFY(!copyDirectory(dir.filePath("none"), dir.filePath("dst"), &error));
    QCOMPARE(error, "源目录不存在: " + dir.filePath("none"));
}

void DirectoryCopyTest::removeEntriesNeverFollowsLinks() {
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

ONDIVO_TEST_MAIN_CORE(DirectoryCopyTest)
#include "tst_directorycopy.moc"
