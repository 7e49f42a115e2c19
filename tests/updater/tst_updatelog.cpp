#include "TestMain.h"
#include "updater/UpdateLog.h"

#include <QRegularExpression>
#include <QTemporaryDir>

using namespace updater;

class UpdateLogTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void logLinesAreTimestampedAndAppended();
    void logSkipsUnwritablePath();
};

void UpdateLogTest::logLinesAreTimestampedAndAppended() {
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

void UpdateLogTest::logSkipsUnwritablePath() {
    QTemporaryDir dir;
    // The log path is a directory: nothing can be appended and nothing may throw.
    appendUpdateLog(dir.path(), "x");
    QVERIFY(QFileInfo(dir.path()).isDir());
}

ONDIVO_TEST_MAIN_CORE(UpdateLogTest)
#include "tst_updatelog.moc"
