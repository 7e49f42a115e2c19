// Renders the live page against simulated Agents for a visual check: rooms in every state, one Node
// collapsed-free and one without rooms, the editor in each mode and the log dialog. Run under a display
// (xvfb-run) with an output directory.
#include "FakeShell.h"
#include "ScreensMain.h"
#include "Simulator.h"

#include "streaming/LiveLogDialog.h"
#include "streaming/LivePage.h"
#include "streaming/LiveRoomEditor.h"
#include "ui/Dialogs.h"
#include "widgets/PercentTableWidget.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QMenu>
#include <QScreen>
#include <QTabWidget>
#include <QTest>

namespace {

void grabDialog(QDialog& dialog, const QString& path) {
    dialog.show();
    QTest::qWait(300);
    dialog.grab().save(path);
}

} // namespace

static int drawScreens(const QString& outDir) {

    sim::Simulator simulator;
    simulator.start();
    QList<Node> nodes;
    for (const auto& [name, label] :
         {std::pair{"hk-1", "香港 01"}, {"tokyo-1", "东京 01"}, {"sg-1", "新加坡 01"}}) {
        sim::AgentOptions options;
        options.name = QString::fromUtf8(name);
        Node node =
            sim::Simulator::agentNode(simulator.startAgent(options), options.name, QString::fromUtf8(label));
        node.id = QStringLiteral("node-") + options.name;
        nodes.append(node);
        simulator.addVideo(options.name, QStringLiteral("promo/开场片头.mp4"), 48 * 1024 * 1024);
        simulator.addVideo(options.name, QStringLiteral("loop-1080p.mp4"), 1536 * 1024 * 1024LL);
        simulator.addAudioFile(options.name, QStringLiteral("轻音乐"), QStringLiteral("a.mp3"),
                               4 * 1024 * 1024);
    }
    simulator.addRtmpRoom(QStringLiteral("tokyo-1"), QStringLiteral("东京主推"));
    const QString push = QStringLiteral("rtmp://live-push.example.com/live/");
    auto room = [&](const char* agent, const char* name, const QJsonObject& extra) {
        QJsonObject fields{{"name", QString::fromUtf8(name)},
                           {"videoPath", "loop-1080p.mp4"},
                           {"pushUrl", QString(push + QString::fromUtf8(agent))}};
        for (auto it = extra.begin(); it != extra.end(); ++it)
            fields.insert(it.key(), it.value());
        return simulator.addLiveRoom(QString::fromUtf8(agent), fields).value("id").toString();
    };
    room("hk-1", "香港主直播间", {{"status", "streaming"}});
    const QString retrying = room("hk-1", "备用直播间", {{"status", "streaming"}});
    room("hk-1", "音乐直播",
         {{"streamMode", "video_random_audio_to_rtmp"},
          {"audioFolder", "轻音乐"},
          {"videoPath", "promo/开场片头.mp4"}});
    const QString failing = room("hk-1", "夜间回放", {{"status", "streaming"}});
    room("tokyo-1", "东京转播",
         {{"streamMode", "pull_stream_to_rtmp"},
          {"videoPath", ""},
          {"sourceUrl", "srt://127.0.0.1:8890?streamid=read:live/abc"}});
    room("tokyo-1", "新房间", {{"videoPath", ""}, {"pushUrl", ""}});
    room("tokyo-1", "已停播", {{"status", "stopped"}});
    simulator.simulatePushRetry(QStringLiteral("hk-1"), retrying, 8);
    simulator.simulatePushFailure(QStringLiteral("hk-1"), failing,
                                  QStringLiteral("Connection to tcp://push:1935 failed"));

    testsupport::FakeShell shell;
    auto* page = new LivePage(shell);
    shell.host(page, true);
    shell.window().resize(1280, 640);
    shell.setNodes(nodes);
    QTest::qWait(2500);
    page->pollStatuses();
    QTest::qWait(800);
    shell.window().grab().save(outDir + QStringLiteral("/live-page.png"));

    page->toggleNode(QStringLiteral("node-tokyo-1"));
    page->table()->selectRow(1);
    QTest::qWait(200);
    std::unique_ptr<QMenu> menu = page->createContextMenu();
    menu->popup(shell.window().mapToGlobal(QPoint(300, 120)));
    QTest::qWait(300);
    QApplication::primaryScreen()->grabWindow(0).save(outDir + QStringLiteral("/live-page-menu.png"));
    menu->hide();

    ui::testing::setScripted(true);
    const char* modes[] = {"file", "audio", "pull"};
    const int rows[] = {1, 3, 6};
    for (int i = 0; i < 3; ++i) {
        page->toggleNode(QStringLiteral("node-tokyo-1"));
        page->setAllCollapsed(false);
        page->table()->selectRow(rows[i]);
        const std::optional<streaming::LiveRoom> chosen = page->roomAtRow(rows[i]);
        if (!chosen)
            continue;
        LiveRoomEditor editor(shell, *chosen, &shell.window());
        editor.loadInitialLists();
        grabDialog(editor, outDir + QStringLiteral("/live-editor-%1.png").arg(QLatin1String(modes[i])));
        if (i == 0) {
            editor.videoCombo()->showPopup();
            QTest::qWait(300);
            QApplication::primaryScreen()->grabWindow(0).save(outDir +
                                                              QStringLiteral("/live-editor-videos.png"));
            editor.videoCombo()->hidePopup();
        }
    }

    page->table()->selectRow(1);
    ui::testing::queueDialog([&](QDialog& dialog) {
        grabDialog(dialog, outDir + QStringLiteral("/live-log-dialog.png"));
        auto& logs = static_cast<LiveLogDialog&>(dialog);
        logs.tabs()->setCurrentIndex(1);
        grabDialog(dialog, outDir + QStringLiteral("/live-log-dialog-ffmpeg.png"));
        return int(QDialog::Rejected);
    });
    page->showCurrentLogs();
    return 0;
}

int main(int argc, char** argv) {
    return screens::run(argc, argv, drawScreens);
}
