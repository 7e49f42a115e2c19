#include "TestMain.h"
#include "ZipBuilder.h"
#include "ui/Dialogs.h"
#include "updater/UpdaterEntry.h"
#include "updater/UpdaterWindow.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>

using namespace updater;

namespace {

const QString kBlue =
    "QLabel#statusLabel { background: #eaf2ff; color: #0b57d0; border-radius: 10px; padding: 3px "
    "10px; font-size: 12px; }";
const QString kRed =
    "QLabel#statusLabel { background: #fdecec; color: #b42318; border-radius: 10px; padding: 3px "
    "10px; font-size: 12px; }";
const QString kGreen =
    "QLabel#statusLabel { background: #e8f5ed; color: #137333; border-radius: 10px; padding: 3px "
    "10px; font-size: 12px; }";

QStringList logTexts(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList texts;
    for (const QString& line : QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts))
        texts << line.mid(20); // after "yyyy-MM-dd HH:mm:ss "
    return texts;
}

void writeFile(const QString& path, const QByteArray& data, QFile::Permissions perms = {}) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
    f.close();
    if (perms)
        QFile::setPermissions(path, perms);
}

QStringList readLines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

constexpr QFile::Permissions kExecutable =
    QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup;

} // namespace

class UpdaterWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void initialState();
    void progress_data();
    void progress();
    void progressIsLogged();
    void closeButtonClosesWindow();
    void missingArguments_data();
    void missingArguments();
    void runnerRelaunchesWithFlag();
    void runnerFailures_data();
    void runnerFailures();

private:
    QTemporaryDir dir_;
};

void UpdaterWindowTest::init() {
    ui::testing::reset();
    ui::testing::setScripted(true);
}

void UpdaterWindowTest::initialState() {
    UpdaterOptions options;
    options.logPath = dir_.filePath("init.log");
    UpdaterWindow w(options);
    QCOMPARE(w.windowTitle(), QString("Ondivo 更新"));
    QCOMPARE(w.size(), QSize(560, 300));
    QCOMPARE(w.minimumSize(), QSize(520, 280));
    QVERIFY(!w.windowFlags().testFlag(Qt::WindowContextHelpButtonHint));
    QCOMPARE(w.objectName(), QString("updaterRoot"));
    QCOMPARE(
        w.styleSheet(),
        QString(
            "QWidget#updaterRoot { background: #f4f6f8; color: #202124; font-family: 'Segoe UI', 'Microsoft "
            "YaHei UI'; }QFrame#card { background: #ffffff; border: 1px solid #d9dee5; border-radius: 8px; "
            "}QLabel#brandLabel { color: #5f6368; font-size: 12px; font-weight: 600; }QLabel#titleLabel { "
            "color: #1f2328; font-size: 18px; font-weight: 600; }QLabel#detailLabel { color: #5f6368; "
            "font-size: 12px; }QLabel#statusLabel { background: #eaf2ff; color: #0b57d0; border-radius: "
            "10px; padding: 3px 10px; font-size: 12px; }QLabel#percentLabel { color: #1f2328; font-size: "
            "13px; font-weight: 600; }QProgressBar { border: 1px solid #d9dee5; border-radius: 4px; "
            "background: #eef1f5; height: 10px; text-align: center; }QProgressBar::chunk { background: "
            "#2563eb; border-radius: 4px; }QPushButton { min-width: 88px; min-height: 30px; border: 1px "
            "solid #c9d1dc; border-radius: 5px; background: #ffffff; color: #1f2328; }QPushButton:hover { "
            "background: #f2f5f9; }QPushButton:pressed { background: #e8edf4; }"));
    QVERIFY(w.findChild<QFrame*>("card"));
    QCOMPARE(w.findChild<QLabel*>("brandLabel")->text(), QString("ONDIVO UPDATER"));
    QCOMPARE(w.statusText(), QString("准备中"));
    QCOMPARE(w.titleText(), QString("正在准备更新..."));
    QCOMPARE(w.detailText(), QString("请稍候，Ondivo 正在准备更新环境。"));
    QCOMPARE(w.stepText(), QString("当前进度"));
    QCOMPARE(w.percentText(), QString("0%"));
    QProgressBar* bar = w.findChild<QProgressBar*>();
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 1000);
    QCOMPARE(bar->value(), 0);
    QVERIFY(!bar->isTextVisible());
    QCOMPARE(w.closeButton()->text(), QString("关闭"));
    QVERIFY(!w.closeButtonVisible());
    const QList<QLabel*> details = w.findChildren<QLabel*>("detailLabel");
    QCOMPARE(details.size(), 3); // detail, step and the outcome note shown after a failure
    QVERIFY(w.findChild<QLabel*>("titleLabel")->wordWrap());
}

void UpdaterWindowTest::progress_data() {
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("permille");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("percent");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("style");
    QTest::newRow("manifest") << "读取更新清单..." << 40 << 40 << "4%"
                              << "更新中" << kBlue;
    QTest::newRow("rounds down") << "正在下载更新包..." << 659 << 659 << "65%"
                                 << "更新中" << kBlue;
    QTest::newRow("just below done") << "安装新版本..." << 999 << 999 << "99%"
                                     << "更新中" << kBlue;
    QTest::newRow("done") << "更新完成" << 1000 << 1000 << "100%"
                          << "完成" << kGreen;
    QTest::newRow("above 1000") << "更新完成" << 1500 << 1000 << "100%"
                                << "完成" << kGreen;
    QTest::newRow("negative") << "正在下载更新包..." << -20 << 0 << "0%"
                              << "更新中" << kBlue;
    QTest::newRow("failure at start") << "更新失败" << 0 << 0 << "0%"
                                      << "失败" << kRed;
    QTest::newRow("failure whatever permille") << "更新失败" << 1000 << 1000 << "100%"
                                               << "失败" << kRed;
    QTest::newRow("failed inside a title") << "下载失败了" << 500 << 500 << "50%"
                                           << "失败" << kRed;
}

void UpdaterWindowTest::progress() {
    QFETCH(QString, title);
    QFETCH(int, permille);
    UpdaterOptions options;
    options.logPath = dir_.filePath("progress.log");
    UpdaterWindow w(options);
    w.setProgress(title, "detail text", permille);
    QCOMPARE(w.titleText(), title);
    QCOMPARE(w.stepText(), title);
    QCOMPARE(w.detailText(), QString("detail text"));
    QTEST(w.progressValue(), "value");
    QTEST(w.percentText(), "percent");
    QTEST(w.statusText(), "status");
    QTEST(w.statusStyleSheet(), "style");
}

void UpdaterWindowTest::progressIsLogged() {
    UpdaterOptions options;
    options.logPath = dir_.filePath("sub/logged.log");
    UpdaterWindow w(options);
    w.setProgress("校验更新包...", "正在计算 SHA256", 650);
    w.setProgress("更新失败", "SHA256 校验失败", 650);
    QCOMPARE(logTexts(options.logPath),
             (QStringList{"校验更新包... 正在计算 SHA256", "更新失败 SHA256 校验失败"}));
}

void UpdaterWindowTest::closeButtonClosesWindow() {
    UpdaterOptions options;
    options.logPath = dir_.filePath("close.log");
    UpdaterWindow w(options);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.closeButton()->show();
    QTest::mouseClick(w.closeButton(), Qt::LeftButton);
    QTRY_VERIFY(!w.isVisible());
}

void UpdaterWindowTest::missingArguments_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("nothing") << QStringList{};
    QTest::newRow("no target") << QStringList{"--manifest-url", "http://127.0.0.1:9/m"};
    QTest::newRow("no manifest") << QStringList{"--target", "/opt/ondivo", "--from-temp"};
    QTest::newRow("target without value")
        << QStringList{"--manifest-url", "http://127.0.0.1:9/m", "--target"};
}

void UpdaterWindowTest::missingArguments() {
    QFETCH(QStringList, args);
    QCOMPARE(runUpdaterProgram(args, dir_.filePath("none")), kExitMissingArguments);
    QCOMPARE(ui::testing::shown().size(), 1);
    QCOMPARE(ui::testing::shown().at(0).kind, QString("critical"));
    QCOMPARE(ui::testing::shown().at(0).title, QString("Ondivo 更新"));
    QCOMPARE(ui::testing::shown().at(0).text, QString("缺少更新参数。"));
}

void UpdaterWindowTest::runnerRelaunchesWithFlag() {
    QTemporaryDir dir;
    const QString record = dir.filePath("record.txt");
    const QString program = dir.filePath("install/OndivoUpdater");
    writeFile(program, standInProgram(record, "runner"), kExecutable);
    const QString work = dir.filePath("work dir");
    const QStringList args{"--manifest-url", "http://127.0.0.1:9/m",
                           "--target",       dir.filePath("install"),
                           "--pid",          "0",
                           "--work-dir",     work};

    QCOMPARE(runUpdaterProgram(args, program), kExitOk);
    QVERIFY(ui::testing::shown().isEmpty());
    QTRY_VERIFY(readLines(record).contains("end"));
    const QString runnerDir = work + "/runner";
    QCOMPARE(readLines(record), (QStringList{runnerDir} + args + QStringList{"--from-temp", "end"}));
    QVERIFY(QFileInfo(runnerDir + "/" + QString::fromUtf8(kUpdaterProgramName)).isExecutable());
}

void UpdaterWindowTest::runnerFailures_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("message");
    QTest::newRow("program missing") << "missing"
                                     << "无法启动临时更新器。";
    QTest::newRow("runner not startable") << "not executable"
                                          << "无法启动临时更新器。";
    QTest::newRow("runtime copy") << "library blocked"
                                  << "无法准备临时更新器运行环境。\n复制运行库失败: INSTALL/libcore.so.1";
}

void UpdaterWindowTest::runnerFailures() {
    QFETCH(QString, setup);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString install = dir.filePath("install");
    const QString program = install + "/OndivoUpdater";
    const QString record = dir.filePath("record.txt");
    if (setup != "missing")
        writeFile(program, standInProgram(record, "runner"),
                  setup == "not executable" ? QFile::Permissions(QFile::ReadOwner | QFile::WriteOwner)
                                            : kExecutable);
    writeFile(install + "/libcore.so.1", "lib");
    const QString work = dir.filePath("work");
    if (setup == "library blocked")
        writeFile(work + "/runner/libcore.so.1/keep", "a folder where the library belongs");
    const QStringList args{"--manifest-url", "http://127.0.0.1:9/m", "--target", install, "--work-dir", work};

    QCOMPARE(runUpdaterProgram(args, program), kExitRunnerFailed);
    QCOMPARE(ui::testing::shown().size(), 1);
    QCOMPARE(ui::testing::shown().at(0).kind, QString("critical"));
    QCOMPARE(ui::testing::shown().at(0).title, QString("Ondivo 更新"));
    QCOMPARE(ui::testing::shown().at(0).text, QString(message).replace("INSTALL", install));
    QTest::qWait(200);
    QVERIFY(!QFileInfo::exists(record));
}

ONDIVO_TEST_MAIN_GUI(UpdaterWindowTest)
#include "tst_updaterwindow.moc"
