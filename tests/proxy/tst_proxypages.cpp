#include "FakeShell.h"
#include "Simulator.h"
#include "TestMain.h"

#include "app/Settings.h"
#include "net/AgentEndpoint.h"
#include "proxy/BridgePage.h"
#include "proxy/ProxyPage.h"
#include "proxy/ProxyRules.h"
#include "proxy/ProxyTiming.h"
#include "ui/Dialogs.h"
#include "widgets/NodeFilterCombo.h"
#include "widgets/PercentTableWidget.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLineEdit>
#include <QProcess>
#include <QSpinBox>
#include <QTcpServer>

using testsupport::FakeShell;

namespace {

int freePort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

QString cell(QTableWidget* table, int row, int column) {
    const QTableWidgetItem* item = table->item(row, column);
    return item ? item->text() : QString();
}

// The row whose column holds text, or -1.
int rowWith(QTableWidget* table, int column, const QString& text) {
    for (int row = 0; row < table->rowCount(); ++row) {
        if (cell(table, row, column) == text)
            return row;
    }
    return -1;
}

QStringList lastShown() {
    QStringList texts;
    for (const ui::testing::Shown& shown : ui::testing::takeShown())
        texts << shown.kind + QLatin1Char(':') + shown.text;
    return texts;
}

} // namespace

class ProxyPagesTest : public QObject {
    Q_OBJECT

    sim::Simulator sim_;

    Node nodeOn(const QString& agent, const QString& label) {
        Node node = sim::Simulator::agentNode(sim_.agent(agent), label, label);
        node.id = QStringLiteral("id-") + label;
        return node;
    }

    QJsonObject bridgeJson(const QString& name, int port, const QString& upstreamHost = QString(),
                           int upstreamPort = 0) {
        return {{QStringLiteral("name"), name},
                {QStringLiteral("port"), port},
                {QStringLiteral("username"), QStringLiteral("u")},
                {QStringLiteral("password"), QStringLiteral("p")},
                {QStringLiteral("upstreamHost"), upstreamHost},
                {QStringLiteral("upstreamPort"), upstreamPort}};
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(sim_.start());
        for (const char* name : {"alpha", "beta", "silent"})
            sim_.startAgent({QString::fromLatin1(name)});
        sim::AgentOptions noGost;
        noGost.name = QStringLiteral("nogost");
        noGost.gostInstalled = false;
        sim_.startAgent(noGost);
        sim_.startAgent({QStringLiteral("gone")});
        sim_.stopAgent(QStringLiteral("gone"));
        ui::testing::setScripted(true);
    }
    void init() {
        proxy::timing.pollIdleMs = 1500;
        testsupport::clearSettings();
        ui::testing::reset();
        sim_.clearFaults();
    }

    // Rows follow Node ids: each Node's reply reaches its own row even after a reload moved it, a silent
    // Agent holds back only its own row, and Nodes without Agent data or answer get their state words.
    void proxyPollFollowsNodes() {
        sim_.startProxy(QStringLiteral("alpha"), 21080, QStringLiteral("a"), QStringLiteral("pa"));
        Node noAgent = nodeOn(QStringLiteral("beta"), QStringLiteral("N"));
        noAgent.agentApi.token.clear();
        const QList<Node> nodes{nodeOn("alpha", "A"), noAgent, nodeOn("gone", "G"), nodeOn("silent", "S")};
        FakeShell shell;
        proxy::ProxyPage page(shell);
        shell.setNodes(nodes);
        QTableWidget* table = page.table();
        sim_.setFault(QStringLiteral("silent"), QStringLiteral("GET"), QStringLiteral("/proxy/status"),
                      sim::Fault{.hang = true});
        page.refreshStatuses();
        QCOMPARE(cell(table, 1, 0), QStringLiteral("未接入"));
        QCOMPARE(cell(table, 1, 12), QStringLiteral("缺少 Agent API 信息"));
        QTRY_COMPARE(cell(table, 0, 0), QStringLiteral("运行中"));
        QTRY_COMPARE(cell(table, 2, 0), QStringLiteral("离线"));
        QCOMPARE(cell(table, 0, 3), QStringLiteral("21080"));
        QCOMPARE(cell(table, 0, 7), QStringLiteral("2")); // three connections from two addresses
        QCOMPARE(cell(table, 3, 0), QStringLiteral("未知"));

        // The silent Agent still waits; the next cycle reaches the others all the same.
        sim_.startProxy(QStringLiteral("alpha"), 21081, QStringLiteral("a"), QStringLiteral("pa"));
        page.refreshStatuses();
        QTRY_COMPARE(cell(table, 0, 3), QStringLiteral("21081"));

        // A reply sent before a reload lands on its Node's new row.
        sim_.setFault(QStringLiteral("alpha"), QStringLiteral("GET"), QStringLiteral("/proxy/status"),
                      sim::Fault{.delayMs = 400});
        page.refreshStatuses();
        shell.setNodes({nodes[2], nodes[1], nodes[0]});
        QCOMPARE(cell(table, 2, 0), QStringLiteral("未知"));
        QTRY_COMPARE(cell(table, 2, 0), QStringLiteral("运行中"));
        QCOMPARE(cell(table, 2, 1), QStringLiteral("A"));
        QCOMPARE(cell(table, 1, 0), QStringLiteral("未知"));
    }

    // Start with the stored defaults, a refused start, and copy on a row whose Node left the list.
    void proxyActions() {
        FakeShell shell;
        proxy::ProxyPage page(shell);
        shell.setNodes({nodeOn("beta", "B"), nodeOn("nogost", "X")});
        const proxy::ProxyDefaults defaults = proxy::loadProxyDefaults();
        page.table()->selectRow(0);
        page.startProxies();
        QCOMPARE(lastShown(), QStringList());
        QCOMPARE(cell(page.table(), 0, 0), QStringLiteral("运行中"));
        const QJsonObject state =
            sim_.snapshot(QStringLiteral("beta")).value(QStringLiteral("proxy")).toObject();
        QCOMPARE(state.value(QStringLiteral("password")).toString(), defaults.password);
        QCOMPARE(shell.statusText(), QStringLiteral("代理请求完成"));
        QVERIFY(!shell.isBusy());

        // Stopping a running proxy asks first, saying it runs; No sends nothing.
        const auto stopCalls = [this] {
            return sim_.callCount("beta", "POST", "/proxy/stop");
        };
        const int stopsBefore = stopCalls();
        page.stopProxies();
        const QStringList asked = lastShown();
        QCOMPARE(asked.size(), 1);
        const QString live = proxy::liveNote(1, cell(page.table(), 0, 6).toInt());
        QVERIFY2(asked.first().startsWith(QStringLiteral("question:") + live), qPrintable(asked.first()));
        QCOMPARE(stopCalls(), stopsBefore);
        QCOMPARE(cell(page.table(), 0, 0), QStringLiteral("运行中"));

        page.table()->selectRow(1);
        page.startProxies();
        QCOMPARE(lastShown(), QStringList{QStringLiteral("warning:代理请求失败: GOST 未安装")});
        QCOMPARE(cell(page.table(), 1, 0), QStringLiteral("失败"));
        QCOMPARE(cell(page.table(), 1, 12), QStringLiteral("GOST 未安装"));
        QVERIFY(shell.statusText() != QStringLiteral("代理请求完成"));

        page.table()->selectRow(0);
        page.copyConnection();
        QVERIFY(QApplication::clipboard()->text().contains(defaults.password));
        QVERIFY(!shell.statusText().contains(defaults.password)); // never echoed
        QVERIFY(!cell(page.table(), 0, 5).contains(defaults.password));
        QApplication::clipboard()->setText(QStringLiteral("before"));
        shell.setNodes({nodeOn("nogost", "X")});
        page.copyConnection();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("before"));
        QCOMPARE(lastShown(), QStringList{QStringLiteral("information:请先选择一个节点。")});
        sim_.startProxy(QStringLiteral("beta"), 0, QString(), QString());
    }

    // A success whose body is no JSON object is a failure on both pages: a failed proxy row (poll and
    // action), never "已停止"; a bridge list named in the status line, never a Node without bridges.
    void unreadableRepliesAreFailures() {
        const sim::Fault malformed{.malformedJson = true};
        sim_.setFault(QStringLiteral("alpha"), QStringLiteral("GET"), QStringLiteral("/proxy/status"),
                      malformed);
        sim_.setFault(QStringLiteral("alpha"), QStringLiteral("POST"), QStringLiteral("/proxy/stop"),
                      malformed);
        sim_.setFault(QStringLiteral("alpha"), QStringLiteral("GET"), QStringLiteral("/proxy/bridges"),
                      malformed);
        FakeShell shell;
        proxy::ProxyPage page(shell);
        shell.setNodes({nodeOn("alpha", "A")});
        page.refreshStatuses();
        QTRY_COMPARE(cell(page.table(), 0, 0), QStringLiteral("失败"));
        QCOMPARE(cell(page.table(), 0, 12), QStringLiteral("回复格式错误"));
        page.table()->selectRow(0);
        ui::testing::queueAnswer(true);
        page.stopProxies();
        QCOMPARE(lastShown().filter(QStringLiteral("warning:")),
                 QStringList{QStringLiteral("warning:代理请求失败: 回复格式错误")});

        proxy::BridgePage bridges(shell);
        bridges.refreshBridges(true);
        QTRY_VERIFY(shell.statusText().startsWith(QStringLiteral("中转已刷新")));
        QCOMPARE(shell.statusText(), QStringLiteral("中转已刷新；中转列表读取失败：A: 回复格式错误"));
    }

    // The bridge list: a filter on a Node without Agent data, rows of other Nodes kept while one Node is
    // filtered or fails, the selection after deleting the last row, a reload that moves and renames Nodes.
    void bridgeRefreshAndMerge() {
        sim_.addBridge(QStringLiteral("alpha"), bridgeJson(QStringLiteral("a1"), 22001));
        sim_.addBridge(QStringLiteral("alpha"), bridgeJson(QStringLiteral("a2"), 22002));
        sim_.addBridge(QStringLiteral("beta"), bridgeJson(QStringLiteral("b1"), 22003));
        Node noAgent = nodeOn(QStringLiteral("beta"), QStringLiteral("N"));
        noAgent.agentApi.host.clear();
        const QList<Node> nodes{nodeOn("alpha", "A"), nodeOn("beta", "B"), noAgent};
        FakeShell shell;
        proxy::BridgePage page(shell);
        shell.setNodes(nodes);
        QTableWidget* table = page.table();
        page.refreshBridges(true);
        QTRY_COMPARE(table->rowCount(), 4); // three bridges and the row of the Node without Agent data
        QCOMPARE(shell.statusText(), QStringLiteral("中转已刷新"));

        // Failed Nodes show one row saying why, as the other pages do; the Node without Agent data is
        // never asked.
        const int callsBefore =
            sim_.callCount(QStringLiteral("beta"), QStringLiteral("GET"), QStringLiteral("/proxy/bridges"));
        page.showOnlyNode(noAgent.id);
        QCOMPARE(shell.statusText(), QStringLiteral("中转已刷新"));
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(cell(table, 0, 0), QString::fromUtf8(proxy::kStateNoAgent));
        QCOMPARE(cell(table, 0, 12), QString::fromUtf8(kNoAgentEndpointText));
        QCOMPARE(
            sim_.callCount(QStringLiteral("beta"), QStringLiteral("GET"), QStringLiteral("/proxy/bridges")),
            callsBefore);

        sim_.setFault(QStringLiteral("alpha"), QStringLiteral("GET"), QStringLiteral("/proxy/bridges"),
                      sim::Fault{.status = 500});
        page.showOnlyNode(nodes[0].id);
        QTRY_COMPARE(cell(table, 0, 0), QString::fromUtf8(proxy::kStateFailed));
        QCOMPARE(table->rowCount(), 1);
        QVERIFY(cell(table, 0, 12) != QStringLiteral("--"));
        table->selectRow(0);
        page.deleteBridge(); // a failure row names no bridge: nothing is asked or sent
        QCOMPARE(lastShown(), QStringList{QStringLiteral("information:请先选择一个中转。")});
        sim_.clearFaults();
        page.showOnlyNode(QString());
        QTRY_COMPARE(table->rowCount(), 4);
        QTRY_COMPARE(rowWith(table, 0, QString::fromUtf8(proxy::kStateFailed)), -1);

        // Deleting the selected last row selects the new last row.
        table->selectRow(3);
        const QString deletedName = cell(table, 3, 1);
        ui::testing::queueAnswer(true);
        page.deleteBridge();
        QCOMPARE(shell.statusText(), QStringLiteral("中转已删除"));
        QCOMPARE(table->rowCount(), 3);
        QCOMPARE(table->currentRow(), 2);
        QCOMPARE(rowWith(table, 1, deletedName), -1);

        // A reload reorders and renames: rows keep their bridges and show the new names.
        const QString selectedName = cell(table, 2, 1);
        Node renamed = nodes[0];
        renamed.displayName = QStringLiteral("A2");
        shell.setNodes({nodes[1], renamed});
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(cell(table, table->currentRow(), 1), selectedName);
        page.refreshBridges(false);
        QTest::qWait(300);
        QTRY_COMPARE(shell.poller(shell::PollKind::BridgeStatus).waitingCount(), 0);
        QCOMPARE(table->rowCount(), 2);
        QVERIFY(rowWith(table, 2, QStringLiteral("A2")) >= 0);
    }

    // An upstream test's result shows when the test ends, not at the page's next status tick (which
    // this page alone never gets).
    void bridgeTestResultShowsWhenItEnds() {
        sim_.setBridgeTestDurationMs(600);
        proxy::timing.bridgeTestFollowMs = 150;
        sim_.addBridge(QStringLiteral("beta"),
                       bridgeJson(QStringLiteral("tested"), 22030, "127.0.0.1", freePort()));
        FakeShell shell;
        proxy::BridgePage page(shell);
        shell.setNodes({nodeOn("beta", "B")});
        page.refreshBridges(false);
        QTRY_VERIFY(rowWith(page.table(), 1, QStringLiteral("tested")) >= 0);
        const int row = rowWith(page.table(), 1, QStringLiteral("tested"));
        page.table()->selectRow(row);
        page.testBridgeUpstream();
        QCOMPARE(cell(page.table(), row, 5), QStringLiteral("测试中"));
        QTRY_VERIFY_WITH_TIMEOUT(cell(page.table(), row, 5) != QStringLiteral("测试中"), 5000);
        QVERIFY(cell(page.table(), row, 7) != QStringLiteral("--")); // tested at
        proxy::timing.bridgeTestFollowMs = 1000;
        sim_.setBridgeTestDurationMs(3000);
    }

    // A bridge deleted while a list request waits does not come back with its stale reply; copy on a row
    // whose Node is gone copies nothing.
    void bridgeDeleteDuringRefresh() {
        const QString id = sim_.addBridge(QStringLiteral("beta"), bridgeJson(QStringLiteral("late"), 22010))
                               .value("id")
                               .toString();
        FakeShell shell;
        proxy::BridgePage page(shell);
        shell.setNodes({nodeOn("beta", "B")});
        page.refreshBridges(false);
        QTRY_VERIFY(rowWith(page.table(), 1, QStringLiteral("late")) >= 0);
        sim_.setFault(QStringLiteral("beta"), QStringLiteral("GET"), QStringLiteral("/proxy/bridges"),
                      sim::Fault{.staleMs = 800});
        const auto listCalls = [&] {
            return sim_.callCount(QStringLiteral("beta"), QStringLiteral("GET"),
                                  QStringLiteral("/proxy/bridges"));
        };
        const int before = listCalls();
        page.refreshBridges(false);
        QTRY_VERIFY(listCalls() > before);
        QTest::qWait(50); // the Agent has listed the bridge; its answer is still on the way
        page.table()->selectRow(rowWith(page.table(), 1, QStringLiteral("late")));
        ui::testing::queueAnswer(true);
        page.deleteBridge();
        QTRY_COMPARE(shell.poller(shell::PollKind::BridgeStatus).waitingCount(), 0);
        QCOMPARE(rowWith(page.table(), 1, QStringLiteral("late")), -1);
        for (const proxy::ProxyBridgeRow& row : page.rows())
            QVERIFY(row.id != id);

        // Rows of another Node next to the selected one: the selection must not slide onto them.
        shell.setNodes({nodeOn("beta", "B"), nodeOn("alpha", "A")});
        page.refreshBridges(false);
        QTRY_COMPARE(shell.poller(shell::PollKind::BridgeStatus).waitingCount(), 0);
        const int bRow = rowWith(page.table(), 2, QStringLiteral("B"));
        QVERIFY(bRow >= 0 && rowWith(page.table(), 2, QStringLiteral("A")) >= 0);
        page.table()->selectRow(bRow);
        QApplication::clipboard()->setText(QStringLiteral("before"));
        shell.setNodes({nodeOn("alpha", "A")});
        ui::testing::takeShown();
        page.copyBridgeConnection();
        QCOMPARE(lastShown(), QStringList{QStringLiteral("information:请先选择一个中转。")});
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("before"));
    }

    // The copied URL of a bridge works with curl: the simulator relays the entry to a real microsocks,
    // with "@", ":", "/" and non-ASCII characters in the entry account.
    // The default port is held by the Node's proxy and the next by a bridge: the new bridge takes the
    // next free one instead of being refused.
    void newBridgeAvoidsPortsInUse() {
        const int base = freePort();
        sim_.startProxy(QStringLiteral("beta"), base, QStringLiteral("a"), QStringLiteral("pa"));
        sim_.addBridge(QStringLiteral("beta"), bridgeJson(QStringLiteral("old"), base + 1));
        proxy::saveProxyDefaults({base, QStringLiteral("u"), QStringLiteral("p")});
        FakeShell shell;
        proxy::BridgePage page(shell);
        shell.setNodes({nodeOn("beta", "B")});
        page.refreshBridges(false);
        QTRY_VERIFY(rowWith(page.table(), 1, QStringLiteral("old")) >= 0);
        ui::testing::queueDialog([](QDialog& dialog) {
            dialog.findChild<QLineEdit*>(QStringLiteral("nameEdit"))->setText(QStringLiteral("new"));
            return int(QDialog::Accepted);
        });
        page.createBridge();
        QCOMPARE(shell.statusText(), QStringLiteral("中转创建完成"));
        const auto created = std::find_if(page.rows().begin(), page.rows().end(),
                                          [](const proxy::ProxyBridgeRow& row) { return row.name == "new"; });
        QVERIFY(created != page.rows().end());
        QCOMPARE(created->port, base + 2);
    }

    void copiedUrlWorksWithCurl() {
        const QString microsocks = QStandardPaths::findExecutable(QStringLiteral("microsocks"));
        const QString curl = QStandardPaths::findExecutable(QStringLiteral("curl"));
        if (microsocks.isEmpty() || curl.isEmpty())
            QSKIP("microsocks or curl is not installed");
        const int upstreamPort = freePort();
        QProcess upstream;
        upstream.start(microsocks,
                       {"-i", "127.0.0.1", "-p", QString::number(upstreamPort), "-u", "up", "-P", "up:pass"});
        QVERIFY(upstream.waitForStarted());
        auto stopUpstream = qScopeGuard([&] {
            upstream.terminate();
            upstream.waitForFinished(2000);
        });
        QTest::qWait(200);

        // Created with the stored defaults as entry account, then pointed at microsocks in the editor.
        proxy::saveProxyDefaults(
            {freePort(), QStringLiteral("us@er:/名"), QStringLiteral("p@ss:/w%rd 密码")});
        FakeShell shell;
        proxy::BridgePage page(shell);
        shell.setNodes({nodeOn("silent", "S")});
        ui::testing::queueDialog([](QDialog& dialog) {
            dialog.findChild<QLineEdit*>(QStringLiteral("nameEdit"))->setText(QStringLiteral(" relay "));
            return int(QDialog::Accepted);
        });
        page.createBridge();
        QCOMPARE(shell.statusText(), QStringLiteral("中转创建完成"));
        QCOMPARE(page.table()->currentRow(), rowWith(page.table(), 1, QStringLiteral("relay")));
        ui::testing::queueDialog([upstreamPort](QDialog& dialog) {
            dialog.findChild<QLineEdit*>(QStringLiteral("upstreamHostEdit"))
                ->setText(QStringLiteral("127.0.0.1"));
            dialog.findChild<QSpinBox*>(QStringLiteral("upstreamPortSpin"))->setValue(upstreamPort);
            dialog.findChild<QLineEdit*>(QStringLiteral("upstreamUsernameEdit"))
                ->setText(QStringLiteral("up"));
            dialog.findChild<QLineEdit*>(QStringLiteral("upstreamPasswordEdit"))
                ->setText(QStringLiteral("up:pass"));
            return int(QDialog::Accepted);
        });
        page.editBridge();
        QCOMPARE(shell.statusText(), QStringLiteral("中转保存完成"));
        QCOMPARE(lastShown(), QStringList({QStringLiteral("dialog:"), QStringLiteral("dialog:")}));
        page.setBridgeRunning(true);
        QCOMPARE(lastShown(), QStringList());
        QCOMPARE(cell(page.table(), page.table()->currentRow(), 0), QStringLiteral("运行中"));
        page.copyBridgeConnection();
        const QString url = QApplication::clipboard()->text();
        QVERIFY2(!url.contains(QStringLiteral("名")) && url.count(QLatin1Char('@')) == 1, qPrintable(url));

        QProcess client;
        client.start(curl, {"-sS", "--max-time", "10", "--proxy", url, sim_.cloudUrl() + "/__sim/state"});
        QVERIFY(client.waitForFinished(15000));
        QVERIFY2(client.exitCode() == 0, client.readAllStandardError().constData());
        QVERIFY(client.readAllStandardOutput().contains("\"agents\""));

        // A wrong password is refused by the entry: the relay really checks the account.
        QString wrong = url;
        wrong.replace(QStringLiteral("w%25rd"), QStringLiteral("x"));
        client.start(curl, {"-sS", "--max-time", "10", "--proxy", wrong, sim_.cloudUrl() + "/__sim/state"});
        QVERIFY(client.waitForFinished(15000));
        QVERIFY(client.exitCode() != 0);
        page.setBridgeRunning(false);
    }
};

ONDIVO_TEST_MAIN_GUI(ProxyPagesTest)
#include "tst_proxypages.moc"
