#include "platform/PrivateFile.h"

#include "TestMain.h"

#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

// A secret file is the current user's alone from its first byte, whatever was at its path before.
class PrivateFileTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void writesOnlyAPrivateFile_data() {
        QTest::addColumn<QString>("before"); // what is at the path: "", "file" (mode 0666), "link" to a file
        QTest::addColumn<QString>("name");
        QTest::newRow("new file") << ""
                                  << "secret";
        QTest::newRow("file readable by all replaced") << "file"
                                                       << "secret";
        QTest::newRow("planted link replaced, its target untouched") << "link"
                                                                     << "secret";
        QTest::newRow("missing folder: nothing written") << ""
                                                         << "missing/secret";
    }
    void writesOnlyAPrivateFile() {
        QFETCH(QString, before);
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QString path = dir.path() + "/" + name, victim = dir.path() + "/victim";
        QFile old(before == "link" ? victim : path);
        QVERIFY(before.isEmpty() || (old.open(QIODevice::WriteOnly) && old.write("old") == 3));
        old.close();
        QVERIFY(before.isEmpty() || ::chmod(QFile::encodeName(old.fileName()), 0666) == 0);
        QVERIFY(before != "link" || QFile::link(victim, path));
        const mode_t mask = ::umask(0); // the protection must not depend on the caller's umask
        QString error;
        const bool written = platform::writePrivateFile(path, "KEY", &error);
        ::umask(mask);

        QCOMPARE(written, !name.contains('/'));
        QCOMPARE(error.isEmpty(), written);
        struct stat info = {};
        QCOMPARE(::lstat(QFile::encodeName(path), &info) == 0, written);
        QVERIFY(!written || (S_ISREG(info.st_mode) && (info.st_mode & 07777) == 0600));
        QFile file(path), target(victim);
        QCOMPARE(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray(), written ? "KEY" : "");
        QCOMPARE(target.open(QIODevice::ReadOnly) ? target.readAll() : QByteArray(),
                 before == "link" ? "old" : "");
    }
};

ONDIVO_TEST_MAIN_CORE(PrivateFileTest)
#include "tst_privatefile.moc"
