#include "TestFiles.h"
#include "TestMain.h"

#include "settings/DataDirectoryRules.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace datadir;

using testsupport::readFile;
using testsupport::writeFile;

class DataDirectoryRulesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void usageCountsFilesOnlyAndSkipsLinks() {
        QTemporaryDir dir;
        const QString root = dir.path();
        writeFile(root + "/a.bin", QByteArray(1000, 'a'));
        writeFile(root + "/.hidden", QByteArray(24, 'h'));
        writeFile(root + "/deep/er/b.bin", QByteArray(3000, 'b'));
        QDir().mkpath(root + "/empty");
        QTemporaryDir outside;
        writeFile(outside.path() + "/big.bin", QByteArray(50000, 'x'));
        QVERIFY(QFile::link(outside.path() + "/big.bin", root + "/link-to-file"));
        QVERIFY(QFile::link(outside.path(), root + "/link-to-dir"));
        QCOMPARE(directoryUsage(root), qint64(4024));
    }

    void usageOfMissingDirectoryIsZero() {
        QCOMPARE(directoryUsage(QStringLiteral("/nonexistent/ondivo-usage")), qint64(0));
    }

    void inside_data() {
        QTest::addColumn<QString>("candidate");
        QTest::addColumn<QString>("directory");
        QTest::addColumn<bool>("inside");
        QTest::addColumn<bool>("same");
        QTest::newRow("child") << "/data/ondivo/new"
                               << "/data/ondivo" << true << false;
        QTest::newRow("grandchild, unclean") << "/data/ondivo/./x/../x/y"
                                             << "/data/ondivo/" << true << false;
        QTest::newRow("same, trailing slash") << "/data/ondivo/"
                                              << "/data/ondivo" << false << true;
        QTest::newRow("same after ..") << "/data/other/../ondivo"
                                       << "/data/ondivo" << false << true;
        QTest::newRow("sibling with common prefix") << "/data/ondivo2"
                                                    << "/data/ondivo" << false << false;
        QTest::newRow("parent") << "/data"
                                << "/data/ondivo" << false << false;
        QTest::newRow("escapes with ..") << "/data/ondivo/../elsewhere"
                                         << "/data/ondivo" << false << false;
    }
    void inside() {
        QFETCH(QString, candidate);
        QFETCH(QString, directory);
        QFETCH(bool, inside);
        QFETCH(bool, same);
        QCOMPARE(isInside(candidate, directory), inside);
        QCOMPARE(sameDirectory(candidate, directory), same);
    }

    void question() {
        QCOMPARE(migrationQuestion(QStringLiteral("/mnt/new")),
                 QStringLiteral("迁移时请确保浏览器环境未运行。\n\n确定把数据目录迁移到：\n/mnt/new ?"));
    }

    void copiesEverythingAndReplacesExisting() {
        QTemporaryDir from;
        QTemporaryDir base;
        writeFile(from.path() + "/profiles/p1/state.json", "new state");
        writeFile(from.path() + "/.cache/.token", "hidden");
        writeFile(from.path() + "/top.txt", "top");
        QDir().mkpath(from.path() + "/empty/inner");
        const QString to = base.path() + "/moved/data";
        writeFile(to + "/profiles/p1/state.json", "old state that is longer");
        writeFile(to + "/unrelated.txt", "stays");

        const MigrationResult result = copyDataDirectory(from.path(), to);
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(readFile(to + "/profiles/p1/state.json"), QByteArray("new state"));
        QCOMPARE(readFile(to + "/.cache/.token"), QByteArray("hidden"));
        QCOMPARE(readFile(to + "/top.txt"), QByteArray("top"));
        QCOMPARE(readFile(to + "/unrelated.txt"), QByteArray("stays"));
        QVERIFY(QFileInfo(to + "/empty/inner").isDir());
        // The old directory is a backup and stays as it was.
        QCOMPARE(readFile(from.path() + "/profiles/p1/state.json"), QByteArray("new state"));
    }

    void missingSourceCopiesNothing() {
        QTemporaryDir base;
        const MigrationResult result = copyDataDirectory(base.path() + "/absent", base.path() + "/new");
        QVERIFY(result.ok);
        QVERIFY(!QFileInfo::exists(base.path() + "/new"));
    }

    void refusesTargetInsideSource() {
        QTemporaryDir from;
        writeFile(from.path() + "/a.txt", "a");
        const MigrationResult result = copyDataDirectory(from.path(), from.path() + "/sub/new");
        QVERIFY(!result.ok);
        QCOMPARE(result.error, QStringLiteral("新目录不能位于当前数据目录之内"));
        QVERIFY(!QFileInfo::exists(from.path() + "/sub"));
    }

    // Two names for one directory: the checks compare the directories the links lead to, before anything
    // is written, and nothing in the source is ever replaced or removed.
    void refusesOverlapThroughLinks_data() {
        QTest::addColumn<QString>("link");   // created in the base directory, pointing at the target given
        QTest::addColumn<QString>("linkTo"); // relative to the base directory
        QTest::addColumn<QString>("to");     // the migration target, relative to the base directory
        QTest::addColumn<QString>("error");
        QTest::newRow("alias of the source") << "alias"
                                             << "d"
                                             << "alias"
                                             << "新目录与当前数据目录是同一个目录";
        QTest::newRow("inside the source through an alias") << "alias"
                                                            << "d"
                                                            << "alias/new"
                                                            << "新目录不能位于当前数据目录之内";
        QTest::newRow("around the source through an alias") << "up"
                                                            << "."
                                                            << "up/d/.."
                                                            << "新目录不能包含当前数据目录";
        QTest::newRow("target folder linked into the source")
            << "t/profiles"
            << "d/profiles"
            << "t"
            << "目标中的链接指向当前数据目录: BASE/t/profiles";
        QTest::newRow("plain target") << "unused"
                                      << "d"
                                      << "t"
                                      << "";
    }
    void refusesOverlapThroughLinks() {
        QFETCH(QString, link);
        QFETCH(QString, linkTo);
        QFETCH(QString, to);
        QFETCH(QString, error);
        QTemporaryDir base;
        const QString from = base.path() + "/d";
        writeFile(from + "/profiles/p.json", "profile");
        QDir().mkpath(QFileInfo(base.path() + "/" + link).absolutePath());
        QVERIFY(QFile::link(base.path() + "/" + linkTo, base.path() + "/" + link));
        const MigrationResult result = copyDataDirectory(from, base.path() + "/" + to);
        QCOMPARE(result.error, error.replace("BASE", base.path()));
        QCOMPARE(result.ok, error.isEmpty());
        QCOMPARE(readFile(from + "/profiles/p.json"), QByteArray("profile"));
    }

    void fileBlockedByDirectory() {
        QTemporaryDir from;
        QTemporaryDir to;
        writeFile(from.path() + "/x", "file");
        writeFile(to.path() + "/x/keep.txt", "a directory where the file should go");
        const MigrationResult result = copyDataDirectory(from.path(), to.path());
        QVERIFY(!result.ok);
        QCOMPARE(result.error, QStringLiteral("无法复制文件: ") + from.path() + "/x");
        QCOMPARE(readFile(to.path() + "/x/keep.txt"), QByteArray("a directory where the file should go"));
    }

    void directoryBlockedByFile() {
        QTemporaryDir from;
        QTemporaryDir to;
        QDir().mkpath(from.path() + "/d");
        writeFile(to.path() + "/d", "a file where the directory should go");
        const MigrationResult result = copyDataDirectory(from.path(), to.path());
        QVERIFY(!result.ok);
        QCOMPARE(result.error, QStringLiteral("无法创建目录: ") + to.path() + "/d");
    }
};

ONDIVO_TEST_MAIN_CORE(DataDirectoryRulesTest)
#include "tst_datadirectoryrules.moc"
