#include "FakeShell.h"
#include "Simulator.h"
#include "TestMain.h"

#include "fleet/PollCycle.h"
#include "streaming/LivePage.h"
#include "streaming/LiveRoomEditor.h"
#include "streaming/RtmpPage.h"
#include "streaming/StreamingTiming.h"
#include "ui/Dialogs.h"
#include "widgets/PercentTableWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QJsonArray>
#include <QLineEdit>
#include <QPushButton>

using streaming::LiveRoom;

namespace {

// Two simulated Agents, Node "A" (id node-a) on agent "a" and Node "B" on agent "b", and the page.
struct Fixture {
    sim::Simulator simulator;
    testsupport::FakeShell shell;
    LivePage* page = nullptr;

    Fixture() {
        simulator.start();
        QList<Node> nodes;
        for (const char* name : {"a", "b"}) {
            sim::AgentOptions options;
            options.name = QString::fromLatin1(name);
            Node node = sim::Simulator::agentNode(simulator.startAgent(options), options.name,
                                                  options.name.toUpper());
            node.id = QStringLiteral("node-") + options.name;
            nodes.append(node);
        }
        page = new LivePage(shell);
        shell.host(page);
        shell.setNodes(nodes); // loads
    }
    QJsonObject addRoom(const char* agent, const QJsonObject& room) {
        QJsonObject full{{"name", "R"}, {"pushUrl", "rtmp://127.0.0.1/live/out"}, {"videoPath", "sub/x.mp4"}};
        for (auto it = room.begin(); it != room.end(); ++it)
            full.insert(it.key(), it.value());
        simulator.addVideo(QString::fromLatin1(agent), QStringLiteral("sub/x.mp4"), 1024);
        return simulator.addLiveRoom(QString::fromLatin1(agent), full);
    }
    QJsonObject agentRoom(const char* agent, const QString& id) const {
        for (const QJsonValue& v :
             simulator.snapshot(QString::fromLatin1(agent)).value("liveRooms").toArray())
            if (v.toObject().value("id").toString() == id)
                return v.toObject();
        return {};
    }
    LiveRoom room(const QString& node, const QString& id) const {
        return page->rooms().value(streaming::indexOfLiveRoom(page->rooms(), node + '|' + id));
    }
    void select(const QString& node, const QString& id) {
        page->table()->selectRow(page->rowOfRoom(node + '|' + id));
    }
    // "N" for a Node row, "R" for a room row.
    QString shape() const {
        QString out;
        for (int row = 0; row < page->table()->rowCount(); ++row)
            out += page->roomAtRow(row) ? 'R' : 'N';
        return out;
    }
    bool pollsSettled() { return shell.poller(shell::PollKind::LiveStatus).waitingCount() == 0; }
};

QStringList shownKinds() {
    QStringList kinds;
    for (const ui::testing::Shown& shown : ui::testing::takeShown())
        kinds << shown.kind + ':' + shown.text.section(':', 0, 0);
    return kinds;
}

} // namespace

class LivePageTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() {
        ui::testing::reset();
        ui::testing::setScripted(true);
    }

    void nodeRowsAndCollapse_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("shape");
        QTest::addColumn<bool>("expanded");
        QTest::newRow("loaded") << ""
                                << "NRRN" << true;
        QTest::newRow("icon click") << "click"
                                    << "NN" << false;
        QTest::newRow("double click twice") << "double2"
                                            << "NRRN" << true;
        QTest::newRow("collapse all") << "all"
                                      << "NN" << false;
    }
    void nodeRowsAndCollapse() {
        Fixture f;
        f.addRoom("a", {{"name", "one"}});
        f.addRoom("a", {{"name", "two"}});
        f.page->load(true);
        QFETCH(QString, action);
        if (action == "click")
            Q_EMIT f.page->table()->cellClicked(0, 0);
        for (int i = 0; action == "double2" && i < 2; ++i)
            Q_EMIT f.page->table()->cellDoubleClicked(0, 3);
        if (action == "all")
            f.page->setAllCollapsed(true);
        QTEST(f.shape(), "shape");
        QFETCH(bool, expanded);
        const QImage icon = f.page->table()->item(0, 0)->icon().pixmap(16, 16).toImage();
        // Down-pointing fills the top right, right-pointing the bottom left.
        QCOMPARE(qAlpha(icon.pixel(10, 6)) > 200, expanded);
        QCOMPARE(qAlpha(icon.pixel(6, 11)) > 100, !expanded);
    }

    void editorSaves_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("video"); // typed video text; "" keeps what the editor shows
        QTest::addColumn<int>("pullItem");  // -1: none chosen
        QTest::addColumn<QString>("push");
        QTest::addColumn<QString>("savedVideo");
        QTest::addColumn<QString>("savedSource");
        QTest::newRow("push only keeps sub path") << streaming::kFileMode << "" << -1 << "rtmp://h/live/new"
                                                  << "sub/x.mp4"
                                                  << "";
        QTest::newRow("typed backslash path")
            << streaming::kFileMode << "dir\\clip.mp4" << -1 << "rtmp://h/live/new"
            << "clip.mp4"
            << "";
        QTest::newRow("pull source by URL") << streaming::kPullMode << "" << 0 << "rtmp://h/live/new"
                                            << ""
                                            << "rtmp://127.0.0.1:1935/live/";
        QTest::newRow("pull equals push") << streaming::kPullMode << "" << -1 << "RTMP://SRC/live/A"
                                          << "sub/x.mp4"
                                          << "";
    }
    void editorSaves() {
        Fixture f;
        f.simulator.addRtmpRoom("b", QStringLiteral("ingest"));
        const QString id = f.addRoom("a", {}).value("id").toString();
        f.page->load(true);
        f.select("node-a", id);
        QFETCH(QString, mode);
        QFETCH(QString, video);
        QFETCH(int, pullItem);
        QFETCH(QString, push);
        ui::testing::queueDialog([&](QDialog& dialog) {
            auto& editor = static_cast<LiveRoomEditor&>(dialog);
            editor.modeCombo()->setCurrentIndex(editor.modeCombo()->findData(mode));
            if (!video.isEmpty())
                editor.videoCombo()->setEditText(video);
            editor.pullCombo()->setEditText(QStringLiteral("rtmp://src/live/a"));
            if (pullItem >= 0)
                editor.pullCombo()->setCurrentIndex(pullItem);
            editor.pushEdit()->setText(push);
            editor.saveButton()->click(); // a refused save keeps the dialog and what was typed
            return editor.result();
        });
        f.page->editCurrentRoom();
        const QJsonObject saved = f.agentRoom("a", id);
        QTEST(saved.value("videoPath").toString(), "savedVideo");
        QFETCH(QString, savedSource);
        const bool refused = push.startsWith("RTMP://SRC");
        QCOMPARE(saved.value("streamMode").toString() == mode, !refused);
        QVERIFY2(saved.value("sourceUrl").toString().startsWith(savedSource),
                 qPrintable(saved.value("sourceUrl").toString()));
        QCOMPARE(f.room("node-a", id).videoPath, saved.value("videoPath").toString());
        QCOMPARE(shownKinds().contains("warning:拉流地址和目标推流地址不能相同。"), refused);
    }

    // The editor offers the rooms the RTMP page shows first, then asks each Node: a Node that stopped
    // answering since the page loaded still offers what the page shows.
    void pullSourcesStartWithTheRtmpPage_data() {
        QTest::addColumn<bool>("withRtmpPage");
        QTest::newRow("page shows the room") << true;
        QTest::newRow("no page, Node silent") << false;
    }
    void pullSourcesStartWithTheRtmpPage() {
        QFETCH(bool, withRtmpPage);
        Fixture f;
        f.simulator.addRtmpRoom("b", QStringLiteral("ingest"));
        if (withRtmpPage) {
            auto* rtmp = new streaming::RtmpPage(f.shell);
            f.shell.host(rtmp);
            rtmp->loadRooms(false);
            QVERIFY(
                QTest::qWaitFor([rtmp] { return !rtmp->isLoading() && rtmp->rooms().size() > 0; }, 20000));
        }
        f.simulator.setFault("b", "GET", "/rtmp/status", sim::Fault{500, "MediaMTX 崩溃"});
        LiveRoomEditor editor(f.shell, LiveRoom(), f.shell.dialogParent());
        editor.reloadPullSources();
        QStringList labels;
        for (int i = 0; i < editor.pullCombo()->count(); ++i)
            labels << editor.pullCombo()->itemText(i);
        QCOMPARE(!labels.filter(QStringLiteral(" / ingest / RTMP")).isEmpty(), withRtmpPage);
    }

    void pushLifecycle() {
        Fixture f;
        f.simulator.addVideo("a", "clip.mp4", 2048);
        ui::testing::queueDialog([](QDialog& dialog) {
            static_cast<LiveCreateDialog&>(dialog).nameEdit()->setText(QStringLiteral(" 主直播间 "));
            return int(QDialog::Accepted);
        });
        f.page->createRoom(QStringLiteral("node-a"));
        QCOMPARE(f.page->rooms().size(), 1);
        const LiveRoom created = f.page->rooms().first();
        QCOMPARE(created.status, QStringLiteral("draft"));
        f.page->pollStatuses();
        QCOMPARE(f.simulator.callCount("a", "GET", "/live/status"), 0); // drafts are never polled

        f.select("node-a", created.id);
        ui::testing::queueDialog([](QDialog& dialog) {
            auto& editor = static_cast<LiveRoomEditor&>(dialog);
            editor.videoCombo()->setCurrentIndex(editor.videoCombo()->findData("clip.mp4"));
            editor.pushEdit()->setText(QStringLiteral("rtmp://127.0.0.1/live/out"));
            return int(QDialog::Accepted);
        });
        f.page->editCurrentRoom();
        QCOMPARE(f.room("node-a", created.id).status, QStringLiteral("configured"));

        f.page->startCurrentPush();
        QCOMPARE(f.room("node-a", created.id).status, QStringLiteral("streaming"));
        const QJsonObject started = f.agentRoom("a", created.id);
        QVERIFY(started.value("startedAt").toDouble() < 1e11); // seconds, like every time of the record
        QTRY_VERIFY(f.pollsSettled());
        f.page->pollStatuses();
        QTRY_VERIFY(f.room("node-a", created.id).liveLine.startsWith(QStringLiteral("帧率：29.9")));

        f.simulator.simulatePushRetry("a", created.id, 5);
        QTRY_VERIFY(f.pollsSettled());
        f.page->pollStatuses();
        QTRY_COMPARE(f.room("node-a", created.id).status, QStringLiteral("retrying"));

        // Ending a broadcast asks first; No leaves it on air and sends nothing.
        f.page->stopCurrentPush();
        QCOMPARE(f.simulator.callCount("a", "POST", "/live/stop"), 0);
        QCOMPARE(f.room("node-a", created.id).status, QStringLiteral("retrying"));
        ui::testing::queueAnswer(true);
        f.page->stopCurrentPush();
        QCOMPARE(f.room("node-a", created.id).status, QStringLiteral("stopped"));
        QCOMPARE(f.agentRoom("a", created.id).value("status").toString(), QStringLiteral("stopped"));
        QCOMPARE(f.shell.statusText(), QStringLiteral("直播推流已停止"));
        QCOMPARE(f.shell.isBusy(), false);
        // Create, edit and the two questions, both saying the room is on air; no warning.
        const QStringList shown = shownKinds();
        QCOMPARE(shown.size(), 4);
        QCOMPARE(
            shown.filter(QStringLiteral("question:") + QString::fromUtf8(streaming::kRoomOnAirNote)).size(),
            2);
    }

    void unreachableAgentIsAFailure_data() {
        QTest::addColumn<bool>("stop");
        QTest::addColumn<QString>("shown");
        QTest::newRow("stop") << true << "warning:停止推流失败";
        QTest::newRow("start: no install offer") << false << "warning:检测 ffmpeg 失败";
    }
    void unreachableAgentIsAFailure() {
        Fixture f;
        const QString id = f.addRoom("a", {{"status", "streaming"}}).value("id").toString();
        f.page->load(true);
        f.select("node-a", id);
        QTRY_VERIFY(f.pollsSettled());
        f.simulator.stopAgent("a");
        QFETCH(bool, stop);
        ui::testing::queueAnswer(true);
        stop ? f.page->stopCurrentPush() : f.page->startCurrentPush();
        QFETCH(QString, shown);
        QCOMPARE(shownKinds().filter(QStringLiteral("warning:")), QStringList{shown});
        QCOMPARE(f.room("node-a", id).status, QStringLiteral("streaming"));
        QVERIFY(!f.shell.statusTexts.contains(QStringLiteral("直播推流已停止")));
    }

    void silentAgentDelaysOnlyItsRooms() {
        Fixture f;
        f.addRoom("a", {{"status", "streaming"}});
        f.addRoom("b", {{"status", "streaming"}});
        f.addRoom("b", {{"status", "draft"}, {"pushUrl", ""}});
        sim::Fault silent;
        silent.hang = true;
        f.simulator.setFault("a", "GET", "/live/status", silent);
        f.page->load(true); // polls once
        for (int tick = 2; tick <= 4; ++tick) {
            QTRY_VERIFY(!f.shell.poller(shell::PollKind::LiveStatus).isWaiting(f.page->rooms()[1].key()));
            f.page->pollStatuses();
        }
        QTRY_COMPARE(f.simulator.callCount("b", "GET", "/live/status"), 4); // the draft room never asked
        QCOMPARE(f.simulator.callCount("a", "GET", "/live/status"), 1);
    }

    void nodeListChangedDuringALoad() {
        Fixture f;
        f.addRoom("a", {{"name", "on a"}});
        f.addRoom("b", {{"name", "on b"}});
        const Node b = f.shell.nodes().at(1);
        sim::Fault slow;
        slow.delayMs = 300;
        f.simulator.setFault("a", "GET", "/live/rooms", slow);
        QTimer::singleShot(100, f.page, [&] { f.shell.setNodes({b}); }); // A is deleted meanwhile
        f.page->load(true);
        QCOMPARE(f.page->rooms().size(), 1);
        QCOMPARE(f.page->rooms().first().name, QStringLiteral("on b"));
        QCOMPARE(f.page->rooms().first().cloudNodeId, b.id);
        QCOMPARE(f.shape(), QStringLiteral("NR"));
    }

    void repliesFollowTheirRoomAcrossADelete() {
        Fixture f;
        const QString gone =
            f.addRoom("a", {{"name", "gone"}, {"status", "streaming"}}).value("id").toString();
        const QString kept =
            f.addRoom("a", {{"name", "kept"}, {"status", "streaming"}}).value("id").toString();
        f.page->load(true);
        QTRY_VERIFY(f.pollsSettled());
        sim::Fault slow;
        slow.delayMs = 400;
        f.simulator.setFault("a", "GET", "/live/status", slow);
        f.page->pollStatuses();
        f.select("node-a", gone);
        ui::testing::queueAnswer(true);
        f.page->deleteCurrentRoom(); // the status replies come back after the room is gone
        QTRY_VERIFY(f.pollsSettled());
        QCOMPARE(f.page->rooms().size(), 1);
        QCOMPARE(f.room("node-a", kept).status, QStringLiteral("streaming"));
        QCOMPARE(f.room("node-a", kept).lastError, QString());
    }
};

ONDIVO_TEST_MAIN_GUI(LivePageTest)
#include "tst_livepage.moc"
