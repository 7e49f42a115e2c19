// Renders the nodes page at 1090 px after the memory column was widened, the node filter in use and the
// settings page, against simulated Agents. Run under a display (xvfb-run) with an output directory.
#include "Simulator.h"
#include "TestFiles.h"
#include "TestHome.h"

#include "app/AppConstants.h"
#include "client/ClientWindow.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/NodeStatusRules.h"
#include "mainwindow/NodesPage.h"
#include "mainwindow/PercentTableWidget.h"
#include "model/SignInState.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QTest>

int main(int argc, char** argv) {
    testsupport::isolateHome();
    QApplication app(argc, argv);
    const QString outDir = testsupport::screensOutputDirectory(argc, argv);

    sim::Simulator simulator;
    simulator.start();
    simulator.addAccount(QStringLiteral("demo"), QStringLiteral("demo123456"));
    const char* const names[] = {"hk-1", "tokyo-1", "sg-1", "la-1"};
    const char* const labels[] = {"香港 01", "东京 01", "新加坡 01", "洛杉矶 01"};
    QList<Node> nodeList;
    QStringList agentNames;
    for (int i = 0; i < 4; ++i) {
        sim::AgentOptions options;
        options.name = QString::fromLatin1(names[i]);
        const sim::AgentInfo info = simulator.startAgent(options);
        sim::Usage usage;
        usage.memoryUsedPercent = 55.6 + i * 10;
        usage.diskUsedPercent = 40 + i * 12;
        simulator.pinUsage(info.name, usage);
        Node node = sim::Simulator::agentNode(info, QStringLiteral("srv-") + info.name, QString::fromUtf8(labels[i]));
        node.host = QStringLiteral("203.0.113.%1").arg(100 + i);
        nodeList << node;
        agentNames << info.name;
    }
    simulator.addNodes(QStringLiteral("demo"), QStringLiteral("demo123456"), nodeList, agentNames);
    qputenv(app::kCloudApiUrlVariable, simulator.cloudUrl().toUtf8());
    signInState() = {QStringLiteral("demo"), QStringLiteral("demo123456"),
                     simulator.login(QStringLiteral("demo"), QStringLiteral("demo123456"))};

    auto window = createClientWindow();
    window->move(0, 0);
    window->resize(1090, 520);
    window->show();
    QTest::qWaitFor([&] { return window->nodes().size() == 4; }, 15000);
    auto* page = window->findChild<NodesPage*>(QStringLiteral("nodesPage"));
    page->refreshNodeStatuses();
    QTest::qWaitFor([page] { return !page->statusPollInFlight(); }, 15000);
    PercentTableWidget* table = page->table();
    table->horizontalHeader()->resizeSection(nodes::kMemoryColumn, table->columnWidth(nodes::kMemoryColumn) + 90);
    QTest::qWait(300);
    window->grab().save(outDir + QStringLiteral("/nodes-widened-memory.png"));

    page->filterEdit()->setText(QStringLiteral("东京"));
    QTest::qWait(200);
    window->grab().save(outDir + QStringLiteral("/nodes-filter.png"));

    window->showPage(shell::PageId::Settings);
    QTest::qWait(300);
    window->grab().save(outDir + QStringLiteral("/settings-page.png"));
    return 0;
}
