// Renders the proxy and bridge pages against simulated Agents for a visual check: running, stopped and
// failed rows, the defaults dialog and the bridge dialogs. Run under a display (xvfb-run) with an output
// directory.
#include "FakeShell.h"
#include "ScreensMain.h"
#include "Simulator.h"

#include "proxy/BridgePage.h"
#include "proxy/ProxyDialogs.h"
#include "proxy/ProxyPage.h"
#include "proxy/ProxyTiming.h"
#include "widgets/PercentTableWidget.h"

#include <QApplication>
#include <QDir>
#include <QTableWidget>
#include <QTest>

namespace {

Node nodeOn(const sim::Simulator& simulator, const QString& agent, const QString& label) {
    Node node = sim::Simulator::agentNode(simulator.agent(agent), label, label);
    node.id = QStringLiteral("id-") + agent;
    return node;
}

QJsonObject bridge(const QString& name, int port, const QString& upstreamHost, int upstreamPort,
                   bool running) {
    return {{QStringLiteral("name"), name},
            {QStringLiteral("port"), port},
            {QStringLiteral("username"), QStringLiteral("relay")},
            {QStringLiteral("password"), QStringLiteral("Kq7mZp2xRt9wLb4n")},
            {QStringLiteral("upstreamHost"), upstreamHost},
            {QStringLiteral("upstreamPort"), upstreamPort},
            {QStringLiteral("running"), running}};
}

void grabDialog(QDialog& dialog, const QString& path) {
    dialog.show();
    QTest::qWait(300);
    dialog.grab().save(path);
    dialog.close();
}

} // namespace

static int drawScreens(const QString& outDir) {

    sim::Simulator simulator;
    simulator.start();
    simulator.setBridgeTestDurationMs(200);
    for (const char* name : {"tokyo", "frankfurt", "london", "virginia", "seoul", "paris"})
        simulator.startAgent({QString::fromLatin1(name)});
    simulator.startProxy(QStringLiteral("tokyo"), 1080, QStringLiteral("ondivo"),
                         QStringLiteral("Kq7mZp2xRt9wLb4n"));
    simulator.startProxy(QStringLiteral("frankfurt"), 1081, QStringLiteral("team"),
                         QStringLiteral("Yh3sDf8gJk2mNp5q"));
    simulator.setFault(QStringLiteral("virginia"), QStringLiteral("GET"), QStringLiteral("/proxy/status"),
                       sim::Fault{.status = 409, .errorText = QStringLiteral("GOST 未安装")});
    simulator.stopAgent(QStringLiteral("seoul"));

    // Bridges: one running and tested, one stopped whose test failed, one without upstream, one testing.
    const QString tokyoAgent = QStringLiteral("tokyo");
    simulator.addBridge(tokyoAgent, bridge(QStringLiteral("美国账号代理"), 20001,
                                           QStringLiteral("198.51.100.40"), 1080, true));
    simulator.addBridge(tokyoAgent,
                        bridge(QStringLiteral("日本出口"), 20002, QStringLiteral("127.0.0.1"), 1, false));
    simulator.addBridge(QStringLiteral("frankfurt"),
                        bridge(QStringLiteral("待配置"), 20003, QString(), 0, false));
    simulator.addBridge(QStringLiteral("frankfurt"),
                        bridge(QStringLiteral("欧洲出口"), 20004, QStringLiteral("203.0.113.7"), 1080, true));

    testsupport::FakeShell shell;
    shell.window().resize(1240, 460);
    Node noAgent = nodeOn(simulator, QStringLiteral("paris"), QStringLiteral("巴黎-未接入"));
    noAgent.agentApi.token.clear();
    shell.setNodes({nodeOn(simulator, QStringLiteral("tokyo"), QStringLiteral("东京-01")),
                    nodeOn(simulator, QStringLiteral("frankfurt"), QStringLiteral("法兰克福-02")),
                    nodeOn(simulator, QStringLiteral("london"), QStringLiteral("伦敦-05")),
                    nodeOn(simulator, QStringLiteral("virginia"), QStringLiteral("弗吉尼亚-03")),
                    nodeOn(simulator, QStringLiteral("seoul"), QStringLiteral("首尔-04")), noAgent});

    auto* proxyPage = new proxy::ProxyPage(shell);
    shell.host(proxyPage, true);
    proxyPage->refreshStatuses();
    QTest::qWait(1500);
    proxyPage->table()->selectRow(0);
    QTest::qWait(200);
    shell.window().grab().save(outDir + QStringLiteral("/proxy-page.png"));

    proxy::ProxyDefaultsDialog defaults(proxy::loadProxyDefaults(), &shell.window());
    grabDialog(defaults, outDir + QStringLiteral("/proxy-defaults-dialog.png"));

    proxyPage->hide();
    auto* bridgePage = new proxy::BridgePage(shell);
    shell.host(bridgePage, true);
    bridgePage->show();
    bridgePage->refreshBridges(true);
    QTest::qWait(1200);
    // Test three bridges: two finish (one with a failed connect on loopback), one stays in progress.
    for (int row = 0; row < bridgePage->table()->rowCount(); ++row) {
        const QString name = bridgePage->table()->item(row, 1)->text();
        if (name == QStringLiteral("日本出口") || name == QStringLiteral("美国账号代理")) {
            bridgePage->table()->selectRow(row);
            bridgePage->testBridgeUpstream();
        }
    }
    QTest::qWait(400);
    bridgePage->refreshBridges(false);
    QTest::qWait(800);
    simulator.setBridgeTestDurationMs(600000);
    for (int row = 0; row < bridgePage->table()->rowCount(); ++row) {
        if (bridgePage->table()->item(row, 1)->text() == QStringLiteral("欧洲出口")) {
            bridgePage->table()->selectRow(row);
            bridgePage->testBridgeUpstream();
        }
    }
    bridgePage->table()->selectRow(0);
    QTest::qWait(300);
    shell.window().grab().save(outDir + QStringLiteral("/bridge-page.png"));

    proxy::BridgeCreateDialog create(shell.nodes(), QStringLiteral("id-tokyo"), &shell.window());
    grabDialog(create, outDir + QStringLiteral("/bridge-create-dialog.png"));
    proxy::BridgeEditDialog edit(bridgePage->rows().first(), &shell.window());
    grabDialog(edit, outDir + QStringLiteral("/bridge-edit-dialog.png"));
    return 0;
}

int main(int argc, char** argv) {
    return screens::run(argc, argv, drawScreens);
}
