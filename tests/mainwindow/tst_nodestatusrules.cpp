#include "TestMain.h"

#include "mainwindow/NodeFilterRules.h"
#include "mainwindow/NodeStatusRules.h"
#include "widgets/ColumnWidthRules.h"
#include "widgets/UsageBarRules.h"

#include <QJsonDocument>
#include <numeric>

using namespace mainwindow;
using namespace widgets;

namespace {

QJsonObject json(const char* text) {
    return QJsonDocument::fromJson(QByteArray(text)).object();
}

} // namespace

class TestNodeStatusRules : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sizesStepBy1024_data() {
        QTest::addColumn<double>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("below one KB keeps bytes") << 1023.0 << "1023.0 B";
        QTest::newRow("exactly one KB") << 1024.0 << "1.00 KB";
        QTest::newRow("1536 MB") << 1536.0 * 1024 * 1024 << "1.50 GB";
        QTest::newRow("small bytes two decimals") << 512.0 << "512.0 B";
        QTest::newRow("below ten two decimals") << 3.45 * 1024 * 1024 * 1024 << "3.45 GB";
        QTest::newRow("from ten one decimal") << 15.6 * 1024 * 1024 * 1024 << "15.6 GB";
        QTest::newRow("terabytes stop stepping") << 2048.0 * 1024 * 1024 * 1024 * 1024 << "2048.0 TB";
        QTest::newRow("zero") << 0.0 << "0.00 B";
    }
    void sizesStepBy1024() {
        QFETCH(double, bytes);
        QFETCH(QString, text);
        QCOMPARE(sizeText(bytes), text);
    }

    void ratesUseTheirOwnDecimals_data() {
        QTest::addColumn<double>("rate");
        QTest::addColumn<QString>("text");
        QTest::newRow("5 B/s") << 5.0 << "5.0 B/s";
        QTest::newRow("2048 B/s") << 2048.0 << "2.0 KB/s";
        QTest::newRow("20480 B/s has no decimals") << 20480.0 << "20 KB/s";
        QTest::newRow("120 KB/s") << 120.0 * 1024 << "120 KB/s";
        QTest::newRow("1.5 MB/s") << 1.5 * 1024 * 1024 << "1.5 MB/s";
        QTest::newRow("GB/s is the last unit") << 4096.0 * 1024 * 1024 * 1024 << "4096 GB/s";
    }
    void ratesUseTheirOwnDecimals() {
        QFETCH(double, rate);
        QFETCH(QString, text);
        QCOMPARE(rateText(rate), text);
    }

    void usageTextAndBar_data() {
        QTest::addColumn<QString>("usage");
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("percent");
        QTest::newRow("full figures")
            << R"({"usedPercent": 22.1, "used": 3704409292.8, "total": 16750372454.4})"
            << "3.45 GB / 15.6 GB  22.1%" << 22.1;
        QTest::newRow("total zero gives no text but keeps the percent")
            << R"({"usedPercent": 10, "used": 5, "total": 0})"
            << "--" << 10.0;
        QTest::newRow("missing used") << R"({"usedPercent": 10, "total": 100})"
                                      << "--" << 10.0;
        QTest::newRow("missing percent gives no bar") << R"({"used": 5, "total": 100})"
                                                      << "--" << -1.0;
        QTest::newRow("over 100 is capped for the bar") << R"({"usedPercent": 130, "used": 13, "total": 10})"
                                                        << "13.0 B / 10.0 B  130.0%" << 100.0;
        QTest::newRow("text values do not count") << R"({"usedPercent": "50", "used": 5, "total": 10})"
                                                  << "--" << -1.0;
        QTest::newRow("empty object") << "{}"
                                      << "--" << -1.0;
    }
    void usageTextAndBar() {
        QFETCH(QString, usage);
        QFETCH(QString, text);
        QFETCH(double, percent);
        const QJsonObject object = json(usage.toUtf8().constData());
        QCOMPARE(usageText(object), text);
        QCOMPARE(usagePercent(object), percent);
    }

    void networkRule_data() {
        QTest::addColumn<QString>("network");
        QTest::addColumn<QString>("text");
        QTest::newRow("both rates") << R"({"rxRate": 2048, "txRate": 5})"
                                    << "下行 2.0 KB/s / 上行 5.0 B/s";
        QTest::newRow("zero rates are figures") << R"({"rxRate": 0, "txRate": 0})"
                                                << "下行 0.0 B/s / 上行 0.0 B/s";
        QTest::newRow("missing tx") << R"({"rxRate": 2048})"
                                    << "--";
        QTest::newRow("negative rx") << R"({"rxRate": -1, "txRate": 10})"
                                     << "--";
    }
    void networkRule() {
        QFETCH(QString, network);
        QFETCH(QString, text);
        QCOMPARE(networkText(json(network.toUtf8().constData())), text);
    }

    void engineRules_data() {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QString>("engineText");
        QTest::addColumn<QString>("mediaMtxText");
        QTest::newRow("missing") << "{}"
                                 << "未安装"
                                 << "未安装";
        QTest::newRow("not installed with version")
            << R"({"installed": false, "version": "1.0", "running": true})"
            << "未安装"
            << "未安装";
        QTest::newRow("installed with version running")
            << R"({"installed": true, "version": "v1.9.3", "running": true})"
            << "v1.9.3"
            << "v1.9.3 运行中";
        QTest::newRow("installed without version stopped") << R"({"installed": true})"
                                                           << "已安装"
                                                           << "已安装 已停止";
        QTest::newRow("installed flag as text is not installed") << R"({"installed": "true"})"
                                                                 << "未安装"
                                                                 << "未安装";
    }
    void engineRules() {
        QFETCH(QString, engine);
        QFETCH(QString, engineText);
        QFETCH(QString, mediaMtxText);
        const QJsonObject object = json(engine.toUtf8().constData());
        QCOMPARE(mainwindow::engineText(object), engineText);
        QCOMPARE(mainwindow::mediaMtxText(object), mediaMtxText);
    }

    void statusReplyFillsTheRow() {
        const QJsonObject status = json(R"({"agentVersion": "0.5.30", "cpu": 12.345,
            "memory": {"usedPercent": 95, "used": 1024, "total": 2048},
            "disk": {"usedPercent": 0.1, "used": 1, "total": 1000},
            "network": {"rxRate": 20480, "txRate": 2048},
            "mediaMTX": {"installed": true, "running": false, "version": "v1.9"},
            "gost": {"installed": true, "version": "3.0"}, "ffmpeg": {"installed": false}})");
        const NodeRowTexts row = rowFromStatus(status);
        QCOMPARE(row.agentVersion, QStringLiteral("0.5.30"));
        QCOMPARE(row.cpu, QStringLiteral("12.3%"));
        QCOMPARE(row.memory, QStringLiteral("1.00 KB / 2.00 KB  95.0%"));
        QCOMPARE(row.memoryPercent, 95.0);
        QCOMPARE(row.diskPercent, 0.1);
        QCOMPARE(row.network, QStringLiteral("下行 20 KB/s / 上行 2.0 KB/s"));
        QCOMPARE(row.mediaMtx, QStringLiteral("v1.9 已停止"));
        QCOMPARE(row.gost, QStringLiteral("3.0"));
        QCOMPARE(row.ffmpeg, QStringLiteral("未安装"));
    }

    void malformedReplyStillWritesTheRow() {
        const NodeRowTexts row = rowFromStatus(QJsonObject());
        const NodeRowTexts expected{"--", "未安装", "未安装", "未安装", "--", "--", "--", "--", -1, -1};
        QCOMPARE(row, expected);
        QCOMPARE(rowFromStatus(json(R"({"cpu": 0})")).cpu, QStringLiteral("0.0%"));
        QCOMPARE(rowFromStatus(json(R"({"agentVersion": 7})")).agentVersion, QStringLiteral("--"));
    }

    void offlineAndUnconnectedRows() {
        QCOMPARE(offlineRow().network, QStringLiteral("离线"));
        QCOMPARE(unconnectedRow().network, QStringLiteral("未接入"));
        for (const NodeRowTexts& row : {offlineRow(), unconnectedRow()}) {
            for (const QString& text :
                 {row.agentVersion, row.mediaMtx, row.gost, row.ffmpeg, row.cpu, row.memory, row.disk})
                QCOMPARE(text, QStringLiteral("--"));
            QVERIFY(row.memoryPercent < 0 && row.diskPercent < 0);
        }
    }

    void upgradeArrow_data() {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("latest");
        QTest::addColumn<QString>("cell");
        QTest::newRow("older shows the arrow") << "0.5.30"
                                               << "0.5.41"
                                               << "0.5.30 -> 0.5.41";
        QTest::newRow("same version no arrow") << "0.5.41"
                                               << "0.5.41"
                                               << "0.5.41";
        QTest::newRow("dashes never get an arrow") << "--"
                                                   << "0.5.41"
                                                   << "--";
        QTest::newRow("newer than latest still differs") << "0.6.0"
                                                         << "0.5.41"
                                                         << "0.6.0 -> 0.5.41";
        QTest::newRow("no latest known") << "0.5.30"
                                         << ""
                                         << "0.5.30";
        QTest::newRow("empty version shows dashes") << ""
                                                    << "0.5.41"
                                                    << "--";
    }
    void upgradeArrow() {
        QFETCH(QString, version);
        QFETCH(QString, latest);
        QFETCH(QString, cell);
        QCOMPARE(agentVersionCell(version, latest), cell);
    }

    void columnWidths_data() {
        QTest::addColumn<int>("viewport");
        QTest::addColumn<int>("first");
        QTest::addColumn<QList<int>>("percentages");
        QTest::addColumn<int>("columns");
        QTest::addColumn<QList<int>>("widths");
        const QList<int> nodePercents{9, 11, 8, 9, 8, 8, 7, 14, 14, 12};
        QTest::newRow("150 px viewport overflows with minimum widths")
            << 150 << 120 << nodePercents << 11 << QList<int>{80, 40, 40, 40, 40, 40, 40, 40, 40, 40, 40};
        QTest::newRow("wide viewport caps the first column")
            << 1120 << 120 << nodePercents << 11
            << QList<int>{120, 90, 110, 80, 90, 80, 80, 70, 140, 140, 120};
        QTest::newRow("half the viewport when narrower than the cap")
            << 200 << 120 << QList<int>{50, 50} << 3 << QList<int>{100, 50, 50};
        QTest::newRow("161 px takes 80") << 161 << 120 << QList<int>{100} << 2 << QList<int>{80, 81};
        QTest::newRow("percentages normalised by their sum")
            << 520 << 120 << QList<int>{10, 10, 20} << 4 << QList<int>{120, 100, 100, 200};
        QTest::newRow("non-positive percentage gets 40")
            << 520 << 120 << QList<int>{0, 50, 50} << 4 << QList<int>{120, 40, 200, 160};
        QTest::newRow("fewer columns than percentages")
            << 520 << 120 << QList<int>{50, 50, 50} << 3 << QList<int>{120, 200, 200};
        QTest::newRow("no percentages sets nothing") << 520 << 120 << QList<int>{} << 4 << QList<int>{};
        QTest::newRow("only first column") << 520 << 120 << QList<int>{10} << 1 << QList<int>{120};
        QTest::newRow("all zero percentages set only the first")
            << 520 << 120 << QList<int>{0, 0} << 3 << QList<int>{120};
    }
    void columnWidths() {
        QFETCH(int, viewport);
        QFETCH(int, first);
        QFETCH(QList<int>, percentages);
        QFETCH(int, columns);
        QFETCH(QList<int>, widths);
        QCOMPARE(percentColumnWidths(viewport, first, percentages, columns), widths);
    }

    void lastColumnTakesTheRemainder() {
        const QList<int> widths = percentColumnWidths(1000, 120, {9, 11, 8, 9, 8, 8, 7, 14, 14, 12}, 11);
        QCOMPARE(std::accumulate(widths.begin(), widths.end(), 0), 1000);
    }

    void barGeometry_data() {
        QTest::addColumn<QRect>("cell");
        QTest::addColumn<QRect>("bar");
        QTest::addColumn<int>("radius");
        // x1..x2 and y1..y2 inclusive
        QTest::newRow("tall cell has 8/7 margins")
            << QRect(0, 0, 200, 40) << QRect(QPoint(8, 7), QPoint(191, 32)) << 4;
        QTest::newRow("27 px cell is not tall enough")
            << QRect(0, 0, 200, 27) << QRect(QPoint(6, 4), QPoint(193, 22)) << 4;
        QTest::newRow("28 px cell is tall")
            << QRect(10, 10, 200, 28) << QRect(QPoint(18, 17), QPoint(201, 30)) << 4;
        QTest::newRow("short bar has half height radius")
            << QRect(0, 0, 100, 16) << QRect(QPoint(6, 4), QPoint(93, 11)) << 4;
        QTest::newRow("tiny bar") << QRect(0, 0, 100, 14) << QRect(QPoint(6, 4), QPoint(93, 9)) << 3;
    }
    void barGeometry() {
        QFETCH(QRect, cell);
        QFETCH(QRect, bar);
        QFETCH(int, radius);
        const UsageBarShape shape = usageBarShape(cell);
        QCOMPARE(shape.bar, bar);
        QCOMPARE(shape.radius, radius);
    }

    void fillWidth_data() {
        QTest::addColumn<int>("barWidth");
        QTest::addColumn<double>("percent");
        QTest::addColumn<int>("width");
        QTest::newRow("0.1 % of 300 px still shows 2 px") << 300 << 0.1 << 2;
        QTest::newRow("zero shows 2 px") << 300 << 0.0 << 2;
        QTest::newRow("half") << 300 << 50.0 << 150;
        QTest::newRow("truncated not rounded") << 300 << 33.3 << 99;
        QTest::newRow("130 fills the bar") << 300 << 130.0 << 300;
        QTest::newRow("negative clamps to 2 px") << 300 << -5.0 << 2;
    }
    void fillWidth() {
        QFETCH(int, barWidth);
        QFETCH(double, percent);
        QFETCH(int, width);
        QCOMPARE(usageFillWidth(barWidth, percent), width);
    }

    void fillColourThresholds_data() {
        QTest::addColumn<double>("percent");
        QTest::addColumn<QString>("colour");
        QTest::newRow("95 red") << 95.0 << "#d93025";
        QTest::newRow("130 red") << 130.0 << "#d93025";
        QTest::newRow("94.9 orange") << 94.9 << "#f29900";
        QTest::newRow("85 orange") << 85.0 << "#f29900";
        QTest::newRow("84.9 yellow") << 84.9 << "#f2c94c";
        QTest::newRow("70 yellow") << 70.0 << "#f2c94c";
        QTest::newRow("69.9 green") << 69.9 << "#34a853";
        QTest::newRow("0 green") << 0.0 << "#34a853";
    }
    void fillColourThresholds() {
        QFETCH(double, percent);
        QFETCH(QString, colour);
        QCOMPARE(usageFillColor(percent), colour);
    }

    void selectedRows_data() {
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<int>>("rows");
        QTest::newRow("distinct and sorted") << QList<int>{3, 1, 3, 1, 1} << 0 << 5 << QList<int>{1, 3};
        QTest::newRow("rows past the list are dropped") << QList<int>{1, 7} << 0 << 5 << QList<int>{1};
        QTest::newRow("current row when nothing selected") << QList<int>{} << 2 << 5 << QList<int>{2};
        QTest::newRow("only invalid selected falls back to current")
            << QList<int>{9} << 2 << 5 << QList<int>{2};
        QTest::newRow("invalid current gives nothing") << QList<int>{} << 5 << 5 << QList<int>{};
        QTest::newRow("no current") << QList<int>{} << -1 << 5 << QList<int>{};
    }
    void selectedRows() {
        QFETCH(QList<int>, selected);
        QFETCH(int, current);
        QFETCH(int, count);
        QFETCH(QList<int>, rows);
        QCOMPARE(validSelectedRows(selected, current, count), rows);
    }

    void rightClickRule_data() {
        QTest::addColumn<int>("clicked");
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<bool>("alone");
        QTest::newRow("unselected row while two others selected") << 2 << QList<int>{0, 1} << true;
        QTest::newRow("one of the selected rows keeps the selection") << 1 << QList<int>{0, 1} << false;
        QTest::newRow("below the last row keeps the selection") << -1 << QList<int>{0, 1} << false;
        QTest::newRow("row past the node list") << 5 << QList<int>{} << false;
        QTest::newRow("nothing selected selects the row") << 0 << QList<int>{} << true;
    }
    void rightClickRule() {
        QFETCH(int, clicked);
        QFETCH(QList<int>, selected);
        QFETCH(bool, alone);
        QCOMPARE(rightClickSelectsRowAlone(clicked, 5, selected), alone);
    }
    void draggedColumnKeepsTheTotal_data() {
        QTest::addColumn<QList<int>>("widths");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("newWidth");
        QTest::addColumn<QList<int>>("expected");
        // The right-hand columns give up what they have above the minimum, in proportion.
        QTest::newRow("widen middle")
            << QList<int>{100, 100, 130, 70} << 1 << 160 << QList<int>{100, 160, 87, 53};
        QTest::newRow("narrow middle")
            << QList<int>{100, 100, 130, 70} << 1 << 40 << QList<int>{100, 40, 172, 88};
        QTest::newRow("last column takes from the left")
            << QList<int>{130, 70, 100} << 2 << 160 << QList<int>{87, 53, 160};
        QTest::newRow("no wider than the others' minimum")
            << QList<int>{100, 100, 100} << 0 << 500 << QList<int>{240, 30, 30};
        QTest::newRow("no narrower than the minimum")
            << QList<int>{100, 100} << 0 << 5 << QList<int>{30, 170};
    }
    void draggedColumnKeepsTheTotal() {
        QFETCH(QList<int>, widths);
        QFETCH(int, column);
        QFETCH(int, newWidth);
        QFETCH(QList<int>, expected);
        const QList<int> result = widgets::resizeWithinTotal(widths, column, newWidth);
        QCOMPARE(result, expected);
        QCOMPARE(std::accumulate(result.begin(), result.end(), 0),
                 std::accumulate(widths.begin(), widths.end(), 0));
    }

    void filterMatchesAnyShownField_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("matches");
        QTest::newRow("label, other case") << "TOKYO" << true;
        QTest::newRow("server name") << "srv-a" << true;
        QTest::newRow("agent version") << "0.5.3" << true;
        QTest::newRow("token is not shown") << "secret" << false;
    }
    void filterMatchesAnyShownField() {
        QFETCH(QString, text);
        QFETCH(bool, matches);
        Node node;
        node.displayName = QStringLiteral("Tokyo 1");
        node.host = QStringLiteral("203.0.113.7");
        node.name = QStringLiteral("SRV-A");
        node.lastAgentVersion = QStringLiteral("0.5.30");
        node.agentApi.token = QStringLiteral("secret");
        QCOMPARE(nodeMatchesFilter(node, text), matches);
    }
};

ONDIVO_TEST_MAIN_CORE(TestNodeStatusRules)
#include "tst_nodestatusrules.moc"
