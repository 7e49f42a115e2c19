// The files page, the upload dialog and the pane against the simulated Agent, on the fake shell.
#include "FakeShell.h"
#include "FakeUpload.h"
#include "Simulator.h"
#include "TestMain.h"
#include "files/FilesPage.h"
#include "files/FilesTiming.h"
#include "files/UploadDialog.h"
#include "files/VideoUploadPane.h"
#include "ui/Dialogs.h"
#include "widgets/PercentTableWidget.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>

class FilesPageTest : public QObject {
    Q_OBJECT
    sim::Simulator simulator;
    testsupport::FakeShell shell;
    Node node;
    Node listNode; // on an Agent of its own, so the long lists meet no other test's files
    QTemporaryDir dir;

    QString cellText(QTableWidget* table, int row, int column) {
        return table->item(row, column) ? table->item(row, column)->text() : QString();
    }
    QJsonArray sessions() { return simulator.snapshot("agent").value("uploads").toArray(); }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(simulator.start());
        sim::AgentOptions options;
        options.name = "agent";
        node = sim::Simulator::agentNode(simulator.startAgent(options), "n1", "节点一");
        node.id = "id-1";
        Node offline = node;
        offline.id = "id-2";
        offline.displayName = "离线节点";
        offline.agentApi.port = 1; // nothing listens there
        shell.setNodes({node, offline});
        listNode = sim::Simulator::agentNode(simulator.startAgent({.name = "lists"}), "n3", "长列表");
        listNode.id = "id-3";
        ui::testing::setScripted(true);
    }
    void init() {
        ui::testing::reset();
        simulator.clearFaults();
    }

    // Rows of both Nodes: the reachable one lists its files with the shared byte format, the other one
    // shows a single error row in each table.
    void loadShowsRowsAndErrors() {
        simulator.addVideo("agent", "a/x.mp4", 1536);
        simulator.addVideo("agent", "b/x.mp4", 20480);
        simulator.addAudioFile("agent", "music", "song.mp3", 10);
        FilesPage page(shell);
        page.load(true);
        QCOMPARE(page.videoTable()->rowCount(), 3);
        QCOMPARE(cellText(page.videoTable(), 0, 1), "x.mp4");
        QCOMPARE(cellText(page.videoTable(), 0, 2), "1.50 KB");
        QCOMPARE(cellText(page.videoTable(), 1, 2), "20.0 KB");
        QCOMPARE(cellText(page.videoTable(), 2, 0), "离线节点");
        QVERIFY(cellText(page.videoTable(), 2, 4) != "正常");
        QCOMPARE(page.audioTable()->rowCount(), 2);
        QCOMPARE(cellText(page.audioTable(), 0, 2), "1");
        QCOMPARE(shell.statusText(), "文件加载完成");
    }

    // A Node lists no more rows than a page shows and the status line says the list was cut; a reply longer
    // than such a list may be is refused (the Node's error row) before it is read; a success that is no
    // JSON is a failure row, never an empty list.
    void listsAreBounded_data() {
        QTest::addColumn<int>("videos");
        QTest::addColumn<bool>("malformed");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("firstState");
        QTest::addColumn<QString>("statusText");
        const QString done = QStringLiteral("文件加载完成");
        QTest::newRow("at the cap") << 3000 << false << 3000 << "正常" << done;
        QTest::newRow("cut") << 3005 << false << 3000 << "正常"
                             << done + "；列表过长，每个节点只显示前 3000 行：长列表";
        QTest::newRow("over the reply cap") << 60000 << false << 1 << "回复超过 4 MiB 上限，已中止" << done;
        QTest::newRow("not JSON") << 0 << true << 1 << "回复格式错误" << done;
    }
    void listsAreBounded() {
        QFETCH(int, videos);
        QFETCH(bool, malformed);
        QFETCH(int, rows);
        QFETCH(QString, firstState);
        QFETCH(QString, statusText);
        simulator.setSyntheticLists("lists", videos, 0, 0);
        if (malformed)
            simulator.setFault("lists", "GET", "/files/videos", sim::Fault{.malformedJson = true});
        testsupport::FakeShell listShell;
        listShell.setNodes({listNode});
        FilesPage page(listShell);
        page.load(true);
        QCOMPARE(page.videoTable()->rowCount(), rows);
        QCOMPARE(cellText(page.videoTable(), 0, 4), firstState);
        QCOMPARE(listShell.statusText(), statusText);
    }

    // The row of b/x.mp4 removes b/x.mp4, never a namesake elsewhere.
    void deleteRemovesTheListedPath() {
        simulator.addVideo("agent", "x.mp4", 100);
        FilesPage page(shell);
        page.load(false);
        QCOMPARE(page.videoRows().at(1).item.value("relative").toString(), "b/x.mp4");
        ui::testing::queueAnswer(true);
        page.deleteVideo(1);
        QVERIFY(shell.statusTexts.contains("视频文件已删除：x.mp4"));
        QVERIFY(QFile::exists(simulator.videoDirectory("agent") + "/a/x.mp4"));
        QVERIFY(QFile::exists(simulator.videoDirectory("agent") + "/x.mp4"));
        QVERIFY(!QFile::exists(simulator.videoDirectory("agent") + "/b/x.mp4"));
        QCOMPARE(page.videoRows().at(0).item.value("relative").toString(), "a/x.mp4");
    }

    void refusedByRooms_data() {
        QTest::addColumn<bool>("video");
        QTest::addColumn<QString>("warning");
        QTest::newRow("video in use") << true << "删除视频文件失败: 资源正在被房间使用：直播一";
        QTest::newRow("folder in use") << false << "删除音频目录失败: 资源正在被房间使用：直播一";
    }
    void refusedByRooms() {
        QFETCH(bool, video);
        QFETCH(QString, warning);
        if (QTest::currentDataTag() == QByteArray("video in use"))
            simulator.addLiveRoom("agent", {{"name", "直播一"},
                                            {"streamMode", "video_random_audio_to_rtmp"},
                                            {"videoPath", "a/x.mp4"},
                                            {"audioFolder", "music"}});
        FilesPage page(shell);
        page.load(false);
        ui::testing::queueAnswer(true);
        video ? page.deleteVideo(0) : page.deleteAudioFolder(0);
        QCOMPARE(ui::testing::shown().last().text, warning);
    }

    // While an upload runs the pane's Node and type stay locked; closing asks, and only Yes ends it,
    // with the session cancelled on the Agent.
    void dialogLocksAndAsksWhileUploading() {
        const QString path = dir.filePath("big.mp4");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(64 << 20));
        sim::Fault slow;
        slow.delayMs = 300;
        simulator.setFault("agent", "POST", "/files/upload/chunk", slow);
        UploadDialog dialog(shell.nodes(), node.id);
        dialog.show();
        ui::testing::queuePath(path);
        dialog.pane()->chooseVideo();
        dialog.pane()->startUpload();
        QCOMPARE(sessions().size(), 1);
        QVERIFY(!dialog.nodeCombo()->isEnabled() && !dialog.typeCombo()->isEnabled());
        dialog.reject(); // No is the answer when none is queued
        QVERIFY(dialog.isVisible());
        QVERIFY(dialog.pane()->uploadActive());
        ui::testing::queueAnswer(true);
        dialog.reject();
        QVERIFY(!dialog.isVisible());
        QVERIFY(sessions().isEmpty());
        QVERIFY(dialog.nodeCombo()->isEnabled());
    }

    // The dialog goes away while the pane waits for its start request: no crash, and the session the
    // Agent opened meanwhile is closed again.
    void paneFreedDuringStartRequest() {
        const QString path = dir.filePath("gone.mp4");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(1 << 20));
        sim::Fault slow;
        slow.delayMs = 400;
        simulator.setFault("agent", "POST", "/files/upload/start", slow);
        auto* dialog = new UploadDialog(shell.nodes(), node.id);
        ui::testing::queuePath(path);
        dialog->pane()->chooseVideo();
        QTimer::singleShot(100, [dialog] { delete dialog; });
        dialog->pane()->startUpload();
        QTRY_VERIFY(sessions().isEmpty());
        QTest::qWait(300);
        QVERIFY(sessions().isEmpty());
    }

    // Against a slow Agent (every chunk answered 300 ms after it arrived) the bar never runs ahead of
    // what the Agent holds, bytes on their way are named apart, the bar is full only at "完成", and
    // while paused a new start cannot replace the session.
    void slowAgentProgressFollowsConfirmedChunks() {
        const QString path = dir.filePath("slow.mp4");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(6 * (4 << 20)));
        file.close();
        sim::Fault slow;
        slow.delayMs = 300;
        simulator.setFault("agent", "POST", "/files/upload/chunk", slow);
        VideoUploadPane pane(node, false);
        ui::testing::queuePath(path);
        pane.chooseVideo();
        pane.startUpload();
        auto heldBytes = [this] {
            for (const QJsonValue& upload : sessions()) {
                if (upload.toObject().value("fileName").toString() == "slow.mp4")
                    return qint64(upload.toObject().value("uploadedBytes").toDouble());
            }
            return qint64(6) << 22; // the session ends only once the Agent stored the whole file
        };
        bool sawUnconfirmed = false, paused = false;
        QElapsedTimer clock;
        clock.start();
        while (pane.statusLabel()->text() != "完成" && pane.statusLabel()->text() != "失败" &&
               clock.elapsed() < 30000) {
            QTest::qWait(5);
            const int bar = pane.progressBar()->value();
            const bool done = pane.statusLabel()->text() == "完成";
            sawUnconfirmed = sawUnconfirmed || pane.sizeLabel()->text().contains("待确认");
            const qint64 held = heldBytes(); // read after the pane: it only grows
            QVERIFY2(bar <= held * 10000 / (qint64(6) << 22),
                     qPrintable(QStringLiteral("%1 > %2").arg(bar).arg(held)));
            QVERIFY(done || bar < 10000);
            if (!paused && bar > 0) {
                paused = true;
                pane.pauseUpload();
                QTRY_COMPARE_WITH_TIMEOUT(pane.statusLabel()->text(), "已暂停", 20000);
                QVERIFY(!pane.startButton()->isEnabled() && pane.resumeButton()->isEnabled());
                pane.resumeUpload();
            }
        }
        QCOMPARE(pane.statusLabel()->text(), "完成");
        QCOMPARE(pane.progressBar()->value(), 10000);
        QVERIFY(sawUnconfirmed && paused);
    }

    // The audio pane deletes a folder with the body key "folder".
    void audioFolderDeleteSendsFolderKey() {
        auto transport = std::make_shared<FakeTransport>();
        QJsonObject body;
        transport->duringRequest = [&](const QString& path) {
            if (path.startsWith("/files/audio-folders?folder="))
                body = transport->lastBody;
        };
        VideoUploadPane pane(node, true, transport, std::make_shared<FakeClock>());
        pane.folderCombo()->setEditText("music");
        ui::testing::queueAnswer(true);
        pane.deleteFolder();
        QCOMPARE(body, (QJsonObject{{"folder", "music"}}));
    }
};

ONDIVO_TEST_MAIN_GUI(FilesPageTest)
#include "tst_filespage.moc"
