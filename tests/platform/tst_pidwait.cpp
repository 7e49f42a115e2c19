#include "TestMain.h"
#include "platform/PidWait.h"

#include <QProcess>

using platform::PidWaitResult;

class PidWaitTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void noProcess_data();
    void noProcess();
    void waitsForExit();
    void timesOutWhileRunning();
};

void PidWaitTest::noProcess_data() {
    QTest::addColumn<quint32>("pid");
    QTest::newRow("zero") << quint32(0);
    QTest::newRow("beyond pid range") << quint32(4294967295u);
    QTest::newRow("unused id") << quint32(4194303); // above the default pid_max on most systems
}

void PidWaitTest::noProcess() {
    QFETCH(quint32, pid);
    QCOMPARE(platform::waitForProcessExit(pid, 5000), PidWaitResult::NotFound);
}

void PidWaitTest::waitsForExit() {
    QProcess child;
    child.start("sleep", {"0.3"});
    QVERIFY(child.waitForStarted());
    QCOMPARE(platform::waitForProcessExit(quint32(child.processId()), 20000), PidWaitResult::Exited);
    QVERIFY(child.waitForFinished(5000));
}

void PidWaitTest::timesOutWhileRunning() {
    QProcess child;
    child.start("sleep", {"30"});
    QVERIFY(child.waitForStarted());
    QCOMPARE(platform::waitForProcessExit(quint32(child.processId()), 200), PidWaitResult::TimedOut);
    QCOMPARE(child.state(), QProcess::Running);
    child.kill();
    child.waitForFinished(5000);
}

ONDIVO_TEST_MAIN_CORE(PidWaitTest)
#include "tst_pidwait.moc"
