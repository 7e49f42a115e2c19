#include "TestMain.h"
#include "UpdateScenario.h"
#include "ZipBuilder.h"
#include "platform/ArchiveExtract.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

class ArchiveExtractTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void entryNames_data();
    void entryNames();
    void extractsTreeWithModes();
    void refusesEscapingArchives_data();
    void refusesEscapingArchives();
    void refusesDamagedArchive();
    void limitsAndModes_data();
    void limitsAndModes();
};

void ArchiveExtractTest::entryNames_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("safe");
    QTest::newRow("plain") << "Ondivo" << true;
    QTest::newRow("nested") << "plugins/platforms/libq.so" << true;
    QTest::newRow("directory") << "plugins/" << true;
    QTest::newRow("dot segment") << "./Ondivo" << true;
    QTest::newRow("dots inside a name") << "a..b/c...d" << true;
    QTest::newRow("parent") << "../evil" << false;
    QTest::newRow("parent in the middle") << "a/../../evil" << false;
    QTest::newRow("trailing parent") << "a/.." << false;
    QTest::newRow("absolute") << "/etc/evil" << false;
    QTest::newRow("backslash parent") << "..\\evil" << false;
    QTest::newRow("backslash absolute") << "\\evil" << false;
    QTest::newRow("drive letter") << "C:/Windows/evil" << false;
    QTest::newRow("drive letter relative") << "c:evil" << false;
    QTest::newRow("empty") << "" << false;
}

void ArchiveExtractTest::entryNames() {
    QFETCH(QString, name);
    QTEST(platform::isSafeEntryName(name), "safe");
}

void ArchiveExtractTest::extractsTreeWithModes() {
    QTemporaryDir dir;
    const QString zip = dir.filePath("p.zip");
    QVERIFY(writeZip(zip, {{"Ondivo", "#!/bin/sh\n", 0755},
                           {"plugins/", {}, 0755, {}, true},
                           {"plugins/platforms/libq.so", QByteArray(70000, 'q'), 0644},
                           {"docs\\readme.txt", "中文说明", 0644},
                           {"empty.txt", {}, 0644}}));
    const QString out = dir.filePath("extract");
    QDir().mkpath(out);
    QString error;
    QVERIFY2(platform::extractZipArchive(zip, out, &error), qPrintable(error));
    QVERIFY(QFileInfo(out + "/Ondivo").isExecutable());
    QFile lib(out + "/plugins/platforms/libq.so");
    QVERIFY(lib.open(QIODevice::ReadOnly));
    QCOMPARE(lib.readAll(), QByteArray(70000, 'q'));
    QFile doc(out + "/docs/readme.txt");
    QVERIFY(doc.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(doc.readAll()), QString("中文说明"));
    QVERIFY(QFileInfo(out + "/empty.txt").isFile());
    QVERIFY(!QFileInfo(out + "/plugins/platforms/libq.so").isExecutable());
}

void ArchiveExtractTest::refusesEscapingArchives_data() {
    QTest::addColumn<QList<ZipEntry>>("entries");
    QTest::addColumn<QString>("escapee"); // relative to the folder that holds the extract folder
    QTest::newRow("dot-dot") << QList<ZipEntry>{{"Ondivo", "x"}, {"../evil", "pwned"}} << "evil";
    QTest::newRow("nested dot-dot") << QList<ZipEntry>{{"a/../../evil", "pwned"}} << "evil";
    QTest::newRow("backslash dot-dot") << QList<ZipEntry>{{"..\\evil", "pwned"}} << "evil";
    QTest::newRow("absolute") << QList<ZipEntry>{{"Ondivo", "x"}, {"ABSOLUTE/evil", "pwned"}} << "abs/evil";
    QTest::newRow("symlink out") << QList<ZipEntry>{{"link", {}, 0777, "../"}, {"link/evil", "pwned"}}
                                 << "evil";
    QTest::newRow("symlink to absolute")
        << QList<ZipEntry>{{"Ondivo", "x"}, {"etc", {}, 0777, "ABSOLUTE"}} << "abs";
}

void ArchiveExtractTest::refusesEscapingArchives() {
    QFETCH(QList<ZipEntry>, entries);
    QFETCH(QString, escapee);
    QTemporaryDir dir;
    const QString absolute = dir.filePath("abs");
    for (ZipEntry& e : entries) {
        e.name.replace("ABSOLUTE", absolute);
        e.symlinkTarget.replace("ABSOLUTE", absolute);
        e.hardlinkTarget.replace("ABSOLUTE", absolute);
    }
    const QString zip = dir.filePath("p.zip");
    QVERIFY(writeZip(zip, entries));
    const QString out = dir.filePath("extract");
    QDir().mkpath(out);
    QString error;
    QVERIFY(!platform::extractZipArchive(zip, out, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFileInfo::exists(dir.filePath(escapee)));
    QVERIFY(!QFileInfo(out + "/link").isSymLink());
    QVERIFY(!QFileInfo(out + "/etc").isSymLink());
}

void ArchiveExtractTest::refusesDamagedArchive() {
    QTemporaryDir dir;
    QByteArray noise(20000, Qt::Uninitialized);
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char(QRandomGenerator::global()->bounded(256));
    QByteArray zip = buildZip({{"Ondivo", noise}});
    zip.truncate(zip.size() / 2);
    QFile f(dir.filePath("half.zip"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(zip);
    f.close();
    QDir().mkpath(dir.filePath("x"));
    QString error;
    QVERIFY(!platform::extractZipArchive(dir.filePath("half.zip"), dir.filePath("x"), &error));
    QVERIFY(!platform::extractZipArchive(dir.filePath("missing.zip"), dir.filePath("x"), &error));
    QFile text(dir.filePath("text.zip"));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("this is not an archive at all");
    text.close();
    QVERIFY(!platform::extractZipArchive(dir.filePath("text.zip"), dir.filePath("x"), &error));
}

// Past the entry or byte limit the extraction fails; modes that would lock the owner out are widened.
void ArchiveExtractTest::limitsAndModes_data() {
    QTest::addColumn<QList<ZipEntry>>("entries");
    QTest::addColumn<bool>("extracted");
    QTest::addColumn<QString>("path"); // checked for the owner bits when extracted
    QTest::addColumn<int>("ownerBits");
    const QByteArray quarter(256 * 1024, 'z');
    QTest::newRow("at both limits") << QList<ZipEntry>{{"a", quarter},
                                                       {"b", quarter},
                                                       {"c", quarter},
                                                       {"d", quarter}}
                                    << true << "a" << 0600;
    QTest::newRow("one entry too many")
        << QList<ZipEntry>{{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}, {"e", "5"}} << false << "" << 0;
    QTest::newRow("one byte too many")
        << QList<ZipEntry>{{"a", quarter}, {"b", quarter}, {"c", quarter}, {"d", quarter + "!"}} << false
        << "" << 0;
    QTest::newRow("directory with mode 0")
        << QList<ZipEntry>{{"locked/", {}, 0, {}, true}, {"locked/f", "x", 0644}} << true << "locked" << 0700;
    QTest::newRow("file with mode 0") << QList<ZipEntry>{{"f", "x", 0}} << true << "f" << 0600;
}

void ArchiveExtractTest::limitsAndModes() {
    QFETCH(QList<ZipEntry>, entries);
    QFETCH(bool, extracted);
    QFETCH(QString, path);
    QFETCH(int, ownerBits);
    QTemporaryDir dir;
    const QString zip = dir.filePath("p.zip");
    QVERIFY(writeZip(zip, entries));
    const QString out = dir.filePath("extract");
    QDir().mkpath(out);
    QString error;
    QCOMPARE(platform::extractZipArchive(zip, out, &error, {1024 * 1024, 4}), extracted);
    if (!extracted) {
        QVERIFY(!error.isEmpty());
        return;
    }
    QCOMPARE(permissionBits(out + "/" + path) & ownerBits, ownerBits);
}

ONDIVO_TEST_MAIN_CORE(ArchiveExtractTest)
#include "tst_archiveextract.moc"
