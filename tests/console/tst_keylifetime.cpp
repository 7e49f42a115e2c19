#include "PrivateSshd.h"

#include "console/KeyFolder.h"

#include "TestMain.h"

#include <QDir>
#include <QFile>

#include <csignal>

namespace {

// A process that is still there (a zombie is not: it only waits for its parent to collect it).
bool isRunning(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    return pid > 0 && stat.open(QIODevice::ReadOnly) && !stat.readAll().contains(") Z ");
}

QStringList keyFolders(const QString& parent) {
    return QDir(parent).entryList({"ondivo-ssh-*"}, QDir::Dirs);
}

} // namespace

// Neither the Node's key nor ssh outlives the client, however it ends; what a killed client left behind
// goes at the next start.
class KeyLifetimeTest : public QObject {
    Q_OBJECT

    PrivateSshd sshd_;
    QString sshdMissing_;

private Q_SLOTS:
    void initTestCase() { sshdMissing_ = sshd_.start(); }

    void endedClient_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGHUP") << int(SIGHUP);
        QTest::newRow("SIGKILL") << int(SIGKILL);
    }
    void endedClient() {
        QFETCH(int, signal);
        if (!sshdMissing_.isEmpty())
            QSKIP(qPrintable(sshdMissing_));
        QTemporaryDir temp;
        // An ssh that never gets to authenticate, so the key is still on disk when the client ends.
        QFile fakeSsh(temp.path() + "/ssh");
        QVERIFY(fakeSsh.open(QIODevice::WriteOnly));
        fakeSsh.write(QString("#!/bin/sh\necho $$ > %1/ssh.pid\nexec sleep 300\n").arg(temp.path()).toUtf8());
        fakeSsh.close();
        fakeSsh.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        const QString tmp = temp.path() + "/tmp";
        QVERIFY(QDir().mkpath(tmp));

        QProcess client;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TMPDIR", tmp);
        client.setProcessEnvironment(environment);
        client.start(QCoreApplication::applicationDirPath() + "/terminal_child",
                     {fakeSsh.fileName(), QString::number(sshd_.port), sshd_.hostFingerprint,
                      sshd_.dir.path() + "/client"});
        QVERIFY(QTest::qWaitFor([&] { return QFile::exists(temp.path() + "/ssh.pid"); }, 20000));
        QFile pidFile(temp.path() + "/ssh.pid");
        QVERIFY(pidFile.open(QIODevice::ReadOnly));
        const qint64 sshPid = pidFile.readAll().trimmed().toLongLong();
        QVERIFY(isRunning(sshPid));
        QVERIFY(QFile::exists(tmp + "/" + keyFolders(tmp).value(0) + "/child.key"));

        ::kill(pid_t(client.processId()), signal);
        QVERIFY(client.waitForFinished(10000));
        QVERIFY(QTest::qWaitFor([&] { return !isRunning(sshPid); }, 5000));
        if (signal != SIGKILL) {
            QCOMPARE(client.exitStatus(), QProcess::NormalExit);
            QVERIFY(keyFolders(tmp).isEmpty());
            return;
        }
        // Nothing in the process could act on SIGKILL: the next start removes what it left.
        QCOMPARE(console::sweepStaleKeyFolders(tmp), 1);
        QVERIFY(keyFolders(tmp).isEmpty());
    }

    void sweepRemovesOnlyStaleFolders_data() {
        QTest::addColumn<QString>("name"); // %D: a process that has ended, %O: this process
        QTest::addColumn<bool>("isLink");
        QTest::addColumn<bool>("removed");
        QTest::newRow("owner gone") << "ondivo-ssh-%D-a1B2c3" << false << true;
        QTest::newRow("owner running") << "ondivo-ssh-%O-a1B2c3" << false << false;
        QTest::newRow("init") << "ondivo-ssh-1-a1B2c3" << false << false;
        QTest::newRow("not a key folder") << "ondivo-ssh-%D" << false << false;
        QTest::newRow("someone else's name") << "other-%D-a1B2c3" << false << false;
        QTest::newRow("link named like one") << "ondivo-ssh-%D-a1B2c3" << true << false;
    }
    void sweepRemovesOnlyStaleFolders() {
        QFETCH(QString, name);
        QFETCH(bool, isLink);
        QFETCH(bool, removed);
        QProcess ended;
        ended.start("sleep", {"0.1"});
        QVERIFY(ended.waitForStarted());
        const qint64 endedPid = ended.processId();
        QVERIFY(ended.waitForFinished());
        name.replace("%D", QString::number(endedPid))
            .replace("%O", QString::number(QCoreApplication::applicationPid()));
        QTemporaryDir temp;
        const QString target = temp.path() + "/target";
        QVERIFY(QDir().mkpath(target));
        QFile(target + "/k.key").open(QIODevice::WriteOnly);
        QVERIFY(isLink ? QFile::link(target, temp.path() + "/" + name)
                       : QDir().mkpath(temp.path() + "/" + name + "/sub"));

        QCOMPARE(console::sweepStaleKeyFolders(temp.path()), removed ? 1 : 0);
        QCOMPARE(QFileInfo::exists(temp.path() + "/" + name), !removed);
        QVERIFY(QFile::exists(target + "/k.key"));
    }
};

ONDIVO_TEST_MAIN_CORE(KeyLifetimeTest)
#include "tst_keylifetime.moc"
