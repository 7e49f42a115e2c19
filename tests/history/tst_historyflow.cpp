#include "Simulator.h"
#include "TestMain.h"

#include "app/AppConstants.h"
#include "client/ClientWindow.h"
#include "history/EventList.h"
#include "history/FleetBar.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/MainWindowTiming.h"
#include "model/SignInState.h"
#include "net/RequestLayer.h"
#include "settings/SettingsTiming.h"
#include "ui/Dialogs.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QTableWidget>

// The whole client against the simulator: status polls become history and events, the event list shows
// them, and choosing an event leads to its Node.
class HistoryFlowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<sim::Simulator> simulator;
    std::unique_ptr<MainWindow> window;
    QList<sim::AgentInfo> agents;

    // Steers the simulator through its control route, as the demo's tools do.
    bool control(const QJsonObject& body) {
        QNetworkAccessManager manager;
        QNetworkRequest request(QUrl(simulator->cloudUrl() + QStringLiteral("/__sim/agent")));
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        QNetworkReply* reply = manager.post(request, QJsonDocument(body).toJson());
        QEventLoop loop;
        connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        reply->deleteLater();
        return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200;
    }

    // By name: the bar declares no meta-object of its own, so findChild could not tell it by type.
    history::FleetBar* bar() const {
        return dynamic_cast<history::FleetBar*>(window->findChild<QWidget*>(QStringLiteral("fleetBar")));
    }

    // The event list's rows as "node|text".
    QStringList eventRows() const {
        QStringList rows;
        const QTableWidget* table = bar()->eventList()->table();
        for (int row = 0; row < table->rowCount(); ++row)
            rows << table->item(row, 1)->text() + QLatin1Char('|') + table->item(row, 2)->text();
        return rows;
    }
    int rowsStartingWith(const QString& prefix) const {
        int count = 0;
        for (const QString& row : eventRows())
            count += row.startsWith(prefix) ? 1 : 0;
        return count;
    }
    int statusCalls(int agent) const {
        return simulator->callCount(agents[agent].name, QStringLiteral("GET"), QStringLiteral("/status"));
    }

private Q_SLOTS:
    void init() {
        testsupport::clearSettings();
        ui::testing::reset();
        ui::testing::setScripted(true);
        settings::timing.versionCheckDelayMs = 600000;
        mainwindow::timing.statusPollMs = 250;
        mainwindow::timing.statusIdleTimeoutMs = 1000;
        simulator = std::make_unique<sim::Simulator>();
        QVERIFY(simulator->start());
        qputenv(app::kCloudApiUrlVariable, simulator->cloudUrl().toUtf8());
        simulator->addAccount(QStringLiteral("alice"), QStringLiteral("pw"));
        agents.clear();
        for (const char* name : {"东京", "大阪"}) {
            agents << simulator->startAgent();
            simulator->addNode(QStringLiteral("alice"), QStringLiteral("pw"), QString::fromUtf8(name),
                               sim::Simulator::agentNode(agents.last(), agents.last().name),
                               agents.last().name);
        }
        signInState() = {QStringLiteral("alice"), QStringLiteral("pw"),
                         simulator->login(QStringLiteral("alice"), QStringLiteral("pw"))};
        window = createClientWindow();
        window->show();
        QVERIFY(QTest::qWaitFor([this] { return window->nodes().size() == 2 && window->busyCount() == 0; }));
        QVERIFY(bar());
        bar()->openEventList();
    }
    void cleanup() {
        window.reset();
        simulator.reset();
        mainwindow::timing = {};
    }

    void agentOfflineForTwoPollsThenBack() {
        QTRY_VERIFY_WITH_TIMEOUT(bar()->summaryLabel()->text().startsWith(QStringLiteral("在线 2/2")), 10000);
        QVERIFY(control({{QStringLiteral("name"), agents[0].name}, {QStringLiteral("offline"), true}}));
        // Two polls of the other Agent later the silent one has missed two as well.
        const int before = statusCalls(1);
        QTRY_VERIFY_WITH_TIMEOUT(statusCalls(1) >= before + 3, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(rowsStartingWith(QStringLiteral("东京|节点离线")), 1, 5000);
        QVERIFY(bar()->summaryLabel()->text().startsWith(QStringLiteral("在线 1/2")));
        QTRY_VERIFY(bar()->bellButton()->text().startsWith(QStringLiteral("事件 1")));

        QVERIFY(control({{QStringLiteral("name"), agents[0].name}, {QStringLiteral("offline"), false}}));
        QTRY_COMPARE_WITH_TIMEOUT(rowsStartingWith(QStringLiteral("东京|节点恢复")), 1, 10000);
        // Newest first; the other Node had nothing to tell, and the outage was reported once.
        QVERIFY(eventRows().value(0).startsWith(QStringLiteral("东京|节点恢复")));
        QCOMPARE(eventRows().size(), 2);

        // Choosing the event shows the Node's row on the nodes page.
        window->showPage(shell::PageId::Settings);
        bar()->eventList()->table()->cellClicked(1, 2);
        QCOMPARE(window->currentPage(), shell::PageId::Nodes);
        auto* nodesTable = window->findChild<QTableWidget*>(QStringLiteral("nodesTable"));
        QCOMPARE(nodesTable->currentRow(), window->indexOfNode(window->nodes()[0].id));

        bar()->eventList()->findChild<QPushButton*>()->click();
        QTRY_COMPARE(bar()->bellButton()->text(), QStringLiteral("事件"));
    }

    void pushEndedByTheAgentWhileAnotherPageIsShown() {
        const Node node = window->nodes()[1];
        const QJsonObject room = simulator->addLiveRoom(
            agents[1].name, {{QStringLiteral("name"), QStringLiteral("晚间直播")},
                             {QStringLiteral("cloudNodeId"), node.id},
                             {QStringLiteral("status"), QStringLiteral("configured")}});
        int status = 0;
        net::agentRequest(node, QStringLiteral("POST"), QStringLiteral("/live/start"),
                          {{QStringLiteral("roomId"), room.value(QStringLiteral("id"))},
                           {QStringLiteral("mode"), QStringLiteral("pull_stream_to_rtmp")},
                           {QStringLiteral("sourceUrl"), QStringLiteral("rtmp://source.example/live/a")},
                           {QStringLiteral("pushUrl"), QStringLiteral("rtmp://target.example/live/b")}},
                          &status);
        QCOMPARE(status, 200);
        // The user looks at the live page once, then goes elsewhere: the rooms are polled at the status
        // cadence from then on.
        window->showPage(shell::PageId::Live);
        window->showPage(shell::PageId::Nodes);
        QTRY_VERIFY_WITH_TIMEOUT(bar()->summaryLabel()->text().endsWith(QStringLiteral("推流 1")), 10000);

        QVERIFY(control({{QStringLiteral("name"), agents[1].name},
                         {QStringLiteral("endPush"),
                          QJsonObject{{QStringLiteral("roomId"), room.value(QStringLiteral("id"))},
                                      {QStringLiteral("error"), QStringLiteral("Broken pipe")}}}}));
        QTRY_COMPARE_WITH_TIMEOUT(rowsStartingWith(QStringLiteral("大阪|推流中断：晚间直播：Broken pipe")), 1,
                                  10000);
        QVERIFY(bar()->summaryLabel()->text().endsWith(QStringLiteral("推流 0")));

        // Choosing it shows the room on the live page.
        bar()->eventList()->table()->cellClicked(0, 2);
        QCOMPARE(window->currentPage(), shell::PageId::Live);
    }
};

ONDIVO_TEST_MAIN_GUI(HistoryFlowTest)
#include "tst_historyflow.moc"
