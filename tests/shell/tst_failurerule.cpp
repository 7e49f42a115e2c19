#include "FakeShell.h"
#include "RecordingServer.h"
#include "TestMain.h"

#include "files/FilesPage.h"
#include "mainwindow/NodeMaintenance.h"
#include "mainwindow/NodesPage.h"
#include "mainwindow/NodesPages.h"
#include "net/RequestResult.h"
#include "proxy/BridgePage.h"
#include "shell/Shell.h"
#include "ui/Dialogs.h"
#include "widgets/PercentTableWidget.h"

using testsupport::RecordingServer;

namespace {

const QByteArray kBridgeList = R"({"bridges": [{"id": "b1", "name": "中转1", "port": 22001, "error": ""}]})";

// The text after lead in the warning shown since the last call; empty when no warning was shown.
QString warnedReason(const QString& lead) {
    for (const ui::testing::Shown& shown : ui::testing::takeShown()) {
        const qsizetype at = shown.text.indexOf(lead);
        if (shown.kind == QLatin1String("warning") && at >= 0)
            return shown.text.mid(at + lead.size());
    }
    return {};
}

} // namespace

// One failure rule: the Node maintenance of the nodes page, the files page's lists and the bridge page
// show the same reason for the same Agent reply; only a bridge reply may carry a blank "error" of its own.
class TestFailureRule : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() {
        ui::testing::setScripted(true);
        ui::testing::reset();
    }

    void samePagesSameText_data() {
        QTest::addColumn<int>("status"); // 0: the Agent is gone before the actions
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("nodesReason");
        QTest::addColumn<QString>("bridgeReason");
        QTest::newRow("no answer") << 0 << QByteArray() << QString() << QString();
        QTest::newRow("500 with error") << 500 << QByteArray(R"({"error": "磁盘已满"})") << "磁盘已满"
                                        << "磁盘已满";
        QTest::newRow("500 without error") << 500 << QByteArray("{}") << "HTTP 500"
                                           << "HTTP 500";
        QTest::newRow("500 with blank error") << 500 << QByteArray(R"({"error": " "})") << "HTTP 500"
                                              << "HTTP 500";
        QTest::newRow("200 with error") << 200 << QByteArray(R"({"error": "已锁定"})") << "已锁定"
                                        << "已锁定";
        QTest::newRow("200 with empty error") << 200 << QByteArray(R"({"error": ""})") << "HTTP 200"
                                              << "";
    }
    void samePagesSameText() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, nodesReason);
        QFETCH(QString, bridgeReason);

        auto agent = std::make_unique<RecordingServer>();
        agent->setDefaultReply(RecordingServer::json(200, kBridgeList));
        Node node;
        node.id = QStringLiteral("n1");
        node.displayName = QStringLiteral("东京");
        node.agentApi = {QStringLiteral("http"), QStringLiteral("127.0.0.1"), agent->port(),
                         QStringLiteral("t")};

        testsupport::FakeShell shell;
        auto* bridges = new proxy::BridgePage(shell);
        shell.host(bridges);
        auto* nodesPage = static_cast<NodesPage*>(mainwindow::createNodesPage(shell).widget);
        shell.host(nodesPage);
        shell.setNodes({node});
        bridges->refreshBridges(false);
        QTRY_COMPARE(bridges->table()->rowCount(), 1);
        QTRY_COMPARE(shell.poller(shell::PollKind::BridgeStatus).waitingCount(), 0);

        if (status == 0) {
            agent.reset();
            nodesReason = bridgeReason =
                net::agentCall(node, QStringLiteral("GET"), QStringLiteral("/")).text();
            QVERIFY(!nodesReason.isEmpty());
        } else {
            agent->setDefaultReply(RecordingServer::json(status, body));
        }
        ui::testing::takeShown();

        bridges->table()->selectRow(0);
        ui::testing::queueAnswer(true);
        bridges->deleteBridge();
        QCOMPARE(warnedReason(QStringLiteral("删除中转失败: ")), bridgeReason);

        nodesPage->table()->selectRow(0);
        nodesPage->maintenance().runGostAction(QStringLiteral("/gost/install"), QStringLiteral("安装 GOST"));
        QCOMPARE(warnedReason(QStringLiteral("东京: ")), nodesReason);
        QVERIFY(!shell.isBusy());

        auto* files = new FilesPage(shell);
        shell.host(files);
        files->load(false);
        QCOMPARE(files->videoTable()->item(0, 4)->text(), nodesReason);
    }
};

ONDIVO_TEST_MAIN_GUI(TestFailureRule)
#include "tst_failurerule.moc"
