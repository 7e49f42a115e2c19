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
        QTest::addColumn<QString>("before"); // "", "open file", "link", "no folder"
        QTest::addColumn<bool>("written");
        QTest::newRow("new file") << "" << true;
        QTest::newRow("file readable by all replaced") << "open file" << true;
        QTest::newRow("planted link replaced, its target untouched") << "link" << true;
        QTest::newRow("missing folder") << "no folder" << false;
    }
    void writesOnlyAPrivateFile() {
        QFETCH(QString, before);
        QFETCH(bool, written);
        QTemporaryDir dir;
        const QString victim = dir.path() + "/victim";
        QString path = dir.path() + "/secret";
        QFile old(before == "link" ? victim : path);
        if (!before.isEmpty() && before != "no folder") {
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("old");
            old.close();
            QVERIFY(::chmod(QFile::encodeName(old.fileName()).constData(), 0666) == 0);
        }
        if (before == "link")
            QVERIFY(QFile::link(victim, path));
        if (before == "no folder")
            path = dir.path() + "/missing/secret";
        const mode_t mask = ::umask(0); // the protection must not depend on the caller's umask
        QString error;
        const bool ok = platform::writePrivateFile(path, "KEY", &error);
        ::umask(mask);

        QCOMPARE(ok, written);
        QCOMPARE(error.isEmpty(), written);
        struct stat info = {};
        QCOMPARE(::lstat(QFile::encodeName(path).constData(), &info) == 0, written);
        if (written) {
            QVERIFY(S_ISREG(info.st_mode));
            QCOMPARE(info.st_mode & 07777, mode_t(0600));
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray("KEY"));
        }
        if (before == "link") {
            QFile target(victim);
            QVERIFY(target.open(QIODevice::ReadOnly));
            QCOMPARE(target.readAll(), QByteArray("old"));
        }
    }
};

ONDIVO_TEST_MAIN_CORE(PrivateFileTest)
#include "tst_privatefile.moc"
