// Renders the trend column, the top bar's summary and bell, the event list and the history window against
// simulated Agents for a visual check. Two weeks of past samples are written first (one Node away for a
// while yesterday and in the last hour), so the charts have something to draw. Run under a display
// (xvfb-run) with an output directory.
#include "ScreensMain.h"
#include "Simulator.h"
#include "TestFiles.h"

#include "app/AppConstants.h"
#include "app/DataPaths.h"
#include "client/ClientWindow.h"
#include "history/EventList.h"
#include "history/FleetBar.h"
#include "history/HistoryStore.h"
#include "history/HistoryWindow.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/MainWindowTiming.h"
#include "mainwindow/NodesPage.h"
#include "mainwindow/TopNavBar.h"
#include "model/SignInState.h"
#include "widgets/PercentTableWidget.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QTest>
#include <QtMath>

namespace {

// A plausible day's curve with some noise, in 0..100.
double wave(qint64 timeMs, int node, double base) {
    const double hours = double(timeMs) / 3.6e6;
    const double value = base + 18 * std::sin(hours * M_PI / 12 + node) +
                         6 * std::sin(hours * 3.1 + node * 2) + 4 * std::sin(double(timeMs) / 7e4);
    return std::clamp(value, 1.0, 99.0);
}

void writePast(const QStringList& ids, qint64 nowMs) {
    history::HistoryStore store(app::dataDirectory());
    const qint64 day = 24LL * 3600 * 1000;
    auto offline = [&](int node, qint64 t) {
        return node == 1 && ((t > nowMs - day - 3 * 3600000 && t < nowMs - day - 2 * 3600000) ||
                             (t > nowMs - 40 * 60000 && t < nowMs - 28 * 60000));
    };
    QList<history::Sample> batch;
    for (qint64 t = nowMs - 14 * day; t < nowMs;) {
        for (int n = 0; n < ids.size(); ++n) {
            history::Sample sample;
            sample.nodeId = ids[n];
            sample.timeMs = t;
            sample.online = !offline(n, t);
            if (sample.online) {
                sample.values[history::Cpu] = wave(t, n, 30 + 10 * n);
                sample.values[history::Memory] = wave(t, n + 3, 45) * 0.6 + 20;
                sample.values[history::Disk] = 40 + 10 * n + double(t - (nowMs - 14 * day)) / (14 * day) * 20;
                sample.values[history::RxRate] = wave(t, n + 1, 50) * 30000;
                sample.values[history::TxRate] = wave(t, n + 2, 40) * 9000;
            }
            batch << sample;
        }
        if (batch.size() > 4000) {
            store.record(batch);
            batch.clear();
            QTest::qWait(30);
        }
        t += t < nowMs - 2 * 3600000 ? 60000 : 5000;
    }
    store.record(batch);
}

} // namespace

int draw(const QString& outDir) {
    mainwindow::timing.statusPollMs = 1000;

    sim::Simulator simulator;
    simulator.start();
    simulator.addAccount(QStringLiteral("demo"), QStringLiteral("demo123456"));
    const char* const names[][2] = {
        {"hk-1", "香港 01"}, {"tokyo-1", "东京 01"}, {"sg-1", "新加坡 01"}, {"la-1", "洛杉矶 01"}};
    QList<Node> nodeList;
    QStringList agentNames;
    for (const auto& name : names) {
        sim::AgentOptions options;
        options.name = QString::fromUtf8(name[0]);
        const sim::AgentInfo info = simulator.startAgent(options);
        Node node =
            sim::Simulator::agentNode(info, QStringLiteral("srv-") + info.name, QString::fromUtf8(name[1]));
        node.host = QStringLiteral("203.0.113.%1").arg(nodeList.size() + 10);
        nodeList << node;
        agentNames << info.name;
    }
    const QStringList ids =
        simulator.addNodes(QStringLiteral("demo"), QStringLiteral("demo123456"), nodeList, agentNames);
    writePast(ids, QDateTime::currentMSecsSinceEpoch());

    qputenv(app::kCloudApiUrlVariable, simulator.cloudUrl().toUtf8());
    signInState() = {QStringLiteral("demo"), QStringLiteral("demo123456"),
                     simulator.login(QStringLiteral("demo"), QStringLiteral("demo123456"))};
    auto owned = createClientWindow();
    MainWindow& window = *owned;
    window.move(0, 0);
    window.resize(1280, 480);
    window.show();
    if (!QTest::qWaitFor([&window] { return window.nodes().size() == 4; }, 15000))
        qWarning("the Nodes did not load");
    // A few polls, one Agent taken away for three of them: an outage and its end in the event list.
    QTest::qWait(2500);
    simulator.stopAgent(QStringLiteral("tokyo-1"));
    QTest::qWait(3500);
    simulator.resumeAgent(QStringLiteral("tokyo-1"));
    QTest::qWait(2500);
    window.grab().save(outDir + QStringLiteral("/trend-column.png"));

    history::FleetBar* bar = nullptr;
    for (QWidget* child : window.navigationBar()->findChildren<QWidget*>()) {
        if (auto* candidate = dynamic_cast<history::FleetBar*>(child))
            bar = candidate;
    }
    if (!bar) {
        qWarning("no fleet bar");
        return 1;
    }
    bar->openEventList();
    QTest::qWait(500);
    QWidget* list = bar->eventList();
    list->grab().save(outDir + QStringLiteral("/event-list.png"));
    list->close();

    auto* page = window.findChild<NodesPage*>(QStringLiteral("nodesPage"));
    for (int range = 0; range < 3; ++range) {
        page->openHistoryWindow(1);
        QTest::qWait(300);
        history::HistoryWindow* historyWindow = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* candidate = dynamic_cast<history::HistoryWindow*>(top);
                candidate && candidate->isVisible())
                historyWindow = candidate;
        }
        if (!historyWindow) {
            qWarning("no history window");
            return 1;
        }
        historyWindow->rangeBox()->setCurrentIndex(range);
        QTest::qWait(1500);
        historyWindow->grab().save(outDir + QStringLiteral("/history-window-%1.png").arg(range));
        historyWindow->close();
        QTest::qWait(100);
    }
    return 0;
}

int main(int argc, char** argv) {
    return screens::run(argc, argv, draw);
}
