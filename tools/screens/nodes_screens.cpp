// Renders the nodes page against simulated Agents for a visual check: usage bars in all four colours,
// the context menu open, the changelog dialog. Run under a display (xvfb-run) with an output directory.
#include "ScreensMain.h"
#include "Simulator.h"

#include "app/AppConstants.h"
#include "client/ClientWindow.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/NodeMaintenance.h"
#include "mainwindow/NodesPage.h"
#include "model/SignInState.h"
#include "releases/ChangelogDialog.h"
#include "widgets/PercentTableWidget.h"

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QTest>
#include <QTimer>

namespace {

void settle(int ms) {
    QTest::qWait(ms);
}

void saveScreen(const QString& path) {
    QApplication::primaryScreen()->grabWindow(0).save(path);
}

} // namespace

static int drawScreens(const QString& outDir) {

    sim::Simulator simulator;
    simulator.start();
    simulator.setAgentRelease(
        QStringLiteral("0.5.41"),
        QJsonObject{
            {QStringLiteral("title"), QStringLiteral("Agent 0.5.41 更新日志")},
            {QStringLiteral("items"),
             QJsonArray{
                 QJsonObject{{QStringLiteral("title"), QStringLiteral("修复")},
                             {QStringLiteral("children"),
                              QJsonArray{QJsonObject{{QStringLiteral("title"),
                                                      QStringLiteral("状态接口在磁盘满时不再卡住")}},
                                         QJsonObject{{QStringLiteral("title"),
                                                      QStringLiteral("GOST 重启后保留中转配置")}}}}},
                 QJsonObject{{QStringLiteral("title"), QStringLiteral("新增")},
                             {QStringLiteral("children"),
                              QJsonArray{QJsonObject{{QStringLiteral("title"),
                                                      QStringLiteral("支持 FFmpeg 6.1 一键更新")}}}}}}}});
    simulator.addAccount(QStringLiteral("demo"), QStringLiteral("demo123456"));

    struct Seed {
        const char* name;
        const char* display;
        const char* version;
        double memory;
        double disk;
    };
    const Seed seeds[] = {{"hk-1", "香港 01", "0.5.41", 96.4, 97.2},
                          {"tokyo-1", "东京 01", "0.5.30", 88.1, 86.0},
                          {"sg-1", "新加坡 01", "0.5.41", 74.6, 71.3},
                          {"la-1", "洛杉矶 01", "0.5.38", 31.2, 12.5},
                          {"fra-1", "法兰克福 01", "0.5.41", 20, 20}};
    QList<Node> nodeList;
    QStringList agentNames;
    for (const Seed& seed : seeds) {
        sim::AgentOptions options;
        options.name = QString::fromUtf8(seed.name);
        options.version = QString::fromUtf8(seed.version);
        options.gostInstalled = options.name != QLatin1String("tokyo-1");
        options.mediaMtxRunning = options.name != QLatin1String("sg-1");
        const sim::AgentInfo info = simulator.startAgent(options);
        sim::Usage usage;
        usage.cpu = seed.memory / 3;
        usage.memoryUsedPercent = seed.memory;
        usage.diskUsedPercent = seed.disk;
        usage.rxRate = seed.memory * 40000;
        usage.txRate = seed.disk * 900;
        simulator.pinUsage(info.name, usage);
        Node node = sim::Simulator::agentNode(info, QStringLiteral("srv-") + info.name,
                                              QString::fromUtf8(seed.display));
        node.host = QStringLiteral("203.0.113.%1").arg(nodeList.size() + 10);
        nodeList << node;
        agentNames << info.name;
    }
    simulator.stopAgent(QStringLiteral("fra-1"));
    Node bare;
    bare.displayName = QStringLiteral("新购服务器");
    bare.name = QStringLiteral("srv-new-01");
    bare.host = QStringLiteral("203.0.113.16");
    nodeList << bare;
    agentNames << QString();
    simulator.addNodes(QStringLiteral("demo"), QStringLiteral("demo123456"), nodeList, agentNames);

    qputenv(app::kCloudApiUrlVariable, simulator.cloudUrl().toUtf8());
    signInState() = {QStringLiteral("demo"), QStringLiteral("demo123456"),
                     simulator.login(QStringLiteral("demo"), QStringLiteral("demo123456"))};

    auto owned = createClientWindow();
    MainWindow& window = *owned;
    window.move(0, 0);
    window.resize(1260, 560);
    window.show();
    if (!QTest::qWaitFor([&window] { return window.nodes().size() == 6; }, 15000))
        qWarning("the demo Nodes did not load");
    auto* page = window.findChild<NodesPage*>(QStringLiteral("nodesPage"));
    page->refreshNodeStatuses();
    if (!QTest::qWaitFor([page] { return !page->statusPollInFlight(); }, 15000))
        qWarning("the status poll did not finish");
    settle(300);
    saveScreen(outDir + QStringLiteral("/nodes-page.png"));

    // Two rows selected, the menu open on the second with its engine submenu unfolded.
    page->table()->clearSelection();
    page->table()->selectRow(1);
    page->table()->selectionModel()->select(page->table()->model()->index(2, 0),
                                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const QRect cell = page->table()->visualRect(page->table()->model()->index(2, 3));
    page->applyRightClickSelection(2);
    std::unique_ptr<QMenu> menu = page->createContextMenu();
    const QPoint at = page->table()->viewport()->mapToGlobal(cell.center());
    menu->popup(at);
    settle(200);
    for (QAction* action : menu->actions()) {
        if (action->menu() && action->text() == QStringLiteral("三方服务")) {
            menu->setActiveAction(action);
            const QRect geometry = menu->actionGeometry(action);
            action->menu()->popup(menu->mapToGlobal(QPoint(geometry.right(), geometry.top())));
            settle(200);
            QAction* mediaMtx = action->menu()->actions().value(0);
            action->menu()->setActiveAction(mediaMtx);
            const QRect sub = action->menu()->actionGeometry(mediaMtx);
            mediaMtx->menu()->popup(action->menu()->mapToGlobal(QPoint(sub.right(), sub.top())));
        }
    }
    settle(300);
    saveScreen(outDir + QStringLiteral("/nodes-context-menu.png"));
    menu->hide();
    menu.reset();
    settle(100);

    ChangelogDialog dialog(window.manifests().agentChangelog(), &window);
    dialog.move(120, 20);
    dialog.show();
    settle(300);
    dialog.grab().save(outDir + QStringLiteral("/changelog-dialog.png"));
    dialog.hide();

    ChangelogDialog empty(
        releases::parseChangelog(QJsonObject(), QString::fromUtf8(releases::kAgentChangelogTitle)), &window);
    empty.show();
    settle(300);
    empty.grab().save(outDir + QStringLiteral("/changelog-empty.png"));
    empty.hide();

    // At 1090 px with the memory column widened by a drag, then filtered, then the settings page.
    window.resize(1090, 520);
    settle(200);
    page->table()->horizontalHeader()->resizeSection(8, page->table()->columnWidth(8) + 90);
    settle(200);
    window.grab().save(outDir + QStringLiteral("/nodes-widened-memory.png"));
    page->filterEdit()->setText(QStringLiteral("东京"));
    settle(200);
    window.grab().save(outDir + QStringLiteral("/nodes-filter.png"));
    window.showPage(shell::PageId::Settings);
    settle(300);
    window.grab().save(outDir + QStringLiteral("/settings-page.png"));
    return 0;
}

int main(int argc, char** argv) {
    return screens::run(argc, argv, drawScreens);
}
