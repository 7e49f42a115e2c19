#include "NodesTestWindow.h"
#include "TestMain.h"

#include "Simulator.h"
#include "mainwindow/MainWindowTiming.h"
#include "mainwindow/NodeMaintenance.h"

#include <QDialog>

// The nodes page against the simulated Agents over real sockets.
class TestNodesSim : public QObject {
    Q_OBJECT

    testsupport::NodesTestWindow fixture;
    std::unique_ptr<sim::Simulator> simulator;
    QList<sim::AgentInfo> agents;

    void startAgents(int count, const QString& version = QStringLiteral("0.5.30")) {
        QList<Node> nodeList;
        for (int i = 0; i < count; ++i) {
            sim::AgentOptions options;
            options.name = QStringLiteral("agent-%1").arg(i);
            options.version = version;
            agents << simulator->startAgent(options);
            Node node = sim::Simulator::agentNode(agents.last(), QStringLiteral("srv-%1").arg(i),
                                                  QStringLiteral("节点%1").arg(i));
            node.id = QStringLiteral("id-%1").arg(i);
            nodeList << node;
        }
        fixture.setNodes(nodeList);
    }

    bool pollOnce() {
        fixture.page()->refreshNodeStatuses();
        return QTest::qWaitFor([this] { return !fixture.page()->statusPollInFlight(); }, 20000);
    }

    double memoryPercent(int row) const {
        return fixture.table()
            ->item(row, mainwindow::kMemoryColumn)
            ->data(widgets::kUsagePercentRole)
            .toDouble();
    }

private Q_SLOTS:
    void init() {
        testsupport::clearSettings();
        simulator = std::make_unique<sim::Simulator>();
        QVERIFY(simulator->start());
        agents.clear();
        QVERIFY(fixture.open());
        // From here on the Cloud API is the simulator's, signed in like the client would be.
        qputenv(app::kCloudApiUrlVariable, simulator->cloudUrl().toUtf8());
        simulator->addAccount(QStringLiteral("alice"), QStringLiteral("pw"));
        signInState().token = simulator->login(QStringLiteral("alice"), QStringLiteral("pw"));
        QVERIFY(!signInState().token.isEmpty());
    }
    void cleanup() {
        fixture.window.reset();
        fixture.cloud.reset();
        simulator.reset();
    }

    void hangingAgentGoesOfflineWhileTheOthersKeepUpdating() {
        mainwindow::timing.statusIdleTimeoutMs = 500;
        startAgents(3);
        sim::Fault hang;
        hang.hang = true;
        simulator->setFault(agents[1].name, QStringLiteral("GET"), QStringLiteral("/status"), hang);
        sim::Usage usage;
        usage.memoryUsedPercent = 40;
        simulator->pinUsage(agents[2].name, usage);

        QVERIFY(pollOnce());
        QCOMPARE(fixture.cell(1, mainwindow::kNetworkColumn), QStringLiteral("离线"));
        QCOMPARE(fixture.cell(0, mainwindow::kAgentColumn), QStringLiteral("0.5.30 -> 0.5.41"));
        QCOMPARE(memoryPercent(2), 40.0);

        usage.memoryUsedPercent = 97;
        simulator->pinUsage(agents[2].name, usage);
        QVERIFY(pollOnce());
        QCOMPARE(memoryPercent(2), 97.0);
        QCOMPARE(fixture.cell(1, mainwindow::kNetworkColumn), QStringLiteral("离线"));
        QVERIFY(fixture.cell(0, mainwindow::kNetworkColumn).startsWith(QStringLiteral("下行 ")));

        simulator->clearFaults();
        QVERIFY(pollOnce());
        QVERIFY(fixture.cell(1, mainwindow::kNetworkColumn).startsWith(QStringLiteral("下行 ")));
    }

    void stoppedAgentIsOffline() {
        startAgents(2);
        simulator->stopAgent(agents[0].name);
        QVERIFY(pollOnce());
        QCOMPARE(fixture.cell(0, mainwindow::kNetworkColumn), QStringLiteral("离线"));
        QCOMPARE(fixture.cell(0, mainwindow::kCpuColumn), QStringLiteral("--"));
        QVERIFY(fixture.cell(1, mainwindow::kCpuColumn).endsWith(QLatin1Char('%')));
    }

    void engineActionsChangeTheAgent() {
        startAgents(2);
        QVERIFY(QTest::qWaitFor([this] { return !fixture.page()->statusPollInFlight(); }, 20000));
        // A status of the second Node taken before the action answers only after it: it must not bring
        // back the engine the action removed.
        sim::Fault late;
        late.staleMs = 3000;
        late.times = 1;
        simulator->setFault(agents[1].name, QStringLiteral("GET"), QStringLiteral("/status"), late);
        fixture.page()->refreshNodeStatuses();
        fixture.table()->selectAll();
        ui::testing::queueAnswer(true);
        fixture.page()->maintenance().runGostAction(QStringLiteral("/gost/uninstall"),
                                                    QStringLiteral("卸载 GOST"));
        QCOMPARE(ui::testing::shown().value(0).text, QStringLiteral("确定卸载选中 2 个节点的 GOST？"));
        QCOMPARE(fixture.cell(0, mainwindow::kGostColumn), QStringLiteral("未安装"));
        QVERIFY(QTest::qWaitFor([this] { return !fixture.page()->statusPollInFlight(); }, 20000));
        QCOMPARE(fixture.cell(1, mainwindow::kGostColumn), QStringLiteral("未安装"));

        fixture.page()->maintenance().runMediaMtxAction(QStringLiteral("/rtmp/stop"),
                                                        QStringLiteral("停止 RTMP 服务"));
        QVERIFY(fixture.cell(0, mainwindow::kMediaMtxColumn).endsWith(QStringLiteral(" 已停止")));
        QCOMPARE(ui::testing::shown().size(), 1); // no question, no failure box
    }

    void tooOldAgentUpdatedThroughInstallScript() {
        simulator->setRestartDurationMs(200);
        simulator->setAgentRelease(QStringLiteral("0.5.60"),
                                   QJsonObject{{QStringLiteral("title"), QStringLiteral("Agent 0.5.60")}});
        mainwindow::timing.afterUpdateRefreshMs = 1500;
        startAgents(2);
        simulator->setAgentTooOld(agents[0].name, true);
        fixture.table()->selectAll();
        ui::testing::queueDialog([](QDialog& dialog) {
            return dialog.windowTitle() == QStringLiteral("Agent 0.5.60") ? int(QDialog::Accepted)
                                                                          : int(QDialog::Rejected);
        });
        fixture.page()->maintenance().updateSelectedAgents();
        QCOMPARE(simulator->callCount(agents[0].name, QStringLiteral("POST"), QStringLiteral("/exec")), 1);
        QCOMPARE(simulator->callCount(agents[1].name, QStringLiteral("POST"), QStringLiteral("/exec")), 0);
        const auto shown = ui::testing::shown();
        QCOMPARE(shown.last().kind, QStringLiteral("information"));
        QCOMPARE(shown.last().text,
                 QStringLiteral("Agent 更新请求已发送：2 个节点。服务重启后版本会自动刷新。"));
        QCOMPARE(fixture.cell(0, mainwindow::kAgentColumn), QStringLiteral("重启中"));
        // The refresh after the restart shows both Agents at the release without an arrow.
        QTRY_COMPARE_WITH_TIMEOUT(fixture.cell(0, mainwindow::kAgentColumn), QStringLiteral("0.5.60"), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(fixture.cell(1, mainwindow::kAgentColumn), QStringLiteral("0.5.60"), 15000);
    }

    void updateWhoseConnectionBreaksStillCounts() {
        simulator->setRestartDurationMs(300);
        simulator->setAgentRelease(QStringLiteral("0.5.60"), QJsonObject());
        startAgents(1);
        sim::Fault drop;
        drop.dropMidReply = true;
        simulator->setFault(agents[0].name, QStringLiteral("POST"), QStringLiteral("/agent/update"), drop);
        fixture.table()->selectRow(0);
        ui::testing::queueDialog([](QDialog&) { return int(QDialog::Accepted); });
        fixture.page()->maintenance().updateSelectedAgents();
        const auto shown = ui::testing::shown();
        QCOMPARE(shown.last().kind, QStringLiteral("information"));
        QCOMPARE(shown.last().text,
                 QStringLiteral("Agent 更新请求已发送：1 个节点。服务重启后版本会自动刷新。"));
        QTRY_COMPARE_WITH_TIMEOUT(simulator->agentVersion(agents[0].name), QStringLiteral("0.5.60"), 10000);
    }
};

ONDIVO_TEST_MAIN_GUI(TestNodesSim)
#include "tst_nodessim.moc"
