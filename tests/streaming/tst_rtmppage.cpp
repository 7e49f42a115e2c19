#include "FakeShell.h"
#include "RecordingServer.h"
#include "Simulator.h"
#include "TestMain.h"

#include "net/RequestLayer.h"
#include "streaming/LivePreviewWindow.h"
#include "streaming/RtmpPage.h"
#include "streaming/RtmpRoomDialog.h"
#include "streaming/StreamingTiming.h"
#include "ui/Dialogs.h"
#include "webview/WebEngineHost.h"
#include "widgets/NodeFilterCombo.h"
#include "widgets/PercentTableWidget.h"
#include "widgets/WebViewPane.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>

using namespace streaming;

// The RTMP page on a fake shell against the simulated Agents over real sockets.
class TestRtmpPage : public QObject {
    Q_OBJECT

    std::unique_ptr<sim::Simulator> simulator;
    std::unique_ptr<testsupport::FakeShell> shell;
    RtmpPage* page = nullptr;
    QList<Node> nodes;

    void startAgents(int count) {
        for (int i = 0; i < count; ++i) {
            sim::AgentOptions options;
            options.name = QStringLiteral("agent-%1").arg(i);
            const sim::AgentInfo agent = simulator->startAgent(options);
            Node node = sim::Simulator::agentNode(agent, options.name, QStringLiteral("节点%1").arg(i));
            node.id = QStringLiteral("id-%1").arg(i);
            nodes << node;
        }
        shell->setNodes(nodes);
    }

    QString cell(int row, int column) const { return page->table()->item(row, column)->text(); }

    // "node label/name/state" of every row, in table order.
    QStringList tableRows() const {
        QStringList out;
        for (int row = 0; row < page->table()->rowCount(); ++row)
            out << cell(row, 1) + QLatin1Char('/') + cell(row, 0) + QLatin1Char('/') + cell(row, 8);
        return out;
    }

    bool loadAndWait(bool loud = false) {
        page->loadRooms(loud);
        return QTest::qWaitFor([this] { return !page->isLoading(); }, 20000);
    }

    static QVariant runScript(LivePreviewWindow* window, const char* script) {
        auto result = std::make_shared<std::optional<QVariant>>();
        window->pane()->view()->page()->runJavaScript(QString::fromUtf8(script),
                                                      [result](const QVariant& value) { *result = value; });
        if (!QTest::qWaitFor([result] { return result->has_value(); }, 5000))
            return QVariant();
        return result->value_or(QVariant());
    }

    int rowOf(const QString& name) const {
        for (int row = 0; row < page->rooms().size(); ++row)
            if (page->rooms().at(row).name == name)
                return row;
        return -1;
    }

    void selectRoom(const QString& name) {
        const int row = rowOf(name);
        QVERIFY(row >= 0);
        page->table()->setCurrentCell(row, 0);
    }

private Q_SLOTS:
    void init() {
        webview::testing::setRendererSandboxed(true); // plays the preview whoever runs the test
        ui::testing::setScripted(true);
        ui::testing::reset();
        simulator = std::make_unique<sim::Simulator>();
        QVERIFY(simulator->start());
        shell = std::make_unique<testsupport::FakeShell>();
        page = new RtmpPage(*shell);
        shell->host(page);
        nodes.clear();
    }
    void cleanup() {
        shell.reset();
        simulator.reset();
    }

    void statesAndServiceRows_data() {
        QTest::addColumn<QString>("fault"); // what happens to agent-1
        QTest::addColumn<QString>("expectedRow");
        QTest::newRow("answers") << ""
                                 << "节点1/b/离线";
        QTest::newRow("unreachable Agent is a service row, not an empty list") << "stopped"
                                                                               << "节点1/--/服务停止";
        QTest::newRow("server error") << "500"
                                      << "节点1/--/服务停止";
        QTest::newRow("MediaMTX stopped") << "mediamtx"
                                          << "节点1/b/服务停止";
    }
    void statesAndServiceRows() {
        QFETCH(QString, fault);
        startAgents(2);
        simulator->addRtmpRoom(QStringLiteral("agent-0"), QStringLiteral("a"));
        const QString online =
            simulator->addRtmpRoom(QStringLiteral("agent-0"), QStringLiteral("live")).value("id").toString();
        simulator->setRtmpRoomOnline(QStringLiteral("agent-0"), online, true);
        simulator->addRtmpRoom(QStringLiteral("agent-0"), QStringLiteral("off"), false);
        simulator->addRtmpRoom(QStringLiteral("agent-1"), QStringLiteral("b"));
        if (fault == QLatin1String("stopped"))
            simulator->stopAgent(QStringLiteral("agent-1"));
        if (fault == QLatin1String("500"))
            simulator->setFault(QStringLiteral("agent-1"), "GET", "/rtmp/status",
                                sim::Fault{500, "MediaMTX 崩溃"});
        if (fault == QLatin1String("mediamtx")) // stopped through the Agent, as the nodes page does
            net::agentRequest(nodes[1], QStringLiteral("POST"), QStringLiteral("/rtmp/stop"), {});
        QVERIFY(loadAndWait(true));
        QFETCH(QString, expectedRow);
        QCOMPARE(tableRows(),
                 (QStringList{"节点0/a/离线", "节点0/live/在线", "节点0/off/已禁用", expectedRow}));
        QCOMPARE(shell->statusText(), QStringLiteral("RTMP 房间加载完成"));
        const RtmpRoom& last = page->rooms().at(3);
        QCOMPARE(last.isServiceRow(), fault == QLatin1String("stopped") || fault == QLatin1String("500"));
        if (last.isServiceRow())
            QVERIFY2(!last.error.isEmpty() && cell(3, 7) == last.error, qPrintable(cell(3, 7)));
        if (fault == QLatin1String("500"))
            QCOMPARE(cell(3, 7), QStringLiteral("MediaMTX 崩溃"));
    }

    // One slow Node holds up only its own rows; a load while its request waits does not ask it again.
    void slowNodeIsSkippedNotWaitedFor() {
        startAgents(2);
        simulator->addRtmpRoom(QStringLiteral("agent-0"), QStringLiteral("a"));
        simulator->addRtmpRoom(QStringLiteral("agent-1"), QStringLiteral("b"));
        sim::Fault slow;
        slow.delayMs = 1500;
        slow.times = 1;
        simulator->setFault(QStringLiteral("agent-1"), "GET", "/rtmp/status", slow);
        page->loadRooms(false);
        QTRY_COMPARE(tableRows(), QStringList{"节点0/a/离线"});
        simulator->addRtmpRoom(QStringLiteral("agent-0"), QStringLiteral("a2"));
        page->loadRooms(false); // agent-1 still waits
        QTRY_COMPARE(tableRows(), (QStringList{"节点0/a/离线", "节点0/a2/离线"}));
        QCOMPARE(simulator->callCount(QStringLiteral("agent-1"), "GET", "/rtmp/status"), 1);
        QVERIFY(page->isLoading());
        QVERIFY(QTest::qWaitFor([this] { return !page->isLoading(); }, 10000));
        QCOMPARE(tableRows(), (QStringList{"节点0/a/离线", "节点0/a2/离线", "节点1/b/离线"}));
    }

    // A reply that comes back after the Node list changed lands on the Node it was asked of.
    void nodeListChangesDuringLoad_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("slow Node deleted") << "delete" << QStringList{"节点0/a/离线"};
        QTest::newRow("Nodes reordered") << "reorder" << QStringList{"节点0/a/离线", "节点1/b/离线"};
        QTest::newRow("list emptied by a failed reload") << "empty" << QStringList{};
    }
    void nodeListChangesDuringLoad() {
        QFETCH(QString, change);
        startAgents(2);
        simulator->addRtmpRoom(QStringLiteral("agent-0"), QStringLiteral("a"));
        simulator->addRtmpRoom(QStringLiteral("agent-1"), QStringLiteral("b"));
        sim::Fault slow;
        slow.delayMs = 800;
        simulator->setFault(QStringLiteral("agent-1"), "GET", "/rtmp/status", slow);
        shell->showPage(shell::PageId::Rtmp);
        page->loadRooms(false);
        QTest::qWait(200);
        if (change == QLatin1String("delete"))
            shell->setNodes({nodes[0]});
        else if (change == QLatin1String("reorder"))
            shell->setNodes({nodes[1], nodes[0]});
        else
            shell->setNodes({});
        QVERIFY(QTest::qWaitFor([this] { return !page->isLoading(); }, 10000));
        QFETCH(QStringList, expected);
        QStringList got = tableRows();
        got.sort();
        QCOMPARE(got, expected);
        for (const RtmpRoom& room : page->rooms().rows()) { // every row names its Node where it stands now
            QVERIFY(room.nodeIndex >= 0 && room.nodeIndex < shell->nodes().size());
            QCOMPARE(shell->nodes()[room.nodeIndex].id, room.nodeId);
            QCOMPARE(nodeLabel(shell->nodes()[room.nodeIndex]), room.nodeLabel);
        }
        if (change == QLatin1String("reorder")) { // an action after the change goes to the right Agent
            selectRoom(QStringLiteral("b"));
            page->roomAction(QStringLiteral("disable"));
            const QJsonArray rooms = simulator->snapshot(QStringLiteral("agent-1"))["rtmpRooms"].toArray();
            QCOMPARE(rooms[0]["enabled"].toBool(), false);
            QCOMPARE(tableRows().filter(QStringLiteral("/b/")), QStringList{"节点1/b/已禁用"});
        }
    }

    void createEditActionDeleteRoundTrip() {
        startAgents(2);
        shell->setNodes(nodes);
        page->filterByNode(QStringLiteral("id-1"));
        QVERIFY(QTest::qWaitFor([this] { return !page->isLoading(); }, 10000));
        ui::testing::queueDialog([](QDialog& dialog) {
            // Creating preselects the filtered Node.
            if (dialog.findChild<QComboBox*>("rtmpRoomNode")->currentData().toString() !=
                QLatin1String("id-1"))
                return int(QDialog::Rejected);
            // Saving without a name warns and keeps the dialog open.
            bool closed = false;
            QObject::connect(&dialog, &QDialog::finished, &dialog, [&closed] { closed = true; });
            dialog.findChild<QLineEdit*>("rtmpRoomName")->setText(QStringLiteral("  "));
            dialog.findChild<QPushButton*>("rtmpRoomSave")->click();
            if (closed)
                return int(QDialog::Rejected);
            dialog.findChild<QLineEdit*>("rtmpRoomName")->setText(QStringLiteral("  主直播间 "));
            dialog.findChild<QPushButton*>("rtmpRoomSave")->click();
            return dialog.result();
        });
        page->createRoom();
        QCOMPARE(tableRows(), QStringList{"节点1/主直播间/离线"});
        QCOMPARE(shell->statusText(), QStringLiteral("RTMP 房间创建完成"));
        QCOMPARE(page->table()->currentRow(), 0);

        const QString oldKey = page->rooms().at(0).roomKey;
        page->roomAction(QStringLiteral("reset-key"));
        QVERIFY(page->rooms().at(0).roomKey != oldKey);
        QCOMPARE(cell(0, 3), page->rooms().at(0).roomKey);

        ui::testing::queueDialog([](QDialog& dialog) {
            dialog.findChild<QLineEdit*>("rtmpRoomName")->setText(QStringLiteral("备用"));
            dialog.findChild<QPushButton*>("rtmpRoomSave")->click();
            return dialog.result();
        });
        page->editRoom();
        QCOMPARE(tableRows(), QStringList{"节点1/备用/离线"});

        page->copyField(RtmpCopyField::SrtPublishFull, QStringLiteral("SRT推流地址"));
        QCOMPARE(QGuiApplication::clipboard()->text(), page->rooms().at(0).srtPublishFullUrl);
        QCOMPARE(shell->statusText(), QStringLiteral("SRT推流地址已复制"));

        ui::testing::queueAnswer(true);
        page->deleteRoom();
        QCOMPARE(page->rooms().size(), 0);
        QCOMPARE(page->table()->currentRow(), -1);
        QVERIFY(simulator->snapshot(QStringLiteral("agent-1"))["rtmpRooms"].toArray().isEmpty());
        QVERIFY(!shell->isBusy());
    }

    // A refused action leaves the list as it was; an unreachable Agent is refused, not a success.
    void failedActionsChangeNothing_data() {
        QTest::addColumn<QString>("fault");
        QTest::newRow("unreachable") << "stopped";
        QTest::newRow("reply with error below 300") << "error200";
    }
    void failedActionsChangeNothing() {
        QFETCH(QString, fault);
        startAgents(1);
        simulator->addRtmpRoom(QStringLiteral("agent-0"), QStringLiteral("a"));
        QVERIFY(loadAndWait());
        selectRoom(QStringLiteral("a"));
        if (fault == QLatin1String("stopped"))
            simulator->stopAgent(QStringLiteral("agent-0"));
        else
            simulator->setFault(QStringLiteral("agent-0"), "", "/rtmp/rooms/*", sim::Fault{299, "已锁定"});
        ui::testing::queueAnswer(true);
        page->deleteRoom();
        page->roomAction(QStringLiteral("disable"));
        const QList<ui::testing::Shown> shown = ui::testing::takeShown();
        QCOMPARE(shown.size(), 3); // question, two warnings
        QVERIFY(shown[1].text.startsWith(QStringLiteral("删除 RTMP 房间失败: ")));
        QVERIFY(shown[2].text.startsWith(QStringLiteral("RTMP 房间请求失败: ")));
        QCOMPARE(tableRows(), QStringList{"节点0/a/离线"});
        QVERIFY(!shell->isBusy());
    }

    // Preview addresses come from the Agent: only web addresses reach a browser.
    void previewAddressesChecked_data() {
        QTest::addColumn<QString>("previewUrl");
        QTest::addColumn<QString>("shown");
        QTest::newRow("file") << "file:///etc/passwd"
                              << "只能打开 http 或 https 预览地址：file:///etc/passwd";
        QTest::newRow("script") << "javascript:alert(1)"
                                << "只能打开 http 或 https 预览地址：javascript:alert(1)";
        QTest::newRow("empty") << ""
                               << "当前房间没有可用的 HLS 预览地址。";
    }
    void previewAddressesChecked() {
        QFETCH(QString, previewUrl);
        QFETCH(QString, shown);
        testsupport::RecordingServer agent;
        const QJsonObject room{{"id", "r"}, {"name", "x"}, {"previewUrl", previewUrl}};
        agent.setDefaultReply(testsupport::RecordingServer::json(
            200, QJsonDocument(QJsonObject{{"running", true}, {"rooms", QJsonArray{room}}}).toJson()));
        Node node;
        node.id = QStringLiteral("n");
        node.name = QStringLiteral("n");
        node.agentApi = {QStringLiteral("http"), QStringLiteral("127.0.0.1"), agent.port(),
                         QStringLiteral("t")};
        shell->setNodes({node});
        QVERIFY(loadAndWait());
        page->table()->setCurrentCell(0, 0);
        page->watchLive();
        QCOMPARE(ui::testing::takeShown().value(0).text, shown);
        QVERIFY(shell->adopted.isEmpty());
    }

    void previewWindowPlaysHls_data() {
        QTest::addColumn<bool>("withMediaSource");
        QTest::addColumn<QString>("expected");
        QTest::newRow("H.264 through Media Source plays") << true << "playing true";
        QTest::newRow("a browser without it says so") << false << "message false";
    }
    void previewWindowPlaysHls() {
        QFETCH(bool, withMediaSource);
        QFETCH(QString, expected);
        startAgents(1);
        simulator->addRtmpRoom(QStringLiteral("agent-0"), QStringLiteral("主直播间"));
        QVERIFY(loadAndWait());
        page->table()->setCurrentCell(0, 0);
        page->watchLive();
        QCOMPARE(shell->adopted.size(), 1);
        auto* window = dynamic_cast<LivePreviewWindow*>(shell->adopted[0].data());
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), QStringLiteral("观看直播 - 主直播间"));
        QTRY_VERIFY_WITH_TIMEOUT(window->pane()->loadFinished(), 20000);
        QVERIFY(window->pane()->loadSucceeded());
        QCOMPARE(window->pane()->view()->url().toString(), page->rooms().at(0).previewUrl);
        if (!withMediaSource) {
            QWebEngineScript hide;
            hide.setSourceCode(QStringLiteral("window.MediaSource = undefined;"));
            hide.setInjectionPoint(QWebEngineScript::DocumentCreation);
            hide.setWorldId(QWebEngineScript::MainWorld);
            window->pane()->view()->page()->scripts().insert(hide);
            window->pane()->view()->reload();
        }
        QTRY_COMPARE_WITH_TIMEOUT(
            runScript(window,
                      "window.previewState + ' ' + (document.querySelector('video')?.currentTime > 1)")
                .toString(),
            expected, 20000);
        window->resize(1200, 700);
        QTRY_COMPARE(window->pane()->view()->size(), window->pane()->host()->size());
        window->close();
        QTRY_VERIFY(shell->adopted[0].isNull()); // deleted when closed
        QVERIFY(ui::testing::takeShown().isEmpty());
    }

    // Closing a preview window before its view exists must not reach the freed pane.
    void previewClosedBeforeViewStarts() {
        QPointer<LivePreviewWindow> window =
            new LivePreviewWindow(QString(), QStringLiteral("http://127.0.0.1:9/"));
        QCOMPARE(window->windowTitle(), QStringLiteral("观看直播 - RTMP"));
        window->show();
        window->close();
        QTRY_VERIFY(window.isNull());
        QTest::qWait(100);
        QVERIFY(ui::testing::takeShown().isEmpty());
    }
};

ONDIVO_TEST_MAIN_GUI(TestRtmpPage)
#include "tst_rtmppage.moc"
