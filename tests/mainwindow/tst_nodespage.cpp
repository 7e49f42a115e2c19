#include "NodesTestWindow.h"
#include "TestMain.h"

#include "console/NodeWindow.h"
#include "mainwindow/MainWindowTiming.h"
#include "mainwindow/NodeMaintenance.h"
#include "widgets/NodeFilterCombo.h"
#include "widgets/UsageProgressDelegate.h"

#include "account/CloudNodeRules.h"
#include "ui/PlainText.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QTextDocument>
#include <numeric>

using testsupport::agentNode;
using testsupport::RecordingServer;

namespace {

const QByteArray kFullStatus = R"({"agentVersion": "0.5.30", "cpu": 12.34,
    "memory": {"usedPercent": 95, "used": 1024, "total": 2048},
    "disk": {"usedPercent": 130, "used": 13, "total": 10},
    "network": {"rxRate": 2048, "txRate": 5},
    "mediaMTX": {"installed": true, "running": true, "version": "v1.9.3"},
    "gost": {"installed": true}, "ffmpeg": {"installed": false}})";

QByteArray statusWithCpu(double cpu) {
    return QByteArray(R"({"agentVersion": "0.5.41", "cpu": )") + QByteArray::number(cpu) +
           R"(, "memory": {"usedPercent": 50, "used": 512, "total": 1024}, "disk": {"usedPercent": 10, "used": 1, "total": 10},
              "network": {"rxRate": 1, "txRate": 1}})";
}

// Menu entries in order; "-" for a separator, "name>" opens a submenu listed after it in brackets.
QStringList entries(const QMenu* menu) {
    QStringList list;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator())
            list << QStringLiteral("-");
        else if (action->menu())
            list << action->text() + QStringLiteral("[") + entries(action->menu()).join(QLatin1Char(',')) +
                        QStringLiteral("]");
        else
            list << action->text();
    }
    return list;
}

} // namespace

class TestNodesPage : public QObject {
    Q_OBJECT

    testsupport::NodesTestWindow fixture;

    bool waitForCycleEnd() {
        return QTest::qWaitFor([this] { return !fixture.page()->statusPollInFlight(); }, 10000);
    }

private Q_SLOTS:
    void init() {
        testsupport::clearSettings();
        QVERIFY(fixture.open());
    }
    void cleanup() {
        fixture.window.reset();
        fixture.cloud.reset();
    }

    void tableLayoutAndFill() {
        Node tokyo = agentNode(QStringLiteral("n1"), QStringLiteral("东京"), 1);
        tokyo.lastAgentVersion = QStringLiteral("0.5.30");
        Node osaka = agentNode(QStringLiteral("n2"), QString(), 1);
        osaka.name = QStringLiteral("osaka-1");
        fixture.setNodes({tokyo, osaka});

        PercentTableWidget* table = fixture.table();
        QCOMPARE(table->columnCount(), 12);
        QCOMPARE(table->horizontalHeaderItem(3)->text(), QStringLiteral("Agent版本"));
        QCOMPARE(table->horizontalHeaderItem(10)->text(), QStringLiteral("网络"));
        QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(table->selectionMode(), QAbstractItemView::ExtendedSelection);
        QCOMPARE(table->contextMenuPolicy(), Qt::CustomContextMenu);
        QVERIFY(dynamic_cast<UsageProgressDelegate*>(table->itemDelegateForColumn(8)));
        QVERIFY(dynamic_cast<UsageProgressDelegate*>(table->itemDelegateForColumn(9)));
        QVERIFY(!dynamic_cast<UsageProgressDelegate*>(table->itemDelegateForColumn(7)));
        QCOMPARE(table->firstColumnWidth(), 120);
        QCOMPARE(table->percentages(), (QList<int>{8, 10, 7, 8, 7, 7, 6, 12, 12, 11, 12}));

        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(fixture.cell(0, 0), QStringLiteral("东京"));
        QCOMPARE(fixture.cell(0, 1), QStringLiteral("10.0.0.1"));
        QCOMPARE(fixture.cell(0, 2), QStringLiteral("东京-srv"));
        QCOMPARE(fixture.cell(0, 3), QStringLiteral("0.5.30 -> 0.5.41"));
        QCOMPARE(fixture.cell(1, 0), QStringLiteral("osaka-1"));
        QCOMPARE(fixture.cell(1, 3), QStringLiteral("--"));
        for (int column = 4; column < 11; ++column)
            QCOMPARE(fixture.cell(0, column), QStringLiteral("--"));
        const QTableWidgetItem* item = table->item(0, 5);
        QCOMPARE(Qt::Alignment(item->textAlignment()), Qt::AlignCenter);
        QVERIFY(!(item->flags() & Qt::ItemIsEditable));

        fixture.setNodes({osaka});
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(fixture.cell(0, 0), QStringLiteral("osaka-1"));
    }

    void columnWidthsAtNarrowViewport() {
        fixture.window->window().show();
        PercentTableWidget* table = fixture.table();
        QVERIFY(QTest::qWaitForWindowExposed(&fixture.window->window()));
        const int chrome = table->width() - table->viewport()->width();
        table->setMinimumWidth(0);
        fixture.page()->layout()->removeWidget(table);
        table->resize(150 + chrome, 300);
        QTRY_COMPARE(table->viewport()->width(), 150);
        QCOMPARE(table->columnWidth(0), 80);
        for (int column = 1; column < 12; ++column)
            QCOMPARE(table->columnWidth(column), 40);
        QCOMPARE(table->horizontalHeader()->sectionResizeMode(11), QHeaderView::Interactive);
        QVERIFY(!table->horizontalHeader()->stretchLastSection());

        table->resize(1120 + chrome, 300);
        QTRY_COMPARE(table->viewport()->width(), 1120);
        QCOMPARE(table->columnWidth(0), 120);
        QCOMPARE(table->columnWidth(8), 120);
        QCOMPARE(table->columnWidth(10), 110);
        QCOMPARE(table->columnWidth(11), 120);
    }

    void nodesWithoutAgentShowUnconnectedWithoutRequests() {
        RecordingServer agent;
        Node noToken = agentNode(QStringLiteral("n1"), QStringLiteral("甲"), agent.port(), QString());
        Node noHost = agentNode(QStringLiteral("n2"), QStringLiteral("乙"), agent.port());
        noHost.agentApi.host.clear();
        fixture.setNodes({noToken, noHost});
        fixture.page()->refreshNodeStatuses();
        QVERIFY(!fixture.page()->statusPollInFlight());
        for (int row = 0; row < 2; ++row) {
            QCOMPARE(fixture.cell(row, 10), QStringLiteral("未接入"));
            for (int column = 3; column < 10; ++column)
                QCOMPARE(fixture.cell(row, column), QStringLiteral("--"));
        }
        QTest::qWait(50);
        QVERIFY(agent.requests().isEmpty());
    }

    void emptyListPollsNothing() {
        fixture.setNodes({});
        fixture.page()->refreshNodeStatuses();
        QVERIFY(!fixture.page()->statusPollInFlight());
    }

    // A load asks every Node at once (no tick needed), and a reload shows each Node's last values, on
    // its new row, until its next reply.
    void reloadKeepsLastValuesAndPollsAtOnce() {
        RecordingServer healthy;
        healthy.setDefaultReply(RecordingServer::json(200, kFullStatus));
        const Node node = agentNode(QStringLiteral("n1"), QStringLiteral("甲"), healthy.port());
        fixture.setNodes({node});
        QTRY_COMPARE(fixture.cell(0, 7), QStringLiteral("12.3%"));
        QVERIFY(waitForCycleEnd());
        healthy.setDefaultReply(RecordingServer::json(200, statusWithCpu(50)));
        fixture.setNodes({agentNode(QStringLiteral("n0"), QStringLiteral("乙"), 1), node});
        QCOMPARE(fixture.cell(1, 7), QStringLiteral("12.3%"));
        QCOMPARE(fixture.cell(0, 7), QStringLiteral("--"));
        QTRY_COMPARE(fixture.cell(1, 7), QStringLiteral("50.0%"));
    }

    void statusRepliesFillTheRows() {
        RecordingServer healthy;
        healthy.setDefaultReply(RecordingServer::json(200, kFullStatus));
        RecordingServer failing;
        failing.setDefaultReply(RecordingServer::json(500, R"({"error": "boom"})"));
        fixture.setNodes({agentNode(QStringLiteral("n1"), QStringLiteral("甲"), healthy.port()),
                          agentNode(QStringLiteral("n2"), QStringLiteral("乙"), failing.port())});

        fixture.page()->refreshNodeStatuses();
        QVERIFY(fixture.page()->statusPollInFlight());
        QVERIFY(waitForCycleEnd());

        const RecordingServer::Request request = healthy.lastRequest();
        QCOMPARE(request.method, QByteArray("GET"));
        QCOMPARE(request.path, QByteArray("/status"));
        QCOMPARE(request.header("Authorization"), QByteArray("Bearer agent-token"));

        QCOMPARE(fixture.cell(0, 3), QStringLiteral("0.5.30 -> 0.5.41"));
        QCOMPARE(fixture.cell(0, 4), QStringLiteral("v1.9.3 运行中"));
        QCOMPARE(fixture.cell(0, 5), QStringLiteral("已安装"));
        QCOMPARE(fixture.cell(0, 6), QStringLiteral("未安装"));
        QCOMPARE(fixture.cell(0, 7), QStringLiteral("12.3%"));
        QCOMPARE(fixture.cell(0, 8), QStringLiteral("1.00 KB / 2.00 KB  95.0%"));
        QCOMPARE(fixture.table()->item(0, 8)->data(widgets::kUsagePercentRole).toDouble(), 95.0);
        QCOMPARE(fixture.table()->item(0, 9)->data(widgets::kUsagePercentRole).toDouble(), 100.0);
        QCOMPARE(fixture.cell(0, 10), QStringLiteral("下行 2.0 KB/s / 上行 5.0 B/s"));
        QCOMPARE(fixture.window->nodes()[0].lastAgentVersion, QStringLiteral("0.5.30"));

        QCOMPARE(fixture.cell(1, 10), QStringLiteral("离线"));
        QCOMPARE(fixture.cell(1, 3), QStringLiteral("--"));
        QVERIFY(!fixture.table()->item(1, 8)->data(widgets::kUsagePercentRole).isValid());
    }

    void hangingNodeGoesOfflineWhileOthersKeepUpdating() {
        mainwindow::timing.statusIdleTimeoutMs = 400;
        RecordingServer hanging;
        RecordingServer::Reply hang;
        hang.hang = true;
        hanging.setDefaultReply(hang);
        RecordingServer healthy;
        healthy.setDefaultReply(RecordingServer::json(200, statusWithCpu(10)));
        fixture.setNodes({agentNode(QStringLiteral("n1"), QStringLiteral("挂起"), hanging.port()),
                          agentNode(QStringLiteral("n2"), QStringLiteral("正常"), healthy.port())});

        fixture.page()->refreshNodeStatuses();
        QTRY_COMPARE(fixture.cell(1, 7), QStringLiteral("10.0%"));
        // While the silent Node's request waits, the next tick still updates every other Node and
        // leaves the waiting one alone.
        healthy.setDefaultReply(RecordingServer::json(200, statusWithCpu(15)));
        fixture.page()->refreshNodeStatuses();
        QTRY_COMPARE(fixture.cell(1, 7), QStringLiteral("15.0%"));
        QCOMPARE(hanging.requests().size(), 1);
        QVERIFY(waitForCycleEnd());
        QCOMPARE(fixture.cell(0, 10), QStringLiteral("离线"));

        healthy.setDefaultReply(RecordingServer::json(200, statusWithCpu(20)));
        fixture.page()->refreshNodeStatuses();
        QVERIFY(fixture.page()->statusPollInFlight());
        QTRY_COMPARE(fixture.cell(1, 7), QStringLiteral("20.0%"));
        QVERIFY(waitForCycleEnd());
        QCOMPARE(hanging.requests().size(), 2);
    }

    void newCycleRefusedWhileOneWaits() {
        RecordingServer slow;
        RecordingServer::Reply delayed = RecordingServer::json(200, statusWithCpu(1));
        delayed.delayMs = 300;
        slow.setDefaultReply(delayed);
        fixture.setNodes({agentNode(QStringLiteral("n1"), QStringLiteral("慢"), slow.port())});
        fixture.page()->refreshNodeStatuses();
        QTRY_COMPARE(slow.requests().size(), 1);
        fixture.page()->refreshNodeStatuses();
        QVERIFY(waitForCycleEnd());
        QCOMPARE(slow.requests().size(), 1);
        fixture.page()->refreshNodeStatuses();
        QTRY_COMPARE(slow.requests().size(), 2);
        QVERIFY(waitForCycleEnd());
    }

    void replyForVanishedRowIsDropped_data() {
        QTest::addColumn<bool>("replaceWithOther");
        QTest::newRow("list emptied") << false;
        QTest::newRow("row now holds another Node") << true;
    }
    void replyForVanishedRowIsDropped() {
        QFETCH(bool, replaceWithOther);
        RecordingServer slow;
        RecordingServer::Reply delayed = RecordingServer::json(200, kFullStatus);
        delayed.delayMs = 200;
        slow.setDefaultReply(delayed);
        fixture.setNodes({agentNode(QStringLiteral("n1"), QStringLiteral("旧"), slow.port())});
        fixture.page()->refreshNodeStatuses();
        QTRY_COMPARE(slow.requests().size(), 1);

        Node other = agentNode(QStringLiteral("n9"), QStringLiteral("新"), 9, QString());
        fixture.setNodes(replaceWithOther ? QList<Node>{other} : QList<Node>{});
        QVERIFY(waitForCycleEnd());
        QCOMPARE(fixture.table()->rowCount(), replaceWithOther ? 1 : 0);
        if (replaceWithOther) {
            QCOMPARE(fixture.cell(0, 0), QStringLiteral("新"));
            QCOMPARE(fixture.cell(0, 7), QStringLiteral("--"));
            QCOMPARE(fixture.window->nodes()[0].lastAgentVersion, QString());
        }
        fixture.page()->refreshNodeStatuses(); // the flag was cleared: the next cycle runs
        if (replaceWithOther)
            QCOMPARE(fixture.cell(0, 10), QStringLiteral("未接入"));
    }

    // The status requests are kept between polls; a Node that moved to another Agent is asked there,
    // with its new token, from the next poll on.
    void nodeMovedToAnotherAgentIsPolledThere() {
        RecordingServer before;
        RecordingServer after;
        fixture.setNodes({agentNode(QStringLiteral("n1"), QStringLiteral("甲"), before.port())});
        fixture.page()->refreshNodeStatuses();
        QVERIFY(waitForCycleEnd());
        fixture.setNodes(
            {agentNode(QStringLiteral("n1"), QStringLiteral("甲"), after.port(), QStringLiteral("new"))});
        fixture.page()->refreshNodeStatuses();
        QVERIFY(waitForCycleEnd());
        QCOMPARE(before.requests().size(), 1);
        QCOMPARE(after.requests().size(), 1);
        QCOMPARE(after.lastRequest().header("Authorization"), QByteArray("Bearer new"));
    }

    void unchangedCellsKeepTheirItems() {
        RecordingServer agent;
        agent.setDefaultReply(RecordingServer::json(200, statusWithCpu(5)));
        fixture.setNodes({agentNode(QStringLiteral("n1"), QStringLiteral("甲"), agent.port())});
        fixture.page()->refreshNodeStatuses();
        QVERIFY(waitForCycleEnd());
        QList<QTableWidgetItem*> before;
        for (int column = 0; column < 11; ++column)
            before << fixture.table()->item(0, column);

        agent.setDefaultReply(RecordingServer::json(200, statusWithCpu(6)));
        fixture.page()->refreshNodeStatuses();
        QVERIFY(waitForCycleEnd());
        QCOMPARE(fixture.cell(0, 7), QStringLiteral("6.0%"));
        for (int column = 0; column < 11; ++column) {
            if (column == 7)
                QVERIFY(fixture.table()->item(0, column) != before[column]);
            else
                QCOMPARE(fixture.table()->item(0, column), before[column]);
        }
    }

    void usageCells() {
        fixture.setNodes({agentNode(QStringLiteral("n1"), QStringLiteral("甲"), 1)});
        NodesPage* page = fixture.page();
        page->setUsageCell(0, 8, QStringLiteral("x"), 130);
        QCOMPARE(fixture.table()->item(0, 8)->data(widgets::kUsagePercentRole).toDouble(), 100.0);
        page->setUsageCell(0, 8, QStringLiteral("x"), -1);
        QVERIFY(!fixture.table()->item(0, 8)->data(widgets::kUsagePercentRole).isValid());
        QCOMPARE(fixture.cell(0, 8), QStringLiteral("x"));
        page->setCellText(0, 8, QStringLiteral("y"));
        page->setNodeRow(5, mainwindow::offlineRow()); // outside the table: ignored
        page->setCellText(-1, 0, QStringLiteral("z"));
        QCOMPARE(fixture.table()->rowCount(), 1);
    }

    void rightClickSelection() {
        fixture.setNodes({agentNode(QStringLiteral("n1"), QStringLiteral("甲"), 1),
                          agentNode(QStringLiteral("n2"), QStringLiteral("乙"), 1),
                          agentNode(QStringLiteral("n3"), QStringLiteral("丙"), 1)});
        PercentTableWidget* table = fixture.table();
        auto selectRows = [table](QList<int> rows) {
            table->clearSelection();
            for (int row : rows)
                table->selectionModel()->select(table->model()->index(row, 0),
                                                QItemSelectionModel::Select | QItemSelectionModel::Rows);
        };
        selectRows({0, 1});
        fixture.page()->applyRightClickSelection(2);
        QCOMPARE(fixture.page()->selectedNodeRows(), QList<int>{2});

        selectRows({0, 1});
        fixture.page()->applyRightClickSelection(1);
        QCOMPARE(fixture.page()->selectedNodeRows(), (QList<int>{0, 1}));

        fixture.page()->applyRightClickSelection(-1);
        QCOMPARE(fixture.page()->selectedNodeRows(), (QList<int>{0, 1}));
    }

    void contextMenuEntries() {
        fixture.setNodes({agentNode(QStringLiteral("n1"), QStringLiteral("甲"), 1),
                          agentNode(QStringLiteral("n2"), QStringLiteral("乙"), 1)});
        fixture.table()->setCurrentCell(-1, -1);
        fixture.table()->clearSelection();
        QCOMPARE(entries(fixture.page()->createContextMenu().get()),
                 (QStringList{"导入节点", "刷新云端", "-", "全选"}));

        fixture.table()->selectRow(1);
        QCOMPARE(
            entries(fixture.page()->createContextMenu().get()),
            (QStringList{"导入节点", "刷新云端", "-", "打开节点", "刷新状态", "-",
                         "三方服务[MediaMTX[启动 RTMP 服务,停止 RTMP 服务,重启 RTMP 服务,-,安装,更新,卸载],"
                         "FFmpeg[安装,更新,卸载],GOST[安装,更新,卸载]]",
                         "-", "检测版本", "更新选中 Agent", "全选", "-", "删除节点"}));
    }

    void menuEntriesRunTheirActions() {
        RecordingServer agent;
        agent.setDefaultReply(RecordingServer::json(200, R"({"installed": true, "version": "3.1"})"));
        fixture.setNodes({agentNode(QStringLiteral("n1"), QStringLiteral("甲"), agent.port()),
                          agentNode(QStringLiteral("n2"), QStringLiteral("乙"), agent.port())});
        QVERIFY(waitForCycleEnd()); // the status poll a load starts
        agent.clear();
        fixture.table()->selectRow(1);
        auto menu = fixture.page()->createContextMenu();
        QMenu* gost = nullptr;
        for (QAction* action : menu->actions()) {
            if (action->menu() && action->text() == QStringLiteral("三方服务")) {
                for (QAction* sub : action->menu()->actions()) {
                    if (sub->text() == QStringLiteral("GOST"))
                        gost = sub->menu();
                }
            }
        }
        QVERIFY(gost);
        gost->actions().at(1)->trigger(); // 更新
        QCOMPARE(agent.requests().first().path, QByteArray("/gost/update"));
        QCOMPARE(agent.requests().first().method, QByteArray("POST"));
        QCOMPARE(fixture.cell(1, 5), QStringLiteral("3.1"));
        QVERIFY(fixture.cell(0, 5) != QStringLiteral("3.1")); // only the selected Node was updated
        QCOMPARE(fixture.window->statusText(), QStringLiteral("更新 GOST完成"));

        for (QAction* action : menu->actions()) {
            if (action->text() == QStringLiteral("全选"))
                action->trigger();
        }
        QCOMPARE(fixture.page()->selectedNodeRows(), (QList<int>{0, 1}));
    }

    void agentColumnRewrittenAfterManifest() {
        Node current = agentNode(QStringLiteral("n1"), QStringLiteral("甲"), 1);
        current.lastAgentVersion = QStringLiteral("0.5.41");
        Node offline = agentNode(QStringLiteral("n2"), QStringLiteral("乙"), 1);
        offline.lastAgentVersion = QStringLiteral("--");
        fixture.setNodes({current, offline});
        QCOMPARE(fixture.cell(0, 3), QStringLiteral("0.5.41"));

        fixture.cloud->queueReply(RecordingServer::json(200, R"({"version": ""})"));
        QVERIFY(!fixture.window->manifests().fetchAgentManifest());
        QCOMPARE(fixture.cell(0, 3), QStringLiteral("0.5.41"));

        fixture.cloud->queueReply(RecordingServer::json(200, R"({"version": "0.5.50"})"));
        QVERIFY(fixture.window->manifests().fetchAgentManifest());
        QCOMPARE(fixture.cloud->lastRequest().path, QByteArray("/api/releases/agent/manifest"));
        QCOMPARE(fixture.cell(0, 3), QStringLiteral("0.5.41 -> 0.5.50"));
        QCOMPARE(fixture.cell(1, 3), QStringLiteral("--"));
    }

    void doubleClickOpensNodeWindow() {
        fixture.setNodes({agentNode(QStringLiteral("n1"), QStringLiteral("甲"), 1),
                          agentNode(QStringLiteral("n2"), QStringLiteral("乙"), 1)});
        Q_EMIT fixture.table()->cellDoubleClicked(1, 4);
        QPointer<NodeWindow> opened;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* nodeWindow = dynamic_cast<NodeWindow*>(widget))
                opened = nodeWindow;
        }
        QVERIFY(opened);
        QCOMPARE(opened->windowTitle(), QStringLiteral("Ondivo - 乙"));
        QCOMPARE(opened->node().id, QStringLiteral("n2"));
        QVERIFY(opened->testAttribute(Qt::WA_DeleteOnClose));
        fixture.setNodes({}); // the window keeps its own copy
        QCOMPARE(opened->node().displayName, QStringLiteral("乙"));
        opened->close();
        QTRY_VERIFY(!opened);

        Q_EMIT fixture.table()->cellDoubleClicked(7, 0); // no such Node: nothing opens
        for (QWidget* widget : QApplication::topLevelWidgets())
            QVERIFY(!dynamic_cast<NodeWindow*>(widget));
    }

    void nodeFilterKeepsTheChoice() {
        NodeFilterCombo combo;
        QList<Node> nodes{agentNode(QStringLiteral("n1"), QStringLiteral("甲"), 1),
                          agentNode(QStringLiteral("n2"), QString(), 1)};
        combo.rebuild(nodes);
        QCOMPARE(combo.count(), 3);
        QCOMPARE(combo.itemText(0), QStringLiteral("全部节点"));
        QCOMPARE(combo.itemData(0).toString(), QString());
        QCOMPARE(combo.itemText(2), QStringLiteral("n2"));
        combo.setCurrentIndex(2);
        int changes = 0;
        connect(&combo, &QComboBox::currentIndexChanged, this, [&changes] { ++changes; });
        nodes.prepend(agentNode(QStringLiteral("n0"), QStringLiteral("零"), 1));
        combo.rebuild(nodes);
        QCOMPARE(combo.currentData().toString(), QStringLiteral("n2"));
        QCOMPARE(changes, 0);
        nodes.removeLast();
        combo.rebuild(nodes);
        QCOMPARE(combo.currentIndex(), 0);
        combo.setCurrentIndex(2);
        QCOMPARE(combo.currentData().toString(), QStringLiteral("n1"));
        nodes[1].id = QStringLiteral("N1");
        combo.rebuild(nodes); // the match is case-sensitive
        QCOMPARE(combo.currentIndex(), 0);
    }
    void filterHidesRowsAndActionsTakeOnlyTheVisible() {
        const Node a = agentNode("n1", "东京", 1), b = agentNode("n2", "大阪", 1),
                   c = agentNode("n3", "东京 2", 1), d = agentNode("n4", "大阪 2", 1);
        fixture.setNodes({a, b, c});
        // Every row selected, the current one about to be hidden.
        PercentTableWidget* table = fixture.table();
        table->selectAll();
        table->setCurrentCell(1, 0, QItemSelectionModel::NoUpdate);
        fixture.page()->filterEdit()->setText(QStringLiteral("东京"));
        QVERIFY(table->isRowHidden(1) && !table->isRowHidden(0) && !table->isRowHidden(2));
        QCOMPARE(fixture.page()->selectedNodeRows(), (QList<int>{0, 2}));
        QCOMPARE(fixture.window->statusText(), QStringLiteral("显示 2 / 3 个节点"));

        // Delete (the window's key) deletes the visible selection only, row i still being Node i.
        fixture.hooks.onDelete();
        QCOMPARE(fixture.window->deleted.size(), 1);
        QCOMPARE(fixture.window->deleted[0].value(0).id + fixture.window->deleted[0].value(1).id, "n1n3");
        QCOMPARE(fixture.window->deleted[0].size(), 2);

        // A reload keeps the filter; clearing it shows every row and the account line again.
        fixture.setNodes({a, b, c, d});
        QVERIFY(table->isRowHidden(3));
        QCOMPARE(fixture.window->statusText(), QStringLiteral("显示 2 / 4 个节点"));
        fixture.page()->filterEdit()->clear();
        QVERIFY(!table->isRowHidden(1) && !table->isRowHidden(3));
        QCOMPARE(fixture.window->statusText(), account::statusLine(QStringLiteral("alice"), 4));
    }

    void draggedWidthsSurviveARestart() {
        auto openAt1090 = [this] {
            fixture.window->window().resize(1090, 700);
            fixture.window->window().show();
            return QTest::qWaitForWindowExposed(&fixture.window->window());
        };
        auto widths = [this] {
            QList<int> list;
            for (int column = 0; column < fixture.table()->columnCount(); ++column)
                list << fixture.table()->columnWidth(column);
            return list;
        };
        QVERIFY(openAt1090());
        const QList<int> defaults = widths();
        const int viewport = fixture.table()->viewport()->width();
        // What a drag of the memory column's border does.
        fixture.table()->horizontalHeader()->resizeSection(mainwindow::kMemoryColumn,
                                                           defaults[mainwindow::kMemoryColumn] + 80);
        const QList<int> dragged = widths();
        QCOMPARE(dragged[mainwindow::kMemoryColumn], defaults[mainwindow::kMemoryColumn] + 80);
        QCOMPARE(std::accumulate(dragged.begin(), dragged.end(), 0), viewport);
        QCOMPARE(dragged.mid(0, mainwindow::kMemoryColumn), defaults.mid(0, mainwindow::kMemoryColumn));
        fixture.window.reset();
        QVERIFY(fixture.open() && openAt1090());
        QTRY_COMPARE(widths(), dragged);
        // "恢复默认列宽" holds for the next start too.
        fixture.table()->restoreDefaultWidths();
        fixture.window.reset();
        QVERIFY(fixture.open() && openAt1090());
        QTRY_COMPARE(widths(), defaults);
    }

    void elidedCellShowsItsTextLiterally() {
        const QString label = QStringLiteral("<b>一个很长很长很长很长的节点名称</b>");
        fixture.setNodes({agentNode(QStringLiteral("n1"), label, 1)});
        QCOMPARE(fixture.table()->elidedCellText(0, 0), label);
        QCOMPARE(fixture.table()->elidedCellText(0, mainwindow::kCpuColumn), QString()); // "--" fits
        QTextDocument shown;
        shown.setHtml(ui::plainToolTip(label));
        QCOMPARE(shown.toPlainText(), label);
    }
};

ONDIVO_TEST_MAIN_GUI(TestNodesPage)
#include "tst_nodespage.moc"
