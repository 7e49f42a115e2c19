#include "TestMain.h"
#include "updater/UpdaterOptions.h"

using namespace updater;

class UpdaterOptionsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parsesOptions_data();
    void parsesOptions();
    void processId_data();
    void processId();
    void defaultsNameTheProgram();
};

void UpdaterOptionsTest::parsesOptions_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("manifest");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("exe");
    QTest::addColumn<uint>("pid");
    QTest::addColumn<QString>("workDir");
    QTest::addColumn<QString>("log");
    QTest::addColumn<bool>("fromTemp");

    const QString defaultExe = QString::fromUtf8(kDefaultClientProgram);
    QTest::newRow("all options") << QStringList{"--manifest-url", "http://h/m.json",
                                                "--target",       "/opt/a/../ondivo/",
                                                "--exe",          "Ondivo",
                                                "--pid",          "4242",
                                                "--work-dir",     "/w/./u//",
                                                "--log",          "/l/u.log"}
                                 << "http://h/m.json"
                                 << "/opt/ondivo"
                                 << "Ondivo" << 4242u << "/w/u"
                                 << "/l/u.log" << false;
    QTest::newRow("first occurrence counts")
        << QStringList{"--target",       "/first", "--target",       "/second",
                       "--manifest-url", "u1",     "--manifest-url", "u2"}
        << "u1"
        << "/first" << defaultExe << 0u << defaultWorkDirectory() << defaultLogPath() << false;
    QTest::newRow("exe last without value keeps default")
        << QStringList{"--manifest-url", "u", "--target", "/t", "--exe"} << "u"
        << "/t" << defaultExe << 0u << defaultWorkDirectory() << defaultLogPath() << false;
    QTest::newRow("from-temp anywhere, exact")
        << QStringList{"--from-temp", "--target", "/t", "--FROM-TEMP"} << ""
        << "/t" << defaultExe << 0u << defaultWorkDirectory() << defaultLogPath() << true;
    QTest::newRow("from-temp case differs")
        << QStringList{"--From-Temp"} << ""
        << "" << defaultExe << 0u << defaultWorkDirectory() << defaultLogPath() << false;
    QTest::newRow("value that looks like an option is taken")
        << QStringList{"--target", "--exe", "x"} << ""
        << "--exe"
        << "x" << 0u << defaultWorkDirectory() << defaultLogPath() << false;
    QTest::newRow("nothing") << QStringList{} << ""
                             << "" << defaultExe << 0u << defaultWorkDirectory() << defaultLogPath() << false;
}

void UpdaterOptionsTest::parsesOptions() {
    QFETCH(QStringList, args);
    const UpdaterOptions o = parseUpdaterOptions(args);
    QTEST(o.manifestUrl, "manifest");
    QTEST(o.target, "target");
    QTEST(o.exe, "exe");
    QTEST(uint(o.pid), "pid");
    QTEST(o.workDir, "workDir");
    QTEST(o.logPath, "log");
    QTEST(o.fromTemp, "fromTemp");
}

void UpdaterOptionsTest::processId_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<uint>("pid");
    QTest::newRow("plain") << "1234" << 1234u;
    QTest::newRow("largest") << "4294967295" << 4294967295u;
    QTest::newRow("one above") << "4294967296" << 0u;
    QTest::newRow("far above") << "99999999999999999999" << 0u;
    QTest::newRow("negative") << "-5" << 0u;
    QTest::newRow("not a number") << "12ab" << 0u;
    QTest::newRow("hex") << "0x10" << 0u;
    QTest::newRow("empty") << "" << 0u;
}

void UpdaterOptionsTest::processId() {
    QFETCH(QString, text);
    QTEST(uint(parseProcessId(text)), "pid");
}

void UpdaterOptionsTest::defaultsNameTheProgram() {
    // No organisation or application name is set: the folders carry the program's name.
    const QString program = QCoreApplication::applicationName();
    QVERIFY(defaultWorkDirectory().endsWith(program + "/updates"));
    QVERIFY(defaultLogPath().endsWith(program + "/update.log"));
    QVERIFY(!defaultWorkDirectory().startsWith(QDir::currentPath()));
}

ONDIVO_TEST_MAIN_CORE(UpdaterOptionsTest)
#include "tst_updateroptions.moc"
