// Screens of the files page and the upload dialog for a visual check (not a test): the video and audio
// panes mid-upload, a video upload after a failure and after "继续". Run under a display (xvfb-run)
// with an output directory.
#include "FakeShell.h"
#include "ScreensMain.h"
#include "Simulator.h"
#include "files/FilesPage.h"
#include "files/FilesTiming.h"
#include "files/UploadDialog.h"
#include "files/VideoUploadPane.h"
#include "ui/Dialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QTest>

namespace {

QString outDir;

void shoot(QWidget& widget, const char* name) {
    QTest::qWait(150);
    widget.grab().save(outDir + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png"));
}

void waitFor(const std::function<bool()>& done, int ms = 20000) {
    for (int waited = 0; !done() && waited < ms; waited += 20)
        QTest::qWait(20);
}

QString sparseFile(const QString& path, qint64 size) {
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.resize(size);
    return path;
}

} // namespace

static int drawScreens(const QString& outDirectory) {
    outDir = outDirectory;
    ui::testing::setScripted(true); // boxes answer at once and are listed instead of blocking

    sim::Simulator simulator;
    simulator.start();
    sim::AgentOptions options;
    options.name = QStringLiteral("hk-1");
    Node node = sim::Simulator::agentNode(simulator.startAgent(options), QStringLiteral("hk-1"),
                                          QStringLiteral("香港 01"));
    node.id = QStringLiteral("n1");
    simulator.addVideo(QStringLiteral("hk-1"), QStringLiteral("开场/宣传片.mp4"), 734003200);
    simulator.addVideo(QStringLiteral("hk-1"), QStringLiteral("直播素材.mkv"), 1536);
    simulator.addAudioFile(QStringLiteral("hk-1"), QStringLiteral("轻音乐"), QStringLiteral("a.mp3"), 4096);
    simulator.setSparseUploads(QStringLiteral("hk-1"), true);

    testsupport::FakeShell shell;
    shell.setNodes({node});
    FilesPage page(shell);
    shell.host(&page, true);
    page.load(true);
    shoot(shell.window(), "files-page");

    QTemporaryDir dir;
    files::timing.firstRetryMs = 200;
    files::timing.secondRetryMs = 300;
    files::timing.thirdRetryMs = 400;
    sim::Fault slow;
    slow.delayMs = 250;
    simulator.setFault(QStringLiteral("hk-1"), QStringLiteral("POST"), QStringLiteral("/files/upload/chunk"),
                       slow);

    {
        UploadDialog dialog(shell.nodes(), node.id);
        dialog.show();
        ui::testing::queuePath(sparseFile(dir.filePath(QStringLiteral("发布会回放.mp4")), 300 << 20));
        dialog.pane()->chooseVideo();
        dialog.pane()->startUpload();
        QTest::qWait(1600);
        shoot(dialog, "video-uploading");

        sim::Fault refuse;
        refuse.status = 500;
        refuse.errorText = QStringLiteral("磁盘空间不足");
        simulator.setFault(QStringLiteral("hk-1"), QStringLiteral("POST"),
                           QStringLiteral("/files/upload/chunk"), refuse);
        waitFor([&] { return dialog.pane()->statusLabel()->text() == QStringLiteral("失败"); });
        shoot(dialog, "video-failed");

        simulator.setFault(QStringLiteral("hk-1"), QStringLiteral("POST"),
                           QStringLiteral("/files/upload/chunk"), slow);
        dialog.pane()->resumeUpload();
        QTest::qWait(1200);
        shoot(dialog, "video-resumed");
        ui::testing::queueAnswer(true);
        dialog.reject();
    }
    {
        UploadDialog dialog(shell.nodes(), node.id);
        dialog.typeCombo()->setCurrentIndex(1);
        dialog.show();
        QStringList names{QStringLiteral("雨声.mp3"),  QStringLiteral("钢琴曲.flac"),
                          QStringLiteral("夜曲.wav"),  QStringLiteral("海浪.ogg"),
                          QStringLiteral("风铃.m4a"),  QStringLiteral("鸟鸣.mp3"),
                          QStringLiteral("readme.txt")};
        QStringList paths;
        for (const QString& name : names)
            paths << sparseFile(dir.filePath(name), 9 << 20);
        ui::testing::queuePaths(paths);
        dialog.pane()->chooseAudioFiles();
        dialog.pane()->folderCombo()->setEditText(QStringLiteral("轻音乐"));
        dialog.pane()->startUpload();
        QTest::qWait(900);
        shoot(dialog, "audio-uploading");
        waitFor([&] { return !dialog.pane()->uploadActive(); }, 60000);
        shoot(dialog, "audio-done");
    }
    return 0;
}

int main(int argc, char** argv) {
    return screens::run(argc, argv, drawScreens);
}
