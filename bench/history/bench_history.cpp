// The history store at fleet size: what handing one poll cycle over costs the GUI thread, how large the
// database is after two weeks of samples, how long one Node's two-week series and the start-up opening
// take. Prints figures and their ratio to the aims; asserts nothing.
//
// Usage: bench_history [--nodes N] [--days D] [--cycles K]
// Two weeks are simulated by writing every sample with its past time, one hour per transaction, through
// the same database code the store's worker runs.

#include "BenchSupport.h"
#include "history/HistoryDatabase.h"
#include "history/HistoryStore.h"
#include "history/HistoryTiming.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cmath>

using namespace history;

namespace {

constexpr qint64 kPollMs = 5000;
constexpr double kHandOverAimMs = 1.0;
constexpr double kSizeAimBytes = 150e6;
constexpr double kQueryAimMs = 200.0;
constexpr double kOpenAimMs = 50.0;

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}

// A Node's figures that look like a real machine's: a daily CPU wave with noise, memory that drifts,
// a disk that fills slowly, traffic that varies by a factor of a few, one reply in 200 lost.
class FakeNode {
public:
    FakeNode(int index, quint32 seed)
        : random_(seed + index), phase_(index * 0.37), base_(1e5 * (1 + index % 50)) {}

    Sample at(const QString& id, qint64 timeMs) {
        Sample s;
        s.nodeId = id;
        s.timeMs = timeMs;
        s.online = random_.bounded(200) != 0;
        if (!s.online)
            return s;
        const double day = double(timeMs % (24 * kHourMs)) / (24 * kHourMs) * 2 * M_PI;
        s.values[Cpu] = std::clamp(25 + 15 * std::sin(day + phase_) + noise(6), 0.0, 100.0);
        s.values[Memory] = std::clamp(45 + 10 * std::sin(day / 7 + phase_) + noise(0.5), 0.0, 100.0);
        s.values[Disk] = std::clamp(60 + double(timeMs / 1000 % 1'000'000) / 1e5, 0.0, 100.0);
        s.values[RxRate] = base_ * (1.5 + std::sin(day + phase_)) * (0.7 + 0.6 * random_.generateDouble());
        s.values[TxRate] = s.values[RxRate] * (0.2 + 0.1 * random_.generateDouble());
        return s;
    }

    // The same figures as a "/status" reply, for the hand-over measurement.
    QJsonObject reply(qint64 timeMs) {
        const Sample s = at(QString(), timeMs);
        return QJsonObject{
            {"cpu", s.values[Cpu]},
            {"memory", QJsonObject{{"usedPercent", s.values[Memory]}}},
            {"disk", QJsonObject{{"usedPercent", s.values[Disk]}}},
            {"network", QJsonObject{{"rxRate", s.values[RxRate]}, {"txRate", s.values[TxRate]}}}};
    }

private:
    double noise(double amplitude) { return (random_.generateDouble() * 2 - 1) * amplitude; }

    QRandomGenerator random_;
    double phase_;
    double base_;
};

double median(QList<double> values) {
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

qint64 fileBytes(const QString& path) {
    qint64 total = 0;
    for (const char* suffix : {"", "-wal", "-shm"})
        total += QFileInfo(path + QLatin1String(suffix)).size();
    return total;
}

// Drives the event loop until done() or the limit.
bool waitFor(const std::function<bool()>& done, int limitMs = 120000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

// The GUI thread's part: samples from parsed replies, then record(). The worker is let catch up every
// few cycles so that none is dropped for a full queue.
void measureHandOver(const QString& directory, QList<FakeNode>& nodes, const QStringList& ids, int cycles) {
    HistoryStore store(directory);
    QList<double> buildMs, handMs;
    const qint64 start = QDateTime::currentMSecsSinceEpoch() - cycles * kPollMs;
    QList<QJsonObject> replies;
    for (int n = 0; n < nodes.size(); ++n)
        replies << nodes[n].reply(start);
    for (int c = 0; c < cycles; ++c) {
        const qint64 time = start + c * kPollMs;
        QElapsedTimer clock;
        clock.start();
        QList<Sample> cycle;
        cycle.reserve(ids.size());
        for (int n = 0; n < ids.size(); ++n)
            cycle << sampleFromStatus(ids[n], time, true, replies[n]);
        buildMs << clock.nsecsElapsed() / 1e6;
        clock.restart();
        store.record(std::move(cycle));
        handMs << clock.nsecsElapsed() / 1e6;
        if (c % 20 == 19) {
            bool done = false;
            QObject context;
            store.queryEvents(1, &context, [&](const QList<Event>&, int) { done = true; });
            waitFor([&] { return done; });
        }
    }
    out() << "hand-over of one poll cycle (" << ids.size() << " Nodes), GUI thread:\n"
          << "  samples from replies " << QString::number(median(buildMs), 'f', 3) << " ms, record() "
          << QString::number(median(handMs), 'f', 3) << " ms (medians of " << cycles << "), worst record() "
          << QString::number(*std::max_element(handMs.begin(), handMs.end()), 'f', 3) << " ms\n"
          << "  ratio GUI cost / 1 ms aim: "
          << QString::number((median(buildMs) + median(handMs)) / kHandOverAimMs, 'f', 3) << "\n";
    out().flush();
}

// Poll cycles written one by one as the worker does, each "now" its own time; returns the median ms.
double writeCycles(HistoryDatabase& db, QList<FakeNode>& nodes, const QStringList& ids, qint64 from,
                   qint64 to) {
    QList<double> times;
    for (qint64 t = from; t < to; t += kPollMs) {
        QList<Sample> cycle;
        cycle.reserve(ids.size());
        for (int n = 0; n < ids.size(); ++n)
            cycle << nodes[n].at(ids[n], t);
        QElapsedTimer clock;
        clock.start();
        if (!db.write(cycle, t)) {
            out() << "write failed: " << db.lastError() << "\n";
            return -1;
        }
        times << clock.nsecsElapsed() / 1e6;
    }
    return median(times);
}

// Rows and bytes per table, read with a connection of the bench's own after the store closed.
void printTables(const QString& path) {
    auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench"));
    db.setDatabaseName(path);
    if (db.open()) {
        QSqlQuery query(db);
        if (query.exec(QStringLiteral("SELECT (SELECT COUNT(*) FROM samples), (SELECT COUNT(*) FROM minutes),"
                                      " (SELECT AVG(LENGTH(data)) FROM minutes)")) &&
            query.next()) {
            out() << "  " << query.value(0).toLongLong() << " kept samples, " << query.value(1).toLongLong()
                  << " Node-hours of minutes, " << QString::number(query.value(2).toDouble(), 'f', 0)
                  << " bytes per Node-hour blob\n";
        } else
            out() << "  table figures: " << query.lastError().text() << "\n";
        db.close();
    } else {
        out() << "  table figures: " << db.lastError().text() << "\n";
    }
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("bench"));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions({{"nodes", "Nodes in the fleet", "N", "500"},
                       {"days", "simulated days of samples", "D", "14"},
                       {"cycles", "poll cycles handed over", "K", "200"}});
    parser.process(app);
    const int nodeCount = std::max(1, parser.value("nodes").toInt());
    const int days = std::clamp(parser.value("days").toInt(), 1, 14);
    const int cycles = std::max(1, parser.value("cycles").toInt());

    QTemporaryDir dir;
    QStringList ids;
    QList<FakeNode> nodes;
    for (int n = 0; n < nodeCount; ++n) {
        ids << QStringLiteral("node-%1-8c1f0e4a-6b2d-4f7e-9a31").arg(n, 4, 10, QLatin1Char('0'));
        nodes << FakeNode(n, 20261209);
    }

    measureHandOver(QDir(dir.path()).filePath("handover"), nodes, ids, cycles);

    // Two weeks: every hour up to the last full-resolution window in one transaction (as a client would
    // hand over samples it had not written yet), then the last hours poll cycle by poll cycle.
    QDir().mkpath(dir.filePath("weeks"));
    const QString path = QDir(dir.filePath("weeks")).filePath(HistoryStore::fileName());
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const qint64 cyclesFrom = (now - timing.fullResolutionMs) / kHourMs * kHourMs;
    QElapsedTimer clock;
    clock.start();
    double cycleMs = 0;
    {
        HistoryDatabase db;
        if (!db.open(path)) {
            out() << "open failed: " << db.lastError() << "\n";
            return 1;
        }
        for (qint64 hour = now - days * 24 * kHourMs + kMinuteMs; hour < cyclesFrom; hour += kHourMs) {
            QList<Sample> batch;
            batch.reserve(nodeCount * int(kHourMs / kPollMs));
            for (qint64 t = hour; t < std::min(hour + kHourMs, cyclesFrom); t += kPollMs) {
                for (int n = 0; n < nodeCount; ++n)
                    batch << nodes[n].at(ids[n], t);
            }
            if (!db.write(batch, cyclesFrom)) {
                out() << "write failed: " << db.lastError() << "\n";
                return 1;
            }
        }
        cycleMs = writeCycles(db, nodes, ids, cyclesFrom, now);
        db.close();
    }
    out() << "worker: one poll cycle of " << nodeCount << " Nodes written in "
          << QString::number(cycleMs, 'f', 2) << " ms (median over the last " << (now - cyclesFrom) / kPollMs
          << " cycles)\n";
    const double mib = fileBytes(path) / (1024.0 * 1024.0);
    out() << "size after " << days << " simulated days of " << nodeCount
          << " Nodes: " << QString::number(mib, 'f', 1) << " MiB (written in " << clock.elapsed() / 1000
          << " s); ratio to the 150 MB aim: " << QString::number(fileBytes(path) / kSizeAimBytes, 'f', 3)
          << "\n";
    printTables(path);
    out().flush();

    HistoryDatabase db;
    clock.restart();
    if (!db.open(path)) {
        out() << "reopen failed: " << db.lastError() << "\n";
        return 1;
    }
    const double openMs = clock.nsecsElapsed() / 1e6;
    out() << "opening the store: " << QString::number(openMs, 'f', 1)
          << " ms; ratio to the 50 ms aim: " << QString::number(openMs / kOpenAimMs, 'f', 3) << "\n";

    for (Range range : {Range::Hour, Range::Day, Range::TwoWeeks}) {
        QList<double> times;
        Series series;
        for (int round = 0; round < 5; ++round) {
            clock.restart();
            db.series(ids[round * 97 % nodeCount], range, QDateTime::currentMSecsSinceEpoch(), &series);
            times << clock.nsecsElapsed() / 1e6;
        }
        const char* name = range == Range::Hour ? "1 h" : range == Range::Day ? "24 h" : "14 d";
        out() << "query of one Node, " << name << ": " << QString::number(median(times), 'f', 1) << " ms ("
              << series.points.size() << " points, " << series.offline.size() << " offline spans); ratio to "
              << "the 200 ms aim: " << QString::number(median(times) / kQueryAimMs, 'f', 3) << "\n";
    }
    QHash<QString, Trend> trends;
    clock.restart();
    db.trends(QDateTime::currentMSecsSinceEpoch(), &trends);
    out() << "trends of every Node (15 min): " << QString::number(clock.nsecsElapsed() / 1e6, 'f', 1)
          << " ms for " << trends.size() << " Nodes\n";
    out() << "peak memory: " << bench::peakResidentKiB() / 1024 << " MiB\n";
    return 0;
}
