// Measures what one status poll cycle of the nodes page costs the GUI thread for a fleet of simulated
// Agents: the GUI thread's CPU time per poll interval (less its idle baseline), the longest the event
// loop was held up, how long the cycle takes until its last reply, and how many table cells were
// replaced.
//
// Usage: bench_nodes [--agents N] [--cycles K] [--interval-ms MS] [--sim PATH] [--sim-priority
// idle|low|normal] [--hidden]
//                   [--gather-ms MS]
// It starts `ondivo-sim --agents N` (from the same directory unless --sim is given) and reads the
// Agents from its announcement line.

#include "FakeShell.h"
#include "app/AppConstants.h"
#include "fleet/FleetTiming.h"
#include "mainwindow/NodeStatusRules.h"
#include "mainwindow/NodesPage.h"
#include "mainwindow/NodesPages.h"
#include "model/SignInState.h"
#include "net/RequestLayer.h"
#include "ui/Dialogs.h"
#include "widgets/PercentTableWidget.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <ctime>
#include <functional>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

qint64 threadCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// The calling thread's CPU time split into user and kernel time, in milliseconds.
struct CpuSplit {
    double userMs = 0;
    double systemMs = 0;
};
CpuSplit threadCpuSplit() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    auto ms = [](const timeval& tv) {
        return tv.tv_sec * 1000.0 + tv.tv_usec / 1000.0;
    };
    return {ms(usage.ru_utime), ms(usage.ru_stime)};
}

// The longest gap between two ticks of a fast precise timer: how long the event loop was held up.
class StallMeter {
public:
    StallMeter() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(kTickMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            const qint64 cpu = threadCpuNs();
            worstNs_ = std::max(worstNs_, now - lastNs_);
            worstCpuNs_ = std::max(worstCpuNs_, cpu - lastCpuNs_);
            lastNs_ = now;
            lastCpuNs_ = cpu;
        });
        clock_.start();
    }
    void start() {
        reset();
        timer_.start();
    }
    void stop() { timer_.stop(); }
    void reset() {
        lastNs_ = clock_.nsecsElapsed();
        lastCpuNs_ = threadCpuNs();
        worstNs_ = worstCpuNs_ = 0;
    }
    // The worst gap beyond the tick interval itself.
    double worstStallMs() const { return std::max<qint64>(0, worstNs_ - kTickMs * 1000000) / 1e6; }
    // The most GUI-thread CPU time spent between two ticks: the longest stretch of the page's own work,
    // free of the time the thread waited for a core on a busy machine.
    double worstWorkMs() const { return worstCpuNs_ / 1e6; }
    static constexpr int kTickMs = 5;

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 lastNs_ = 0;
    qint64 worstNs_ = 0;
    qint64 lastCpuNs_ = 0;
    qint64 worstCpuNs_ = 0;
};

struct SimFleet {
    QString cloud;
    QList<Node> nodes;
};

bool readAnnouncement(QProcess& simulator, SimFleet& fleet) {
    QByteArray buffer;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 60000) {
        if (!simulator.waitForReadyRead(1000) && simulator.state() != QProcess::Running)
            return false;
        buffer += simulator.readAllStandardOutput();
        const int start = buffer.indexOf("ONDIVO_SIM ");
        const int end = buffer.indexOf('\n', start);
        if (start < 0 || end < 0)
            continue;
        const QJsonObject line = QJsonDocument::fromJson(buffer.mid(start + 11, end - start - 11)).object();
        fleet.cloud = line.value(QLatin1String("cloud")).toString();
        int index = 0;
        for (const QJsonValue& value : line.value(QLatin1String("agents")).toArray()) {
            const QJsonObject agent = value.toObject();
            const QUrl url(agent.value(QLatin1String("url")).toString());
            Node node;
            node.id = QStringLiteral("bench-%1").arg(index);
            node.displayName = QStringLiteral("节点 %1").arg(++index, 3, 10, QLatin1Char('0'));
            node.name = agent.value(QLatin1String("name")).toString();
            node.host = QStringLiteral("198.51.100.%1").arg(index % 250 + 1);
            node.agentApi.host = url.host();
            node.agentApi.port = url.port();
            node.agentApi.token = agent.value(QLatin1String("token")).toString();
            fleet.nodes << node;
        }
        return true;
    }
    return false;
}

// Runs the event loop until done() holds or limitMs passed, looking every 5 ms. (processEvents with a
// time limit returns as soon as nothing is pending, so looping on it spins and would be measured as the
// page's own CPU time.)
void waitUntil(const std::function<bool()>& done, qint64 limitMs) {
    QElapsedTimer timer;
    timer.start();
    QEventLoop loop;
    QTimer check;
    check.setInterval(5);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done() || timer.elapsed() >= limitMs)
            loop.quit();
    });
    check.start();
    if (!done())
        loop.exec();
}

void waitFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// What it costs this thread to read one byte of every page of a 16 MiB block again: at once (warm),
// and after one poll interval of sleep. On some virtual machines memory left alone for a few seconds is
// reclaimed behind the guest's back and every page touched again is charged to the thread as CPU time;
// a 5 s poll cycle pays that for all the memory and code it touches, the reference included.
struct RetouchCost {
    double warmMs = 0;
    double afterIntervalMs = 0;
};
RetouchCost measureRetouchCost(int intervalMs) {
    constexpr qsizetype kBytes = 16 * 1024 * 1024;
    QByteArray block(kBytes, '\1');
    volatile char sink = 0;
    auto readAll = [&block, &sink] {
        const qint64 start = threadCpuNs();
        for (qsizetype at = 0; at < block.size(); at += 4096)
            sink = sink + block.at(at);
        return (threadCpuNs() - start) / 1e6;
    };
    RetouchCost cost;
    readAll();
    cost.warmMs = readAll();
    waitFor(intervalMs);
    cost.afterIntervalMs = readAll();
    return cost;
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/.local/share")).toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QCommandLineParser parser;
    const QCommandLineOption agentsOption(QStringLiteral("agents"), QStringLiteral("Simulated Agents."),
                                          QStringLiteral("N"), QStringLiteral("200"));
    const QCommandLineOption cyclesOption(QStringLiteral("cycles"), QStringLiteral("Poll cycles measured."),
                                          QStringLiteral("K"), QStringLiteral("6"));
    const QCommandLineOption intervalOption(QStringLiteral("interval-ms"), QStringLiteral("Poll interval."),
                                            QStringLiteral("MS"), QStringLiteral("5000"));
    const QCommandLineOption simOption(QStringLiteral("sim"), QStringLiteral("Path of ondivo-sim."),
                                       QStringLiteral("PATH"));
    const QCommandLineOption simPriorityOption(
        QStringLiteral("sim-priority"),
        QStringLiteral("Scheduling of the simulator: idle (only spare CPU), low (nice 19) or normal."),
        QStringLiteral("idle|low|normal"), QStringLiteral("idle"));
    const QCommandLineOption gatherOption(
        QStringLiteral("gather-ms"),
        QStringLiteral("How long the poller gathers replies before handing them over."),
        QStringLiteral("MS"));
    parser.addHelpOption();
    const QCommandLineOption hiddenOption(QStringLiteral("hidden"),
                                          QStringLiteral("Keep the window hidden (no painting)."));
    parser.addOptions({agentsOption, cyclesOption, intervalOption, simOption, hiddenOption, simPriorityOption,
                       gatherOption});
    parser.process(app);
    const int agentCount = parser.value(agentsOption).toInt();
    const int cycles = parser.value(cyclesOption).toInt();
    const int intervalMs = parser.value(intervalOption).toInt();
    const QString simPath = parser.isSet(simOption)
                                ? parser.value(simOption)
                                : QCoreApplication::applicationDirPath() + QStringLiteral("/ondivo-sim");

    QTextStream out(stdout);
    QProcess simulator;
    simulator.setProcessChannelMode(QProcess::SeparateChannels);
    // The simulated Agents stand in for remote servers: their CPU time is not the client's. By default
    // they run on spare CPU only, so the hundreds of simulator threads answering together do not hold the
    // client's threads off both cores of a small machine (nice 19 is not enough: each of those threads
    // still weighs against the client's few).
    const QString simPriority = parser.value(simPriorityOption);
    simulator.setChildProcessModifier([simPriority] {
        if (simPriority == QLatin1String("idle")) {
            const sched_param param{};
            sched_setscheduler(0, SCHED_IDLE, &param);
        } else if (simPriority == QLatin1String("low")) {
            (void)!nice(19);
        }
    });
    simulator.start(simPath, {QStringLiteral("--agents"), QString::number(agentCount)});
    SimFleet fleet;
    if (!simulator.waitForStarted() || !readAnnouncement(simulator, fleet)) {
        out << "cannot start " << simPath << "\n";
        return 1;
    }

    // The start-up Node load finds no account; its warning is answered without a window.
    ui::testing::setScripted(true);
    if (parser.isSet(gatherOption))
        fleet::timing.handOverGatherMs = parser.value(gatherOption).toInt();
    qputenv(app::kCloudApiUrlVariable, fleet.cloud.toUtf8());
    signInState() = {QStringLiteral("bench"), QStringLiteral("bench"), QString()};
    // The page alone on a shell without timers: the bench drives the cycles itself.
    testsupport::FakeShell window;
    auto* page = static_cast<NodesPage*>(mainwindow::createNodesPage(window).widget);
    window.host(page, !parser.isSet(hiddenOption));
    // Focus in the table, as after a click on a row: a focused filter box would repaint its blinking
    // cursor twice a second, which is no part of a poll cycle and only blurs the figures.
    page->table()->setFocus();
    waitFor(500);
    window.setNodes(fleet.nodes);
    waitFor(300);

    int cellsReplaced = 0;
    QObject::connect(page->table()->model(), &QAbstractItemModel::dataChanged,
                     [&cellsReplaced] { ++cellsReplaced; });
    StallMeter stalls;

    // One cycle: the poll, its replies, then the rest of the interval for the repaints that follow.
    struct Cycle {
        qint64 repliesMs = 0;
        int cells = 0;
        double cpuMs = 0;
        double sendMs = 0;
        CpuSplit split;
        int offline = 0;
    };
    auto runCycle = [&] {
        Cycle result;
        cellsReplaced = 0;
        const qint64 cpuStart = threadCpuNs();
        const CpuSplit splitStart = threadCpuSplit();
        QElapsedTimer cycleTimer;
        cycleTimer.start();
        const qint64 sendStart = threadCpuNs();
        page->refreshNodeStatuses();
        result.sendMs = (threadCpuNs() - sendStart) / 1e6;
        waitUntil([page] { return !page->statusPollInFlight(); }, intervalMs * 4);
        result.repliesMs = cycleTimer.elapsed();
        waitFor(int(std::max<qint64>(0, intervalMs - result.repliesMs)));
        result.cpuMs = (threadCpuNs() - cpuStart) / 1e6;
        const CpuSplit splitEnd = threadCpuSplit();
        result.split = {splitEnd.userMs - splitStart.userMs, splitEnd.systemMs - splitStart.systemMs};
        result.cells = cellsReplaced;
        for (int row = 0; row < page->table()->rowCount(); ++row) {
            if (page->table()->item(row, 10)->text() == QStringLiteral("离线"))
                ++result.offline;
        }
        return result;
    };

    // The page's own share: writing 200 status replies into the table without any network, with the
    // figures changing as they do between two real cycles.
    auto applyDirectly = [&](int round) {
        const qint64 start = threadCpuNs();
        for (int row = 0; row < page->table()->rowCount(); ++row) {
            const QByteArray body =
                QStringLiteral(
                    R"({"agentVersion":"0.5.30","cpu":%1,"memory":{"usedPercent":%2,"used":%3,"total":17179869184},
                "disk":{"usedPercent":40,"used":42949672960,"total":107374182400},"network":{"rxRate":%4,"txRate":%5},
                "mediaMTX":{"installed":true,"running":true,"version":"v1.9.3"},"gost":{"installed":true,"version":"3.0.0"},
                "ffmpeg":{"installed":true,"version":"6.0"}})")
                    .arg(row % 100 + round * 0.1)
                    .arg(50 + round)
                    .arg(8589934592.0 + round * 1048576.0, 0, 'f', 0)
                    .arg(1000 + round * 333)
                    .arg(2000 + round * 777)
                    .toUtf8();
            page->setNodeRow(row, mainwindow::rowFromStatus(QJsonDocument::fromJson(body).object()));
        }
        QCoreApplication::processEvents(); // the repaint that follows
        return (threadCpuNs() - start) / 1e6;
    };
    applyDirectly(0);
    double directMs = 0;
    for (int round = 1; round <= 5; ++round)
        directMs += applyDirectly(round);
    out << "page work alone (parse and write 200 changed rows, repaint): "
        << QString::number(directMs / 5, 'f', 1) << " ms per cycle\n";
    page->fillNodeRows();

    // For comparison, the way the page polled before its poller had a thread of its own: the same
    // requests on an access manager of the GUI thread, replies only read and deleted, nothing written.
    QNetworkAccessManager guiThreadManager;
    auto rawCycle = [&] {
        const qint64 start = threadCpuNs();
        auto outstanding = std::make_shared<int>(0);
        for (const Node& node : window.nodes()) {
            QNetworkRequest request = net::agentNetworkRequest(node, QStringLiteral("/status"));
            request.setTransferTimeout(15000);
            QNetworkReply* reply = guiThreadManager.get(request);
            ++*outstanding;
            QObject::connect(reply, &QNetworkReply::finished, reply, [reply, outstanding] {
                reply->readAll();
                reply->deleteLater();
                --*outstanding;
            });
        }
        QElapsedTimer timer;
        timer.start();
        waitUntil([outstanding] { return *outstanding <= 0; }, intervalMs * 4);
        waitFor(int(std::max<qint64>(0, intervalMs - timer.elapsed())));
        return (threadCpuNs() - start) / 1e6;
    };

    // The GUI thread's CPU time over an interval without a poll, subtracted from every cycle's figure.
    const qint64 idleStart = threadCpuNs();
    waitFor(intervalMs);
    const double idleCpuMs = (threadCpuNs() - idleStart) / 1e6;

    out << "agents " << fleet.nodes.size() << ", interval " << intervalMs << " ms, window "
        << (parser.isSet(hiddenOption) ? "hidden" : "shown") << ", simulator priority " << simPriority
        << "\n";
    out << "idle GUI CPU per interval (subtracted below): " << QString::number(idleCpuMs, 'f', 1) << " ms\n";
    const RetouchCost retouch = measureRetouchCost(intervalMs);
    out << "machine: reading 16 MiB again costs " << QString::number(retouch.warmMs, 'f', 1)
        << " ms at once, " << QString::number(retouch.afterIntervalMs, 'f', 1) << " ms after one interval\n";
    // Each cycle runs twice: once measuring CPU time alone, once with the stall meter's fast timer,
    // whose own wake-ups would otherwise swamp the CPU figure.
    double rawMs = 0;
    const int rawCycles = std::max(1, std::min(cycles, 3));
    for (int i = 0; i < rawCycles; ++i)
        rawMs += rawCycle();
    out << "before: the same GETs on a GUI-thread access manager, replies discarded: "
        << QString::number(rawMs / rawCycles - idleCpuMs, 'f', 1) << " ms per cycle\n";
    out << "cycle  replies_ms  cells  gui_cpu_ms  (user  kernel)  send_ms  worst_stall_ms  worst_work_ms  "
           "offline\n";
    double cpuSum = 0, userSum = 0, worstOverall = 0, worstWorkOverall = 0;
    for (int cycle = 0; cycle <= cycles; ++cycle) {
        const Cycle measured = runCycle();
        stalls.start();
        runCycle();
        stalls.stop();
        const double cpuMs = std::max(0.0, measured.cpuMs - idleCpuMs);
        const double worstMs = stalls.worstStallMs();
        const double workMs = stalls.worstWorkMs();
        out << QStringLiteral("%1  %2  %3  %4  (%5  %6)  %7  %8  %9  %10\n")
                   .arg(cycle, 5)
                   .arg(measured.repliesMs, 10)
                   .arg(measured.cells, 5)
                   .arg(cpuMs, 10, 'f', 1)
                   .arg(measured.split.userMs, 5, 'f', 0)
                   .arg(measured.split.systemMs, 6, 'f', 0)
                   .arg(measured.sendMs, 7, 'f', 1)
                   .arg(worstMs, 14, 'f', 1)
                   .arg(workMs, 13, 'f', 1)
                   .arg(measured.offline, 7);
        out.flush();
        if (cycle == 0)
            continue; // the first cycle fills every cell once; the rest are the steady state
        cpuSum += cpuMs;
        userSum += measured.split.userMs;
        worstOverall = std::max(worstOverall, worstMs);
        worstWorkOverall = std::max(worstWorkOverall, workMs);
    }
    if (cycles > 0) {
        out << QStringLiteral(
                   "steady state over %1 cycles: GUI CPU %2 ms/cycle (user %3 ms), worst stall %4 ms "
                   "(of which GUI work %5 ms)\n")
                   .arg(cycles)
                   .arg(cpuSum / cycles, 0, 'f', 1)
                   .arg(userSum / cycles, 0, 'f', 1)
                   .arg(worstOverall, 0, 'f', 1)
                   .arg(worstWorkOverall, 0, 'f', 1);
        // The ratio holds up better than the figures on a machine whose speed varies between runs.
        const double referenceMs = rawMs / rawCycles - idleCpuMs;
        if (referenceMs > 0)
            out << "ratio: GUI CPU per cycle / reference = "
                << QString::number(cpuSum / cycles / referenceMs, 'f', 2) << "\n";
    }
    simulator.terminate();
    simulator.waitForFinished(5000);
    return 0;
}
